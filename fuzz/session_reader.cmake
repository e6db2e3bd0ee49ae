gridlark_fuzz(session_reader ${CMAKE_CURRENT_SOURCE_DIR}/session_reader.cpp DEPS session)
