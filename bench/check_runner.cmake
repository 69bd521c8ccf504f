# Runs instance_runner on the hand-made instances in testdata/ and checks its CSV rows.
#   RUNNER, DATA, WORK_DIR
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
foreach(kerf 0 3)
  execute_process(COMMAND "${RUNNER}" --dir "${DATA}" --methods ffd,svc,greedy,packed,cg,bcp,circular,circular-split,auto
                          --time-limit 20 --kerf ${kerf} --out rows${kerf}.csv
                  WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err
                  TIMEOUT 120)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "instance_runner --kerf ${kerf}: exit ${rc}\n${out}\n${err}")
  endif()
  file(READ "${WORK_DIR}/rows${kerf}.csv" rows)
  string(REGEX MATCHALL "\nmini,[^\n]*" lines "${rows}")
  list(LENGTH lines count)
  if(NOT count EQUAL 18)
    message(FATAL_ERROR "kerf ${kerf}: ${count} rows, expected 2 instances x 9 methods\n${rows}")
  endif()
  if(rows MATCHES ",[0-9]+[.][0-9]+,no,") # seconds, then check_passed
    message(FATAL_ERROR "kerf ${kerf}: a plan failed the check\n${rows}")
  endif()
  # First-fit decreasing reaches the optimum on both (worked out by hand); the optimum of tiny_b
  # follows two blank cells of optima.csv; the lower bounds are ceil(30 / 10) and ceil(303 / 100).
  # Column generation proves tiny_b optimal: its relaxation needs 3 + 1.5 tubes where the
  # continuous bound sees 4. auto takes that bound from cg and keeps ffd's plan, the earlier of two
  # equal ones.
  foreach(expect "mini,tiny_a,ffd,6,10,${kerf},3,3,3,0,[0-9.]+,yes,complete,0,"
                 "mini,tiny_b,ffd,6,100,${kerf},5,4,5,0,[0-9.]+,yes,complete,0,"
                 "mini,tiny_b,svc,6,100,${kerf},5,4,5,0,"
                 "mini,tiny_b,cg,6,100,${kerf},5,4,5,0,[0-9.]+,yes,complete,0,,5,column generation,yes"
                 "mini,tiny_b,bcp,6,100,${kerf},5,4,5,0,[0-9.]+,yes,complete,0,,5,branch-cut-price,yes"
                 "mini,tiny_b,auto,6,100,${kerf},5,4,5,0,[0-9.]+,yes,complete,0,,5,column generation,yes,ffd")
    if(NOT rows MATCHES "${expect}")
      message(FATAL_ERROR "kerf ${kerf}: no row matches ${expect}\n${rows}")
    endif()
  endforeach()
  if(NOT out MATCHES "\\| mini \\| ${kerf} \\| ffd \\| 2 \\| 100.0 % \\| 0.00 \\|")
    message(FATAL_ERROR "kerf ${kerf}: summary without the ffd line\n${out}")
  endif()
endforeach()
