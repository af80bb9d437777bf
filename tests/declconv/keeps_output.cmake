# declconv as a new user meets it: whatever goes wrong, an existing output file
# keeps its old bytes. Each case runs PROGRAM (under EMULATOR for the Windows
# builds) in WORK_DIR and checks the exit status, the message and the old output.
# A failed write to standard output (/dev/full) is exit status 2 for both commands.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(old "old output\n")
file(WRITE ${WORK_DIR}/out.tw "${old}")
file(COPY_FILE ${SAMPLE} ${WORK_DIR}/input.bas)

# A file this user cannot read: without read permission, or (for root, who may
# read any file) one whose reading fails.
file(WRITE ${WORK_DIR}/unreadable.bas "Const A = 1\r\n")
file(CHMOD ${WORK_DIR}/unreadable.bas PERMISSIONS OWNER_WRITE)
execute_process(COMMAND cat ${WORK_DIR}/unreadable.bas RESULT_VARIABLE readable OUTPUT_QUIET ERROR_QUIET)
if(readable EQUAL 0)
  set(unreadable /proc/self/mem)
  set(unreadable_reason "")  # the system's reason differs between Linux and Wine
else()
  set(unreadable unreadable.bas)
  set(unreadable_reason "Permission denied")
endif()

function(expect case status message)
  execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${ARGN} WORKING_DIRECTORY ${WORK_DIR}
                  OUTPUT_QUIET ERROR_VARIABLE messages RESULT_VARIABLE actual)
  string(FIND "${messages}" "${message}" at)
  file(READ ${WORK_DIR}/out.tw now)
  if(NOT actual STREQUAL status OR at EQUAL -1 OR NOT now STREQUAL old)
    message(FATAL_ERROR "${case}: exit status ${actual} (expected ${status}), output now \"${now}\", "
                        "messages (expected \"${message}\"):\n${messages}")
  endif()
endfunction()

expect(missing_input 2 "declconv: out.tw: left as it was, since not every input could be read"
       convert -o out.tw input.bas missing.bas)
expect(unreadable_input 2 "declconv: ${unreadable}: ${unreadable_reason}" convert -o out.tw input.bas ${unreadable})
expect(binary_input 2 "declconv: ${PROGRAM}: not a text file" convert -o out.tw input.bas ${PROGRAM})
expect(output_is_an_input 2 "declconv: out.tw: is the input out.tw as well; nothing was converted"
       convert -o out.tw input.bas out.tw)
expect(output_in_a_missing_folder 2 "declconv: missing/out.tw: No such file or directory; left as it was"
       convert -o missing/out.tw input.bas)
if(EXISTS ${WORK_DIR}/missing)
  message(FATAL_ERROR "output_in_a_missing_folder: the folder was made")
endif()
file(READ ${WORK_DIR}/input.bas now)
file(READ ${SAMPLE} sample)
if(NOT now STREQUAL sample)
  message(FATAL_ERROR "an input changed")
endif()

foreach(command "convert;input.bas" "jsonl;${REQUESTS}")
  execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${command} WORKING_DIRECTORY ${WORK_DIR}
                  OUTPUT_FILE /dev/full ERROR_VARIABLE messages RESULT_VARIABLE status)
  string(FIND "${messages}" "declconv: standard output: No space left on device" at)
  if(NOT status EQUAL 2 OR at EQUAL -1)
    message(FATAL_ERROR "${command} >/dev/full: exit status ${status}:\n${messages}")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})
