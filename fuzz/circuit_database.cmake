gridlark_fuzz(circuit_database ${CMAKE_CURRENT_SOURCE_DIR}/circuit_database.cpp DEPS session)
