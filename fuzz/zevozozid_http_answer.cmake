if(TARGET zevozozid)
  gridlark_fuzz(zevozozid_http_answer ${CMAKE_CURRENT_SOURCE_DIR}/zevozozid_http_answer.cpp DEPS zevozozid)
endif()
