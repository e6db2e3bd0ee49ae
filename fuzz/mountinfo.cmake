if(TARGET transfer_core)
  gridlark_fuzz(mountinfo ${CMAKE_CURRENT_SOURCE_DIR}/mountinfo.cpp DEPS transfer_core)
endif()
