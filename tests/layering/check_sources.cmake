# Fails when the sources break a rule the compiler cannot see: the command line includes
# only the public API (tabvora/...), the standard library, system headers and its own files;
# no code outside the driver factory asks a driver for its class (typeid, dynamic_cast).
# Run with -DROOT=<the project's root>.
file(GLOB app_files ${ROOT}/apps/tabvora/*.cpp ${ROOT}/apps/tabvora/*.hpp)
set(failures "")
foreach(file IN LISTS app_files)
  file(STRINGS ${file} includes REGEX "^#include \"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
    if(NOT header MATCHES "^tabvora/" AND NOT EXISTS ${ROOT}/apps/tabvora/${header})
      list(APPEND failures "${file}: includes ${header}, which is not the public API")
    endif()
  endforeach()
endforeach()
file(GLOB_RECURSE code_files ${ROOT}/src/*.cpp ${ROOT}/src/*.hpp ${ROOT}/apps/*.cpp ${ROOT}/apps/*.hpp)
foreach(file IN LISTS code_files)
  if(file MATCHES "/opening/driver_manager\\.cpp$")
    continue()  # the one factory
  endif()
  file(STRINGS ${file} casts REGEX "(typeid|dynamic_cast)[ ]*[(<]")
  if(casts)
    list(APPEND failures "${file}: decides by a driver's class (${casts})")
  endif()
endforeach()
if(failures)
  list(JOIN failures "\n" message)
  message(FATAL_ERROR "${message}")
endif()
