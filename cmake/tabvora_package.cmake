# The installed library and everything `cmake --install` puts in place. The subsystem
# libraries under src/ stay internal; the one installed library, `tabvora` (exported as
# Tabvora::tabvora), is archived or linked from the objects they already compiled, so no
# source is compiled twice. Included from the top CMakeLists.txt after src/ and apps/.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

get_directory_property(internal_libraries DIRECTORY ${PROJECT_SOURCE_DIR}/src BUILDSYSTEM_TARGETS)
add_library(tabvora_library)
foreach(part IN LISTS internal_libraries)
  get_target_property(type ${part} TYPE)
  if(type MATCHES "^(STATIC|OBJECT)_LIBRARY$")
    target_sources(tabvora_library PRIVATE $<TARGET_OBJECTS:${part}>)
  endif()
endforeach()
set_target_properties(tabvora_library PROPERTIES
  OUTPUT_NAME tabvora EXPORT_NAME tabvora LINKER_LANGUAGE CXX
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
target_include_directories(tabvora_library INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
# The public headers need only the standard library, in C++17.
target_compile_features(tabvora_library INTERFACE cxx_std_17)
set(tabvora_dependencies PkgConfig::SQLITE3 PkgConfig::ICU PkgConfig::SIMDJSON PkgConfig::DEFLATE PkgConfig::ZLIB
    PkgConfig::LIBXML2 PkgConfig::SNAPPY PkgConfig::ZSTD PkgConfig::LZ4 PkgConfig::BROTLIDEC PkgConfig::LZMA BZip2::BZip2)
target_link_libraries(tabvora_library PRIVATE ${tabvora_dependencies} Threads::Threads)
# Sanitized objects need the sanitizer runtimes in the program that links them.
if(TABVORA_SANITIZE)
  set(tabvora_sanitizer_flags -fsanitize=address,undefined)
  target_link_options(tabvora_library INTERFACE ${tabvora_sanitizer_flags})
endif()
if(BUILD_SHARED_LIBS)
  set(export_map ${PROJECT_SOURCE_DIR}/cmake/tabvora_exports.map)
  target_link_options(tabvora_library PRIVATE -Wl,--version-script=${export_map} -Wl,--no-undefined)
  set_target_properties(tabvora_library PROPERTIES LINK_DEPENDS ${export_map})
endif()
add_library(Tabvora::tabvora ALIAS tabvora_library)

if(NOT TABVORA_INSTALL)
  set_target_properties(tabvora_library PROPERTIES EXCLUDE_FROM_ALL ON)
  return()
endif()

install(TARGETS tabvora)

set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Tabvora)
install(TARGETS tabvora_library EXPORT TabvoraTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/tabvora DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.hpp")
install(EXPORT TabvoraTargets NAMESPACE Tabvora:: DESTINATION ${package_dir})

# A static library brings its dependencies to the consumer; a shared one carries them.
get_target_property(tabvora_library_type tabvora_library TYPE)
if(tabvora_library_type STREQUAL "STATIC_LIBRARY")
  set(TABVORA_STATIC ON)
else()
  set(TABVORA_STATIC OFF)
endif()
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TabvoraConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/TabvoraConfig.cmake INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/TabvoraConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/TabvoraConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/TabvoraConfigVersion.cmake
        DESTINATION ${package_dir})

# pkg-config: the prefix is found from the .pc file's own place, so the tree can move.
file(RELATIVE_PATH pc_to_prefix /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
list(JOIN tabvora_sanitizer_flags " " TABVORA_PC_LINK_FLAGS)
# A static library brings none of its dependencies: they are public requirements then, so
# the plain `pkg-config --libs tabvora` links too (and --static adds their own).
set(tabvora_pc_requires "sqlite3 icu-uc icu-i18n simdjson libdeflate zlib libxml-2.0 snappy libzstd liblz4 libbrotlidec liblzma")
if(TABVORA_STATIC)
  set(TABVORA_PC_PRIVATE "Requires: ${tabvora_pc_requires}")
  string(APPEND TABVORA_PC_LINK_FLAGS " -lbz2 -pthread")
else()
  set(TABVORA_PC_PRIVATE "Requires.private: ${tabvora_pc_requires}\nLibs.private: -lbz2 -pthread")
endif()
configure_file(${PROJECT_SOURCE_DIR}/packaging/tabvora.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tabvora.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tabvora.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(FILES ${PROJECT_SOURCE_DIR}/packaging/tabvora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tabvora-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME tabvora.xml)
install(FILES ${PROJECT_SOURCE_DIR}/doc/tabvora.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
