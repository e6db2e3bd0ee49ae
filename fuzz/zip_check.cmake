if(TARGET transfer_core)
  gridlark_fuzz(zip_check ${CMAKE_CURRENT_SOURCE_DIR}/zip_check.cpp DEPS transfer_core)
endif()
