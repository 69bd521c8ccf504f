# Runs the tubenest binary once and checks what it did. Lists use '|' as separator.
#   TUBENEST, TOOL       paths of the binary and of e2e_tool
#   WORK_DIR             created empty; the run happens there
#   ARGS                 arguments of tubenest
#   EXPECT_RC            accepted exit codes, e.g. "0" or "0|3"
#   STDERR_REGEX         stderr must match (optional)
#   STDERR_LINES         stderr must have exactly this many lines (optional)
#   STDOUT_REGEX         stdout must match (optional)
#   STDOUT_FILE          stdout is also written to this file in WORK_DIR (optional)
#   CHECK_PLAN           arguments of "e2e_tool check-plan" (the exit code is appended)
#   CHECK_SVG            arguments of "e2e_tool check-svg"
#   RENDER_SVG           an SVG file to render with rsvg-convert to RENDER_SVG.png (optional)
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
string(REPLACE "|" ";" args "${ARGS}")
execute_process(COMMAND "${TUBENEST}" ${args}
                WORKING_DIRECTORY "${WORK_DIR}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err
                TIMEOUT 300)
message(STATUS "tubenest ${args}: exit ${rc}\nstderr: ${err}")

string(REPLACE "|" ";" accepted "${EXPECT_RC}")
if(NOT rc IN_LIST accepted)
  message(FATAL_ERROR "exit code ${rc}, expected one of ${EXPECT_RC}\nstdout:\n${out}")
endif()
if(DEFINED STDERR_REGEX AND NOT err MATCHES "${STDERR_REGEX}")
  message(FATAL_ERROR "stderr does not match '${STDERR_REGEX}'")
endif()
if(DEFINED STDERR_LINES)
  string(REGEX MATCHALL "\n" newlines "${err}")
  list(LENGTH newlines count)
  if(NOT count EQUAL STDERR_LINES)
    message(FATAL_ERROR "stderr has ${count} lines, expected ${STDERR_LINES}")
  endif()
endif()
if(DEFINED STDOUT_REGEX AND NOT out MATCHES "${STDOUT_REGEX}")
  message(FATAL_ERROR "stdout does not match '${STDOUT_REGEX}':\n${out}")
endif()
if(DEFINED STDOUT_FILE)
  file(WRITE "${WORK_DIR}/${STDOUT_FILE}" "${out}")
endif()

if(DEFINED CHECK_PLAN)
  string(REPLACE "|" ";" check "${CHECK_PLAN}")
  execute_process(COMMAND "${TOOL}" check-plan ${check} --rc ${rc} WORKING_DIRECTORY "${WORK_DIR}"
                  RESULT_VARIABLE crc)
  if(NOT crc EQUAL 0)
    message(FATAL_ERROR "plan check failed")
  endif()
endif()
if(DEFINED CHECK_SVG)
  string(REPLACE "|" ";" check "${CHECK_SVG}")
  execute_process(COMMAND "${TOOL}" check-svg ${check} WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE crc)
  if(NOT crc EQUAL 0)
    message(FATAL_ERROR "SVG check failed")
  endif()
endif()
if(DEFINED RENDER_SVG)
  find_program(RSVG rsvg-convert REQUIRED)
  execute_process(COMMAND "${RSVG}" -o "${RENDER_SVG}.png" "${RENDER_SVG}" WORKING_DIRECTORY "${WORK_DIR}"
                  RESULT_VARIABLE crc ERROR_VARIABLE rerr)
  if(NOT crc EQUAL 0 OR NOT EXISTS "${WORK_DIR}/${RENDER_SVG}.png")
    message(FATAL_ERROR "rsvg-convert failed: ${rerr}")
  endif()
endif()
