# Installs the DuckDB engine of npm (a fixed version, so every run tests against the same
# engine) into ENGINE_DIR and puts PROGRAM there as "duckdb", a
# program honouring the DuckDB command-line contract. Without npm or a network the tests
# that need it skip, saying so; this step itself never fails.
if(NOT EXISTS "${ENGINE_DIR}/node_modules/@duckdb/node-api/package.json")
  find_program(NPM npm)
  if(NOT NPM)
    message(WARNING "npm not found: the Parquet tests that need the DuckDB engine will skip")
    return()
  endif()
  execute_process(COMMAND "${NPM}" install --no-audit --no-fund --prefix "${ENGINE_DIR}" @duckdb/node-api@1.5.6-r.1
                  RESULT_VARIABLE status TIMEOUT 600)
  if(NOT status EQUAL 0)
    message(WARNING "npm could not install @duckdb/node-api: the Parquet tests that need it will skip")
    return()
  endif()
endif()
file(COPY_FILE "${PROGRAM}" "${ENGINE_DIR}/duckdb")
file(CHMOD "${ENGINE_DIR}/duckdb" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
     WORLD_READ WORLD_EXECUTE)
