# The library's ABI against the checked-in baseline basics/abi/MV120Mbs100.abi.
#   cmake -D LIBRARY=<.so> -D BASELINE=<.abi> -D HEADERS=<public header folder>
#         -D OUTPUT=<.abi to write> -D NM=<nm> [-D UPDATE=ON] -P MerivaneAbiCheck.cmake
# Without UPDATE: fails when the dynamic symbol table holds standard-library names, or when
# abidiff finds any difference in exported functions, variables, classes, vtables or
# layouts of the public types. With UPDATE: writes the baseline (make abi-baseline).
foreach(var LIBRARY BASELINE HEADERS OUTPUT NM)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "MerivaneAbiCheck: ${var} not given")
  endif()
endforeach()

execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "MerivaneAbiCheck: cannot read the symbols of ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]* _Z[A-Z]*(N|NK)?(St|9__gnu_cxx)[^\n]*" internal "${symbols}")
if(internal)
  string(REPLACE ";" "\n" internal "${internal}")
  message(FATAL_ERROR "Standard-library names in the dynamic symbol table (the version "
                      "script basics/mvbasics.map should keep them local):\n${internal}")
endif()

get_filename_component(output_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${output_dir})
execute_process(COMMAND abidw --headers-dir ${HEADERS} --drop-private-types --no-corpus-path
                        --no-comp-dir-path --no-show-locs --out-file ${OUTPUT} ${LIBRARY}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "MerivaneAbiCheck: abidw failed on ${LIBRARY}")
endif()

if(UPDATE)
  configure_file(${OUTPUT} ${BASELINE} COPYONLY)
  message(STATUS "ABI baseline written: ${BASELINE} (commit it with the change of the API)")
  return()
endif()

execute_process(COMMAND abidiff ${BASELINE} ${OUTPUT} OUTPUT_VARIABLE report ERROR_VARIABLE report
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${report}\nThe exported ABI of ${LIBRARY} differs from the baseline "
                      "${BASELINE} (abidiff status ${rc}). If the change is deliberate, run "
                      "`make abi-baseline` and commit the baseline with the change.")
endif()
message(STATUS "ABI unchanged against ${BASELINE}")
