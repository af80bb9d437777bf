# Runs PROGRAM jsonl INPUT and compares standard output with EXPECTED byte for byte
# and the exit status with EXPECTED_STATUS.
execute_process(COMMAND ${EMULATOR} ${PROGRAM} jsonl ${INPUT} ${EXTRA_ARGS}
                OUTPUT_VARIABLE actual RESULT_VARIABLE status)
file(READ ${EXPECTED} expected)
if(NOT actual STREQUAL expected)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/actual_output.jsonl "${actual}")
  message(FATAL_ERROR "output differs from ${EXPECTED}:\n${actual}")
endif()
if(NOT status STREQUAL EXPECTED_STATUS)
  message(FATAL_ERROR "exit status ${status}, expected ${EXPECTED_STATUS}")
endif()
