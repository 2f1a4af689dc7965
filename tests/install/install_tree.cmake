# cmake -D... -P install_tree.cmake: installs BUILD_DIR into WORK_DIR/prefix and checks
# that exactly the public headers, the library, its CMake and pkg-config packages, the
# program, the man page and the desktop files are there, and that the headers include
# nothing but the standard library and each other.
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${prefix})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status}):\n${log}")
endif()

file(GLOB headers RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/include/tabvora/*.hpp)
string(TOLOWER "${CONFIG}" config)
set(expected bin/tabvora ${headers}
  ${LIBDIR}/cmake/Tabvora/TabvoraConfig.cmake ${LIBDIR}/cmake/Tabvora/TabvoraConfigVersion.cmake
  ${LIBDIR}/cmake/Tabvora/TabvoraTargets.cmake ${LIBDIR}/cmake/Tabvora/TabvoraTargets-${config}.cmake
  ${LIBDIR}/pkgconfig/tabvora.pc ${LIBDIR}/tabvora/tabvora-workspace.so share/man/man1/tabvora.1
  share/applications/tabvora.desktop share/mime/packages/tabvora.xml)
if(LIBRARY_TYPE STREQUAL "STATIC_LIBRARY")
  list(APPEND expected ${LIBDIR}/libtabvora.a)
else()
  string(REGEX MATCH "^[0-9]+" major "${VERSION}")
  list(APPEND expected ${LIBDIR}/libtabvora.so ${LIBDIR}/libtabvora.so.${major} ${LIBDIR}/libtabvora.so.${VERSION})
endif()
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${prefix} ${prefix}/*)
list(SORT expected)
list(SORT installed)
if(NOT installed STREQUAL expected)
  set(extra ${installed})
  list(REMOVE_ITEM extra ${expected})
  set(missing ${expected})
  list(REMOVE_ITEM missing ${installed})
  message(FATAL_ERROR "installed tree differs from the expected one\n  not expected: ${extra}\n  missing: ${missing}")
endif()

foreach(header IN LISTS headers)
  file(STRINGS ${prefix}/${header} includes REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS includes)
    if(NOT line MATCHES "^#include (<[a-z_]+>|\"tabvora/[a-z_]+\\.hpp\")$")
      message(FATAL_ERROR "${header} includes more than the standard library and its own headers: ${line}")
    endif()
  endforeach()
endforeach()

# The installed program finds its workspace module: the file it cannot open is the
# module's answer.
execute_process(COMMAND ${prefix}/bin/tabvora open ${WORK_DIR}/missing.csv --no-browser
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 1 OR NOT err MATCHES "missing.csv\" cannot be opened")
  message(FATAL_ERROR "the installed program's open did not reach its workspace module (${status}): ${err}")
endif()
