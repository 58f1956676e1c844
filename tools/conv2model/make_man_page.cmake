# Writes the manual page: the output of `PROGRAM help --man` into OUT_FILE,
# through a temporary file so that a failed run leaves no half page.
execute_process(COMMAND ${PROGRAM} help --man
                OUTPUT_FILE ${OUT_FILE}.partial
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${OUT_FILE}.partial)
  message(FATAL_ERROR "${PROGRAM} help --man failed: ${status}")
endif()
file(RENAME ${OUT_FILE}.partial ${OUT_FILE})
