# declconv convert on one test module, run in the modules folder (under EMULATOR
# for the Windows builds): with --emit-requests -v and ARGS, standard output must
# equal CASE.jsonl and standard error CASE.messages byte for byte (line ends
# aside), and the exit status STATUS. With PAIR, MODULE and PAIR are converted
# with --strict and must both succeed and give the same Tarnwick text.
separate_arguments(args UNIX_COMMAND "${ARGS}")
execute_process(COMMAND ${EMULATOR} ${PROGRAM} convert --emit-requests -v ${args} ${MODULE}
                WORKING_DIRECTORY ${DIR} OUTPUT_VARIABLE requests ERROR_VARIABLE messages
                RESULT_VARIABLE status)
string(REPLACE "\r\n" "\n" messages "${messages}")
foreach(kind requests messages)
  set(expected_file ${DIR}/${CASE}.${kind})
  file(READ ${expected_file} expected)
  if(NOT "${${kind}}" STREQUAL "${expected}")
    file(WRITE ${WORK_DIR}/${CASE}.${kind} "${${kind}}")
    message(FATAL_ERROR "${kind} differ from ${expected_file}; compare with ${WORK_DIR}/${CASE}.${kind}")
  endif()
endforeach()
if(NOT status STREQUAL STATUS)
  message(FATAL_ERROR "exit status ${status}, expected ${STATUS}:\n${messages}")
endif()

if(PAIR)
  foreach(module ${MODULE} ${PAIR})
    execute_process(COMMAND ${EMULATOR} ${PROGRAM} convert --strict ${args} ${module}
                    WORKING_DIRECTORY ${DIR} OUTPUT_VARIABLE text_${module} ERROR_VARIABLE messages
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "${module}: exit status ${status}:\n${messages}")
    endif()
  endforeach()
  if(NOT text_${MODULE} STREQUAL text_${PAIR})
    message(FATAL_ERROR "${MODULE} and ${PAIR} give different text:\n${text_${MODULE}}\n---\n${text_${PAIR}}")
  endif()
endif()
