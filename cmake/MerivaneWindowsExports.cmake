# The Windows DLL's export table against the exported names of the Linux build (the ABI
# baseline basics/abi/MV120Mbs100.abi, checked on Linux by the abi test).
#   cmake -D DLL=<.dll> -D BASELINE=<.abi> -D OBJDUMP=<objdump> -D CXXFILT=<c++filt>
#         -P MerivaneWindowsExports.cmake
# C names must be exported as they are, without a stdcall decoration. C++ names are
# compared demangled, with the one difference of the data models read away: 64-bit
# Windows is LLP64, so a `long` or `size_t` of the Linux build is a `long long` there.
# Known differences, each for a reason:
# - typeinfo names (_ZTS): MinGW exports a class's typeinfo but not its name string;
# - MemFile::Write: inline in memfile.h; a Windows host compiles its own copy (GCC and MSVC
#   ignore dllimport on an inline function), so the DLL need not export it;
# - typeinfo for std::exception: exported beside TnException's, whose base it is.
cmake_policy(SET CMP0007 NEW)
foreach(var DLL BASELINE OBJDUMP CXXFILT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "MerivaneWindowsExports: ${var} not given")
  endif()
endforeach()

file(READ ${BASELINE} baseline)
string(REGEX MATCHALL "<elf-symbol name='[^']+'" linux "${baseline}")
list(TRANSFORM linux REPLACE "<elf-symbol name='([^']+)'" "\\1")

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE table RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "MerivaneWindowsExports: cannot read the export table of ${DLL}")
endif()
# The name pointer table: one "\t[ n] name" line per export, up to the first empty line.
string(REPLACE "\n" ";" lines "${table}")
set(windows "")
set(inside OFF)
foreach(line IN LISTS lines)
  if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(inside ON)
  elseif(inside AND line MATCHES "^\t\\[ *[0-9]+\\] (.+)$")
    list(APPEND windows "${CMAKE_MATCH_1}")
  elseif(inside)
    break()
  endif()
endforeach()
if(NOT windows)
  message(FATAL_ERROR "MerivaneWindowsExports: ${DLL} exports nothing")
endif()

set(names_file ${CMAKE_CURRENT_BINARY_DIR}/windows-exports)
set(result "")
foreach(side linux windows)
  list(FILTER ${side} EXCLUDE REGEX "^_ZTS")
  list(REMOVE_ITEM ${side} _ZN7MemFile5WriteEiRi _ZTISt9exception)
  string(REPLACE ";" "\n" text "${${side}}")
  file(WRITE ${names_file}.${side} "${text}\n")
  execute_process(COMMAND ${CXXFILT} INPUT_FILE ${names_file}.${side}
                  OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "MerivaneWindowsExports: ${CXXFILT} failed")
  endif()
  string(REPLACE "long long" "long" text "${text}")
  string(REPLACE ";" "\\;" text "${text}")
  string(REPLACE "\n" ";" ${side}_demangled "${text}")
  list(REMOVE_ITEM ${side}_demangled "")
endforeach()

set(missing ${linux_demangled})
list(REMOVE_ITEM missing ${windows_demangled})
set(extra ${windows_demangled})
list(REMOVE_ITEM extra ${linux_demangled})
set(decorated ${windows})
list(FILTER decorated INCLUDE REGEX "@")
if(missing OR extra OR decorated)
  string(REPLACE ";" "\n  " missing "${missing}")
  string(REPLACE ";" "\n  " extra "${extra}")
  string(REPLACE ";" "\n  " decorated "${decorated}")
  message(FATAL_ERROR "The exports of ${DLL} differ from the Linux build's.\n"
                      "Missing on Windows:\n  ${missing}\nOnly on Windows:\n  ${extra}\n"
                      "Decorated names:\n  ${decorated}")
endif()
list(LENGTH windows count)
message(STATUS "${count} exports, the same as the Linux build's")
