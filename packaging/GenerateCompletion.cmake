# cmake -DPROGRAM=... -DTEMPLATE=... -DOUTPUT=... -P GenerateCompletion.cmake
# Writes the bash completion of quorvel-cli from the program's own table of commands and options.
execute_process(COMMAND ${PROGRAM} --command-table OUTPUT_VARIABLE QUORVEL_COMMAND_TABLE
                RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR QUORVEL_COMMAND_TABLE STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} --command-table failed (${result})")
endif()
# The table goes into a single-quoted shell string.
if(QUORVEL_COMMAND_TABLE MATCHES "'")
  message(FATAL_ERROR "A quote in the command table of ${PROGRAM}")
endif()
string(STRIP "${QUORVEL_COMMAND_TABLE}" QUORVEL_COMMAND_TABLE)
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
