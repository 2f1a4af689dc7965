# cmake -D... -DMODE=cmake|pkg-config -P consumer_test.cmake: builds consumer/ against the
# tree install_tree.cmake installed, runs it on each example and compares its page with
# the installed `tabvora preview` of the same file.
set(prefix ${WORK_DIR}/prefix)
set(work ${WORK_DIR}/${MODE})
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})
set(consumer_source ${CMAKE_CURRENT_LIST_DIR}/consumer)

function(run_checked what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${status}):\n${out}\n${err}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

if(MODE STREQUAL "cmake")
  run_checked("configuring the consumer" ${CMAKE_COMMAND} -S ${consumer_source} -B ${work} -G ${GENERATOR}
              -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH=${prefix})
  run_checked("building the consumer" ${CMAKE_COMMAND} --build ${work})
else()
  # The plain form links whichever library was installed; a static one also through --static.
  set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
  set(forms "")
  if(LIBRARY_TYPE STREQUAL "STATIC_LIBRARY")
    list(APPEND forms "--static")
  endif()
  list(APPEND forms "plain")  # last: the consumer run below is the plain form's
  foreach(form IN LISTS forms)
    set(static_flag "")
    if(form STREQUAL "--static")
      set(static_flag --static)
    endif()
    run_checked("pkg-config ${form}" pkg-config --cflags --libs ${static_flag} tabvora)
    separate_arguments(flags UNIX_COMMAND "${output}")
    run_checked("compiling the consumer (${form})" ${CXX} -std=c++17 ${consumer_source}/consumer.cpp ${flags}
                -o ${work}/consumer)
  endforeach()
endif()

string(REPLACE "|" ";" examples "${EXAMPLES}")
foreach(example IN LISTS examples)
  run_checked("the consumer on ${example}"
              ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/${LIBDIR} ${work}/consumer ${example})
  set(page "${output}")
  run_checked("tabvora preview ${example}" ${prefix}/bin/tabvora preview ${example})
  if(NOT page STREQUAL output)
    message(FATAL_ERROR "the consumer's page of ${example} differs from tabvora preview's")
  endif()
  string(LENGTH "${page}" length)
  message(STATUS "${example}: the same page of ${length} bytes")
endforeach()
file(REMOVE_RECURSE ${work})
