if(TARGET zvcrash_async)
  gridlark_fuzz(zvcrash_cfi ${CMAKE_CURRENT_SOURCE_DIR}/zvcrash_cfi.cpp DEPS zvcrash_async)
endif()
