#include "cli_support.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace tubenest::cli {

ProgressBar::ProgressBar(bool enabled, double time_limit_seconds)
    : enabled_(enabled), time_limit_(time_limit_seconds), start_(std::chrono::steady_clock::now()),
      last_(start_ - std::chrono::seconds(1)) {
    if (enabled_) {
        ticker_ = std::thread([this] { Tick(); });
    }
}

ProgressBar::~ProgressBar() {
    Finish();
}

void ProgressBar::Update(double /*fraction*/, const std::string& message) {
    if (!enabled_) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    message_ = message;
    const auto now = std::chrono::steady_clock::now();
    if (!finished_ && now - last_ >= std::chrono::milliseconds(100)) {
        Draw(now);
    }
}

void ProgressBar::Tick() {
    constexpr auto period = std::chrono::milliseconds(250);
    std::unique_lock<std::mutex> lock(mutex_);
    while (!finished_) {
        wake_.wait_for(lock, period);
        const auto now = std::chrono::steady_clock::now();
        if (!finished_ && now - last_ >= period) {
            Draw(now);
        }
    }
}

void ProgressBar::Draw(std::chrono::steady_clock::time_point now) {
    last_ = now;
    constexpr int width = 30;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::string bar(static_cast<std::size_t>(width), '.');
    if (time_limit_ > 0.0) {
        const int filled = std::clamp(static_cast<int>(seconds / time_limit_ * width), 0, width);
        std::fill(bar.begin(), bar.begin() + filled, '#');
        std::fprintf(stderr, "\r\033[K[%s] %5.1f of %.1f s  %.40s", bar.c_str(), seconds, time_limit_,
                     message_.c_str());
    } else {
        const int period = 2 * (width - 3);
        const int pos = tick_++ % period;
        const int at = pos < width - 3 ? pos : period - pos;
        bar.replace(static_cast<std::size_t>(at), 3, "<=>");
        std::fprintf(stderr, "\r\033[K[%s] %5.1f s  %.40s", bar.c_str(), seconds, message_.c_str());
    }
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::Finish() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
    }
    wake_.notify_all();
    if (ticker_.joinable()) {
        ticker_.join();
    }
    if (drawn_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        drawn_ = false;
    }
}

namespace {

static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");
static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free,
              "the signal handler needs a lock-free pointer");

std::atomic<std::atomic<bool>*> g_stop_flag{nullptr};
struct sigaction g_old_int;
struct sigaction g_old_term;

extern "C" void OnStopSignal(int /*signal*/) {
    if (std::atomic<bool>* flag = g_stop_flag.load()) {
        flag->store(true);
    }
}

} // namespace

InterruptGuard::InterruptGuard(const api::StopToken& token) {
    g_stop_flag.store(token.Flag());
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND; // a second signal ends the process
    sigaction(SIGINT, &action, &g_old_int);
    sigaction(SIGTERM, &action, &g_old_term);
}

InterruptGuard::~InterruptGuard() {
    sigaction(SIGINT, &g_old_int, nullptr);
    sigaction(SIGTERM, &g_old_term, nullptr);
    g_stop_flag.store(nullptr);
}

} // namespace tubenest::cli
