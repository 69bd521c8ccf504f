#pragma once
// Pieces of the command-line tool that are not argument parsing: the progress bar, the interrupt
// handling and the exit codes.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "api/solve.h"

namespace tubenest::cli {

/// Exit codes of the tool.
enum ExitCode : int {
    kExitAllPlaced = 0, ///< a plan with every copy placed (also: --help, validate ok)
    kExitInternal = 1,  ///< internal or system error (e.g. an output file cannot be written)
    kExitBadInput = 2,  ///< bad input or usage
    kExitNotPlaced = 3, ///< a valid plan with copies not placed
};

/// Bad usage or unreadable input: exit code 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A one-line progress bar on stderr, redrawn at most ten times a second. Inactive (draws
/// nothing) unless enabled, which the tool does only when stderr is a terminal. The engine's own
/// progress approaches its end without a known amount of work, so with a time limit the bar shows
/// the share of the time used, and without one a moving marker with the elapsed time. A method
/// may report nothing for seconds, so a thread of the bar redraws it from the elapsed time at
/// least four times a second.
class ProgressBar {
public:
    ProgressBar(bool enabled, double time_limit_seconds);
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;
    ~ProgressBar();

    void Update(double fraction, const std::string& message);
    /// Stops the redrawing and clears the bar's line.
    void Finish();

private:
    void Draw(std::chrono::steady_clock::time_point now); // with mutex_ held
    void Tick();

    bool enabled_;
    double time_limit_;
    bool drawn_ = false;
    int tick_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_;
    std::string message_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool finished_ = false;
    std::thread ticker_; // last: starts once the members it reads are set
};

/// While alive, SIGINT and SIGTERM set the token's flag (the signal handler does nothing else);
/// Solve's watcher turns the flag into the engine's stop request. A second signal ends the
/// process the default way. Restores the previous handlers when destroyed.
class InterruptGuard {
public:
    explicit InterruptGuard(const api::StopToken& token);
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
    ~InterruptGuard();
};

} // namespace tubenest::cli
