# Runs tubenest and compares its JSON plan with a stored golden plan. The wall time of the run is
# the only field that may differ between two runs with the same seed, so it is dropped on both sides.
#   TUBENEST   path of the binary
#   WORK_DIR   created empty; the run happens there
#   ARGS       arguments of tubenest ('|'-separated); the run must write plan.json
#   GOLDEN     the stored plan
#   UPDATE     when true, the golden plan is rewritten instead of compared
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
string(REPLACE "|" ";" args "${ARGS}")
execute_process(COMMAND "${TUBENEST}" ${args}
                WORKING_DIRECTORY "${WORK_DIR}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err
                TIMEOUT 300)
if(NOT rc EQUAL 0 AND NOT rc EQUAL 3)
  message(FATAL_ERROR "tubenest ${args}: exit ${rc}\nstderr: ${err}")
endif()
file(READ "${WORK_DIR}/plan.json" actual)
string(REGEX REPLACE "\n *\"elapsed_seconds\": [^\n]*\n" "\n" actual "${actual}")
if(UPDATE)
  file(WRITE "${GOLDEN}" "${actual}")
  message(STATUS "wrote ${GOLDEN}")
  return()
endif()
file(READ "${GOLDEN}" expected)
if(NOT actual STREQUAL expected)
  file(WRITE "${WORK_DIR}/actual.json" "${actual}")
  execute_process(COMMAND diff -u "${GOLDEN}" "${WORK_DIR}/actual.json" OUTPUT_VARIABLE diff)
  string(SUBSTRING "${diff}" 0 4000 diff)
  message(FATAL_ERROR "the plan differs from ${GOLDEN} (actual: ${WORK_DIR}/actual.json)\n${diff}")
endif()
