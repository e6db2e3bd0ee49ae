if(TARGET zvcrash_async)
  gridlark_fuzz(zvcrash_elf ${CMAKE_CURRENT_SOURCE_DIR}/zvcrash_elf.cpp DEPS zvcrash_async)
endif()
