# Writes version.cpp with the project version and the current git revision;
# run at every build, it rewrites the file only when the revision changed,
# so that --version names the revision the programs were built from.
execute_process(COMMAND git -C "${SRC_DIR}" describe --always --dirty --abbrev=10
                OUTPUT_VARIABLE C2M_GIT_REVISION OUTPUT_STRIP_TRAILING_WHITESPACE
                ERROR_QUIET RESULT_VARIABLE git_status)
if(NOT git_status EQUAL 0)
  set(C2M_GIT_REVISION "")
endif()
configure_file("${IN_FILE}" "${OUT_FILE}.new" @ONLY)
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUT_FILE}.new" "${OUT_FILE}")
file(REMOVE "${OUT_FILE}.new")
