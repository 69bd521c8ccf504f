#pragma once
// A realistic built-in problem for demonstrations and tests: a welded frame in 60x40 tube with
// mitred, saddle-cut and notched ends, orientation-dependent gaps, three stock lengths, and two
// rails longer than some or all stock tubes (the circular method splits and welds them).

#include "api/problem.h"

namespace tubenest::api {

Problem MakeExampleProblem();

} // namespace tubenest::api
