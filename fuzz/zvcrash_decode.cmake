if(TARGET zvcrash)
  gridlark_fuzz(zvcrash_decode ${CMAKE_CURRENT_SOURCE_DIR}/zvcrash_decode.cpp DEPS zvcrash)
endif()
