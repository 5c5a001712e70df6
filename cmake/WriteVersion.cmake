# Writes the version header: the project's version and, built from git, the revision. Run at
# every build; the header is rewritten only when what it says changes, so nothing rebuilds
# needlessly.
execute_process(COMMAND git -C ${SOURCE_DIR} describe --always --dirty --exclude "*"
                OUTPUT_VARIABLE revision OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET
                RESULT_VARIABLE failed)
if(failed OR NOT revision)
  set(revision "")
endif()
string(CONCAT text "// Written by cmake/WriteVersion.cmake.\n#pragma once\n"
       "#define POLIZAS_VERSION \"${VERSION}\"\n#define POLIZAS_REVISION \"${revision}\"\n")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUTPUT} "${text}")
endif()
