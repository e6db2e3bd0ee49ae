if(TARGET zevozozid)
  gridlark_fuzz(zevozozid_archive ${CMAKE_CURRENT_SOURCE_DIR}/zevozozid_archive.cpp DEPS zevozozid)
endif()
