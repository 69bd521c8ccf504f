#include "host/bcp_base.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace tubenest {

TBCPStopWatch::TBCPStopWatch(double ATimeLimit) : time_limit_(ATimeLimit) {
    if (std::isnan(ATimeLimit) || ATimeLimit < 0.0) {
        throw std::invalid_argument("TBCPStopWatch: time limit " + std::to_string(ATimeLimit) +
                                    " is not a non-negative number of seconds");
    }
}

void TBCPStopWatch::Start() {
    start_ = std::chrono::steady_clock::now();
    started_ = true;
}

double TBCPStopWatch::Elapsed() const {
    if (!started_) {
        return 0.0;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

bool TBCPStopWatch::TimeOver() const {
    return started_ && Elapsed() >= time_limit_;
}

} // namespace tubenest
