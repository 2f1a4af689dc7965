# Read by ctest after the discovered tests: every Parquet test waits for the engine set-up.
if(DEFINED parquet_tests_TESTS)
  set_tests_properties(${parquet_tests_TESTS} PROPERTIES FIXTURES_REQUIRED duckdb_engine)
endif()
