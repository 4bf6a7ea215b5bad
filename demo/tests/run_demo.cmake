# Runs agent_demo (or the Windows scenario player) once and checks what it did.
# Variables:
#   DEMO      the agent_demo executable, or the scenario player
#   EMULATOR  what runs DEMO, if anything (scripts/wine-run.sh for the player)
#   RUN_TIMEOUT  seconds it may take (default 30)
#   ARG       its one argument (a scenario file or "-"); unset for the built-in session
#   INPUT     file given on standard input (with ARG "-")
#   EXPECTED  file holding the exact expected standard output (exit code 0 expected)
#   REFUSED   a scenario that must be refused: exit code 2, standard error must
#             hold the text of its "# refused: line N: ..." line, and line N must
#             not have been played
set(command ${EMULATOR} ${DEMO})
if(NOT DEFINED RUN_TIMEOUT)
    set(RUN_TIMEOUT 30)
endif()
if(DEFINED ARG)
    list(APPEND command ${ARG})
endif()
set(input_option)
if(DEFINED INPUT)
    set(input_option INPUT_FILE ${INPUT})
endif()
execute_process(COMMAND ${command} ${input_option}
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE code
                TIMEOUT ${RUN_TIMEOUT})

if(DEFINED EXPECTED)
    if(NOT code EQUAL 0)
        message(FATAL_ERROR "${DEMO} exited with ${code}, expected 0\nstderr:\n${err}")
    endif()
    file(READ ${EXPECTED} expected)
    if(NOT out STREQUAL expected)
        get_filename_component(name ${EXPECTED} NAME_WE)
        set(actual_file ${CMAKE_CURRENT_BINARY_DIR}/${name}.actual)
        file(WRITE ${actual_file} "${out}")
        execute_process(COMMAND diff -u ${EXPECTED} ${actual_file} OUTPUT_VARIABLE difference)
        message(FATAL_ERROR "timeline differs from ${EXPECTED} (actual: ${actual_file}):\n"
                            "${difference}")
    endif()
elseif(DEFINED REFUSED)
    file(STRINGS ${REFUSED} wanted REGEX "^# refused: ")
    if(NOT wanted)
        message(FATAL_ERROR "${REFUSED} has no \"# refused: \" line")
    endif()
    string(REGEX REPLACE "^# refused: " "" wanted "${wanted}")
    if(NOT code EQUAL 2)
        message(FATAL_ERROR "${DEMO} exited with ${code}, expected 2\nstderr:\n${err}")
    endif()
    string(FIND "${err}" "${wanted}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "stderr lacks \"${wanted}\"; it was:\n${err}")
    endif()
    # The refused line is not played, and nothing after it.
    string(REGEX MATCH "^line ([0-9]+):" ignored "${wanted}")
    string(FIND "${out}" "-- ${CMAKE_MATCH_1}: " played)
    if(NOT played EQUAL -1)
        message(FATAL_ERROR "line ${CMAKE_MATCH_1} was played:\n${out}")
    endif()
else()
    message(FATAL_ERROR "run_demo.cmake needs EXPECTED or REFUSED")
endif()
