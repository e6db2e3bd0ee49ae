gridlark_fuzz(circuit_outline ${CMAKE_CURRENT_SOURCE_DIR}/circuit_outline.cpp DEPS session)
