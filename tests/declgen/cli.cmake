# One run of declgen as a user makes it: the exit status, a message that must
# appear (on standard error or output), and, with KEEPS, a file that the run must
# leave as it was.
#   -DPROGRAM=declgen "-DARGS=a b c" -DSTATUS=N -DMESSAGE=regex
#   [-DSTDOUT=FILE] (standard output goes there, e.g. /dev/full) [-DKEEPS=FILE]
separate_arguments(ARGS UNIX_COMMAND "${ARGS}")
if(KEEPS)
  file(WRITE ${KEEPS} "the old list\n")
endif()
set(redirect)
if(STDOUT)
  set(redirect OUTPUT_FILE ${STDOUT})
else()
  set(redirect OUTPUT_VARIABLE printed)
endif()
execute_process(COMMAND ${PROGRAM} ${ARGS} ${redirect} ERROR_VARIABLE messages RESULT_VARIABLE status)
if(NOT status STREQUAL STATUS)
  message(FATAL_ERROR "declgen ${ARGS}: exit status ${status}, expected ${STATUS}:\n${messages}")
endif()
if(NOT "${printed}${messages}" MATCHES "${MESSAGE}")
  message(FATAL_ERROR "declgen ${ARGS}: no \"${MESSAGE}\" in:\n${printed}${messages}")
endif()
if(KEEPS)
  file(READ ${KEEPS} kept)
  if(NOT kept STREQUAL "the old list\n")
    message(FATAL_ERROR "declgen ${ARGS}: ${KEEPS} was changed although the run failed")
  endif()
endif()
