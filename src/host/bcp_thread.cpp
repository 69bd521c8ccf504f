#include "host/bcp_thread.h"

#include <stdexcept>

namespace tubenest {

TBCPThread::TBCPThread(double ATimeLimit, TBCPThreadSync& ASync, int ANumber)
    : time_limit_(ATimeLimit), sync_(ASync), number_(ANumber) {}

TBCPThread::~TBCPThread() {
    // Normally the derived destructor has stopped the thread already; this covers a derived class
    // whose hooks touch nothing of its own.
    Terminate();
    Join();
}

void TBCPThread::Start() {
    if (thread_.joinable()) {
        throw std::logic_error("TBCPThread::Start: the thread runs already");
    }
    thread_ = std::jthread([this] { Execute(); });
}

void TBCPThread::Terminate() {
    {
        std::lock_guard lock(sync_.Mutex);
        terminated_ = true;
    }
    sync_.WorkerWake.notify_all();
}

void TBCPThread::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void TBCPThread::ActivateLocked() {
    activated_ = true;
    busy_ = true;
}

void TBCPThread::Report(std::exception_ptr error) noexcept {
    try {
        DoOnExcept(error);
    } catch (...) {
        // DoOnExcept is the last stop for a hook's error; an error in it has nowhere to go.
    }
}

void TBCPThread::Execute() {
    try {
        InitializeExecuteLoop();
    } catch (...) {
        Report(std::current_exception());
    }
    std::unique_lock lock(sync_.Mutex);
    for (;;) {
        sync_.WorkerWake.wait(lock, [this] { return activated_ || terminated_; });
        if (terminated_) {
            break;
        }
        activated_ = false;
        lock.unlock();
        try {
            ExecuteInLoop();
        } catch (...) {
            Report(std::current_exception());
        }
        lock.lock();
        ++passes_;
        end_signal_ = true;
        if (!activated_) {
            busy_ = false;
        }
        sync_.DriverWake.notify_all();
    }
    busy_ = false;
    end_signal_ = true;
    lock.unlock();
    sync_.DriverWake.notify_all();
    try {
        FinalizeExecuteLoop();
    } catch (...) {
        Report(std::current_exception());
    }
}

} // namespace tubenest
