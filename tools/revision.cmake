# Writes the build's source revision into a header, touching it only when it changes.
# Run at every build: -DSOURCE_DIR=<tree> -DOUTPUT=<header>. Outside a git checkout the
# revision reads "unknown".
execute_process(COMMAND git -C "${SOURCE_DIR}" describe --always --dirty --abbrev=12
                OUTPUT_VARIABLE revision RESULT_VARIABLE failed
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(failed OR revision STREQUAL "")
  set(revision "unknown")
endif()
set(text "// Generated at build time; do not edit.\n#define MVB_BUILD_REVISION \"${revision}\"\n")
set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
