# Builds VelmoraUninstall.exe of PRESET twice from scratch, the second time
# from a copy of the sources at another path into another build directory,
# and fails unless the two are byte for byte the same: a timestamp or a path
# that leaks into the program makes them differ.
#   cmake -DSOURCE_DIR=... -DPRESET=win32 -DWORK_DIR=... -P Reproducible.cmake
foreach(var SOURCE_DIR PRESET WORK_DIR)
    if(NOT ${var})
        message(FATAL_ERROR "${var} not set")
    endif()
endforeach()

file(REMOVE_RECURSE ${WORK_DIR})
set(copy ${WORK_DIR}/a-copy-of-the-sources-elsewhere)
file(GLOB entries LIST_DIRECTORIES true ${SOURCE_DIR}/* ${SOURCE_DIR}/.*)
list(REMOVE_ITEM entries ${SOURCE_DIR}/build ${SOURCE_DIR}/.git)
file(COPY ${entries} DESTINATION ${copy})

function(BuildOnce source binary)
    foreach(step "--preset;${PRESET};-S;${source};-B;${binary}" "--build;${binary};--target;VelmoraUninstall")
        execute_process(COMMAND ${CMAKE_COMMAND} ${step} RESULT_VARIABLE result OUTPUT_VARIABLE output
                        ERROR_VARIABLE output)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR "cmake ${step} failed:\n${output}")
        endif()
    endforeach()
endfunction()

BuildOnce(${SOURCE_DIR} ${WORK_DIR}/a)
BuildOnce(${copy} ${WORK_DIR}/the-second-build-b)

set(first ${WORK_DIR}/a/VelmoraUninstall.exe)
set(second ${WORK_DIR}/the-second-build-b/VelmoraUninstall.exe)
file(SHA256 ${first} first_hash)
file(SHA256 ${second} second_hash)
file(SIZE ${first} first_size)
file(SIZE ${second} second_size)
message("${first}: ${first_size} bytes, sha256 ${first_hash}")
message("${second}: ${second_size} bytes, sha256 ${second_hash}")
if(NOT first_hash STREQUAL second_hash)
    execute_process(COMMAND cmp -l ${first} ${second} OUTPUT_VARIABLE differences)
    string(SUBSTRING "${differences}" 0 2000 differences)
    message(FATAL_ERROR "the two builds differ (offset, byte, byte, octal):\n${differences}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
