# Runs one fuzzer for a bounded time from a fresh copy of its committed corpus,
# so that the inputs it adds stay in the build tree, and fails on any finding.
# -DFUZZER=<program> -DCORPUS=<committed corpus> -DWORK=<scratch directory>
# -DSECONDS=<time> -DMAX_LEN=<longest input>
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/artifacts")
file(COPY "${CORPUS}/" DESTINATION "${WORK}/corpus")

execute_process(
    COMMAND "${FUZZER}" -max_total_time=${SECONDS} -max_len=${MAX_LEN} -timeout=10 -print_final_stats=1
            "-artifact_prefix=${WORK}/artifacts/" "${WORK}/corpus"
    RESULT_VARIABLE result)

if(NOT result EQUAL 0)
    file(GLOB found "${WORK}/artifacts/*")
    message(FATAL_ERROR "${FUZZER} failed (${result}); failing input: ${found}\n"
                        "Replay it with: ${FUZZER} <input>. Once fixed, commit it to ${CORPUS}.")
endif()
