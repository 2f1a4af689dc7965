# Read by ctest after the discovered tests: every Parquet test and every golden file waits
# for the engine set-up.
foreach(tests IN ITEMS parquet_tests_TESTS api_tests_TESTS)
  if(DEFINED ${tests})
    set_tests_properties(${${tests}} PROPERTIES FIXTURES_REQUIRED duckdb_engine)
  endif()
endforeach()
