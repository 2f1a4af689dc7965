add_test(NAME install.man_page COMMAND ${CMAKE_COMMAND} -DTABVORA=$<TARGET_FILE:tabvora>
         -DPAGE=${PROJECT_SOURCE_DIR}/doc/tabvora.1 -P ${CMAKE_CURRENT_LIST_DIR}/man_page_test.cmake)

# Installs the built project into a prefix inside the build tree (nothing is rebuilt),
# checks the installed files, and builds two consumers against them: one with CMake's
# find_package, one with pkg-config and the compiler alone.
if(NOT TABVORA_INSTALL)
  return()
endif()

get_target_property(library_type tabvora_library TYPE)
set(install_test_arguments
  -DBUILD_DIR=${CMAKE_BINARY_DIR} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DWORK_DIR=${CMAKE_BINARY_DIR}/install-test
  -DLIBDIR=${CMAKE_INSTALL_LIBDIR} -DLIBRARY_TYPE=${library_type} -DVERSION=${PROJECT_VERSION}
  -DCONFIG=$<CONFIG> -DGENERATOR=${CMAKE_GENERATOR} -DCXX=${CMAKE_CXX_COMPILER}
  -DEXAMPLES=${PROJECT_SOURCE_DIR}/examples/chinook_sample.sqlite|${PROJECT_SOURCE_DIR}/examples/sales.csv)

add_test(NAME install.tree COMMAND ${CMAKE_COMMAND} ${install_test_arguments} -P ${CMAKE_CURRENT_LIST_DIR}/install_tree.cmake)
set_tests_properties(install.tree PROPERTIES FIXTURES_SETUP tabvora_installed)
# The installed tree of a sanitizer build weighs hundreds of megabytes: it goes once used.
add_test(NAME install.cleanup COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/install-test)
set_tests_properties(install.cleanup PROPERTIES FIXTURES_CLEANUP tabvora_installed)
foreach(mode IN ITEMS cmake pkg-config)
  add_test(NAME install.consumer_${mode} COMMAND ${CMAKE_COMMAND} ${install_test_arguments} -DMODE=${mode}
           -P ${CMAKE_CURRENT_LIST_DIR}/consumer_test.cmake)
  set_tests_properties(install.consumer_${mode} PROPERTIES FIXTURES_REQUIRED tabvora_installed)
endforeach()
