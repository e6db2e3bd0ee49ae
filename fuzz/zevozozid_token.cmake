if(TARGET zevozozid)
  gridlark_fuzz(zevozozid_token ${CMAKE_CURRENT_SOURCE_DIR}/zevozozid_token.cpp DEPS zevozozid)
endif()
