# declconv convert as a program: its options reach the command, -o writes the
# whole output to the named file and nothing to standard output, and a file that
# cannot be read gives exit status 2 while the others are still converted.
set(out ${WORK_DIR}/convert_cli_out.txt)
file(REMOVE ${out})
execute_process(COMMAND ${PROGRAM} convert --charset wide --no-autoformat --show-params --output-encoding utf-8
                        -o ${out} ${SAMPLE}
                OUTPUT_VARIABLE printed ERROR_VARIABLE messages RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "exit status ${status}:\n${messages}")
endif()
if(NOT printed STREQUAL "")
  message(FATAL_ERROR "printed on standard output although -o was given:\n${printed}")
endif()
# Read as hex: a text read would drop the carriage returns. The bytes are
# "MAX_PATH = 260", CR LF, "WM_SETTEXT = &C", CR LF.
file(READ ${out} written HEX)
string(FIND "${written}" "4d41585f50415448203d203236300d0a574d5f53455454455854203d2026430d0a" at)
if(NOT at EQUAL 0)
  message(FATAL_ERROR "unexpected output file:\n${written}")
endif()

execute_process(COMMAND ${PROGRAM} convert ${WORK_DIR}/no-such-file.bas ${SAMPLE}
                OUTPUT_VARIABLE printed ERROR_VARIABLE messages RESULT_VARIABLE status)
if(NOT status EQUAL 2)
  message(FATAL_ERROR "exit status ${status} for a missing file, expected 2:\n${messages}")
endif()
string(FIND "${messages}" "declconv: ${WORK_DIR}/no-such-file.bas: No such file or directory" at)
if(at EQUAL -1 OR NOT printed MATCHES "^MAX_PATH = 260")
  message(FATAL_ERROR "missing file not named, or the other file not converted:\n${messages}\n${printed}")
endif()

execute_process(COMMAND ${PROGRAM} convert --charset utf8 ${SAMPLE}
                OUTPUT_QUIET ERROR_QUIET RESULT_VARIABLE status)
if(status EQUAL 0)
  message(FATAL_ERROR "an unknown --charset was accepted")
endif()
