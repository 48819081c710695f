# The ABI test (ctest: abi) and the target that regenerates its baseline (abi-baseline,
# `make abi-baseline`). Both read the debug information of the shared object, so they are
# set up for unsanitized builds with debug information and need abidw/abidiff
# (Debian abigail-tools).
find_program(MVB_ABIDW abidw)
find_program(MVB_ABIDIFF abidiff)
if(NOT MVB_ABIDW OR NOT MVB_ABIDIFF OR MVB_SANITIZE OR MVB_SANITIZE_THREAD OR WIN32
   OR NOT CMAKE_BUILD_TYPE MATCHES "^(Debug|RelWithDebInfo)$")
  return()
endif()
set(MVB_ABI_BASELINE ${PROJECT_SOURCE_DIR}/basics/abi/${MVB_MODULE_NAME}.abi)
set(MVB_ABI_ARGS -D LIBRARY=$<TARGET_FILE:mvbasics> -D BASELINE=${MVB_ABI_BASELINE}
    -D HEADERS=${PROJECT_SOURCE_DIR}/basics/inc -D NM=${CMAKE_NM})
add_test(NAME abi COMMAND ${CMAKE_COMMAND} ${MVB_ABI_ARGS}
         -D OUTPUT=${PROJECT_BINARY_DIR}/abi/${MVB_MODULE_NAME}.abi
         -P ${PROJECT_SOURCE_DIR}/cmake/MerivaneAbiCheck.cmake)
add_custom_target(abi-baseline
  COMMAND ${CMAKE_COMMAND} ${MVB_ABI_ARGS} -D OUTPUT=${PROJECT_BINARY_DIR}/abi/baseline.abi
          -D UPDATE=ON -P ${PROJECT_SOURCE_DIR}/cmake/MerivaneAbiCheck.cmake
  DEPENDS mvbasics VERBATIM)
