if(TARGET zevozozid)
  gridlark_fuzz(zevozozid_log_db ${CMAKE_CURRENT_SOURCE_DIR}/zevozozid_log_db.cpp DEPS zevozozid)
endif()
