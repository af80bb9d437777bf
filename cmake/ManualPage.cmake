# Writes the gzipped manual page of a program from its --help and --version with
# help2man. Each subcommand that --help lists gets a section of its own with the
# subcommand's --help, as the program prints it.
#   cmake -DHELP2MAN=... -DPROGRAM=... -DDESCRIPTION=... -DOUTPUT=NAME.1.gz -P ManualPage.cmake
cmake_minimum_required(VERSION 3.25)
get_filename_component(name ${PROGRAM} NAME)
string(REGEX REPLACE "\\.gz$" "" page "${OUTPUT}")

execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help exited with ${status}")
endif()
# The subcommands: the first word of each line of the block after "Subcommands:".
set(subcommands)
if(help MATCHES "\nSubcommands:\n(.*)$")
  string(REPLACE "\n" ";" lines "${CMAKE_MATCH_1}")
  foreach(line IN LISTS lines)
    if(line MATCHES "^  ([a-z][a-z0-9-]*) ")
      list(APPEND subcommands ${CMAKE_MATCH_1})
    elseif(NOT line MATCHES "^ ")
      break()
    endif()
  endforeach()
endif()

set(include ${page}.h2m)
file(REMOVE ${include})
set(include_option)
foreach(subcommand IN LISTS subcommands)
  execute_process(COMMAND ${PROGRAM} ${subcommand} --help OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${subcommand} --help exited with ${status}")
  endif()
  # Shown as printed: backslashes escaped, no line taken for a roff request.
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  file(APPEND ${include} "[${name} ${subcommand}]\n.nf\n${text}.fi\n")
  set(include_option --include=${include})
endforeach()

execute_process(COMMAND ${HELP2MAN} --no-info "--name=${DESCRIPTION}"
                        ${include_option} --output=${page} ${PROGRAM}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed on ${PROGRAM}")
endif()
execute_process(COMMAND gzip -9nf ${page} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${page}")
endif()
file(REMOVE ${include})
