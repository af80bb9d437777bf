# Runs PROGRAM convert on INPUT twice:
#  - with --emit-requests: standard output must equal EXPECTED byte for byte, and
#    standard error must hold the summary lines DECLARATIONS and SKIPPED;
#  - converting: exit status 0 (no crash, no sanitizer report) and the same counts.
# (Whether each declaration converts is the converters' tests' business.)
get_filename_component(name ${INPUT} NAME)
execute_process(COMMAND ${PROGRAM} convert --emit-requests ${INPUT}
                OUTPUT_VARIABLE actual ERROR_VARIABLE messages RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "--emit-requests exited with ${status}:\n${messages}")
endif()
file(READ ${EXPECTED} expected)
if(NOT actual STREQUAL expected)
  set(saved ${CMAKE_CURRENT_BINARY_DIR}/${name}.requests.jsonl)
  file(WRITE ${saved} "${actual}")
  message(FATAL_ERROR "requests differ from ${EXPECTED}; compare with ${saved}")
endif()
foreach(line "${INPUT}: ${DECLARATIONS} handed over as requests\n" "${INPUT}: ${SKIPPED}\n")
  string(FIND "${messages}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "summary line missing: ${line}in:\n${messages}")
  endif()
endforeach()

execute_process(COMMAND ${PROGRAM} convert ${INPUT}
                OUTPUT_QUIET ERROR_VARIABLE messages RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "convert exited with ${status}:\n${messages}")
endif()
foreach(line "${INPUT}: ${DECLARATIONS}: " "${INPUT}: ${SKIPPED}\n")
  string(FIND "${messages}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "summary line missing: ${line}\nin:\n${messages}")
  endif()
endforeach()
