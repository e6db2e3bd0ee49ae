if(TARGET transfer_core)
  gridlark_fuzz(update_catalogue ${CMAKE_CURRENT_SOURCE_DIR}/update_catalogue.cpp DEPS transfer_core)
endif()
