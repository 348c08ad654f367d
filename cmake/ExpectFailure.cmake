# Runs COMMAND (a list) and passes only when it fails with output matching
# EXPECT: a checker that exits 1 for some other reason does not pass.
execute_process(COMMAND ${COMMAND} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
message("${output}")
if(result EQUAL 0)
    message(FATAL_ERROR "expected a failure matching \"${EXPECT}\", got success")
endif()
if(NOT output MATCHES "${EXPECT}")
    message(FATAL_ERROR "expected output matching \"${EXPECT}\", got exit ${result} without it")
endif()
