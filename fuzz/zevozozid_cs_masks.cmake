if(TARGET zevozozid)
  gridlark_fuzz(zevozozid_cs_masks ${CMAKE_CURRENT_SOURCE_DIR}/zevozozid_cs_masks.cpp DEPS zevozozid)
endif()
