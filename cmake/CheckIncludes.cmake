# The include rules of the layers (docs/architecture.md), checked over the sources:
#   cmake -DMVB_SOURCE_DIR=<repository> -P cmake/CheckIncludes.cmake
# Fails with one line per violation:
#   - public headers (basics/inc) include only public headers and system headers;
#   - the OS layer (basics/src/os, its interface and backends) includes no public header;
#   - a backend (basics/src/os/<backend>/) includes no other backend's files;
#   - outside the OS layer nothing includes a backend's files.
cmake_minimum_required(VERSION 3.25)
if(NOT MVB_SOURCE_DIR)
  message(FATAL_ERROR "MVB_SOURCE_DIR is not set")
endif()
set(inc ${MVB_SOURCE_DIR}/basics/inc)
set(src ${MVB_SOURCE_DIR}/basics/src)

file(GLOB public_headers RELATIVE ${inc} ${inc}/*.h)
file(GLOB_RECURSE library_files ${src}/*.h ${src}/*.cpp)
file(GLOB_RECURSE outside_files
     ${MVB_SOURCE_DIR}/tools/*.h ${MVB_SOURCE_DIR}/tools/*.cpp
     ${MVB_SOURCE_DIR}/tests/*.h ${MVB_SOURCE_DIR}/tests/*.cpp
     ${MVB_SOURCE_DIR}/bench/*.h ${MVB_SOURCE_DIR}/bench/*.cpp
     ${MVB_SOURCE_DIR}/fuzz/*.h ${MVB_SOURCE_DIR}/fuzz/*.cpp
     ${MVB_SOURCE_DIR}/examples/*.h ${MVB_SOURCE_DIR}/examples/*.cpp)
file(GLOB backend_dirs LIST_DIRECTORIES true RELATIVE ${src}/os ${src}/os/*)
set(backends "")
foreach(dir ${backend_dirs})
  if(IS_DIRECTORY ${src}/os/${dir})
    list(APPEND backends ${dir})
  endif()
endforeach()

set(violations "")
function(quoted_includes file out)
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  set(names "")
  foreach(line ${lines})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" name "${line}")
    list(APPEND names ${name})
  endforeach()
  set(${out} ${names} PARENT_SCOPE)
endfunction()

macro(violation file what)
  file(RELATIVE_PATH rel ${MVB_SOURCE_DIR} ${file})
  list(APPEND violations "${rel}: ${what}")
endmacro()

foreach(header ${public_headers})
  quoted_includes(${inc}/${header} names)
  foreach(name ${names})
    if(NOT name IN_LIST public_headers)
      violation(${inc}/${header} "public header includes \"${name}\", which is not public")
    endif()
  endforeach()
endforeach()

foreach(file ${library_files} ${outside_files})
  quoted_includes(${file} names)
  string(FIND "${file}" "${src}/os/" in_os)
  set(own_backend "")
  foreach(b ${backends})
    string(FIND "${file}" "${src}/os/${b}/" at)
    if(at EQUAL 0)
      set(own_backend ${b})
    endif()
  endforeach()
  foreach(name ${names})
    if(in_os EQUAL 0 AND name IN_LIST public_headers)
      violation(${file} "the OS layer includes the public header \"${name}\"")
    endif()
    foreach(b ${backends})
      if(name MATCHES "^os/${b}/" AND NOT b STREQUAL own_backend)
        violation(${file} "includes \"${name}\" of the ${b} backend")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n" text)
  message(FATAL_ERROR "Include rules broken:\n${text}")
endif()
list(LENGTH library_files n)
message(STATUS "Include rules hold (${n} library files)")
