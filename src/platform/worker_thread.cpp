#include "platform/worker_thread.h"

#include "platform/guarded.h"
#include <exception>
#include <system_error>
#include <utility>

namespace kel {

WorkerThread::~WorkerThread() {
    Stop();
}

bool WorkerThread::Start(Body body, Failure failed) {
    if (thread_.joinable())
        return true;
    body_ = std::move(body);
    failed_ = std::move(failed);
    try {
        thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void WorkerThread::Stop() {
    if (!thread_.joinable())
        return;
    thread_.request_stop();
    thread_.join();
    thread_ = std::jthread();
}

bool WorkerThread::Pause(std::stop_token stop, std::chrono::nanoseconds d) {
    UniqueMutexLock lock(mutex_);
    wake_.wait_for(lock, stop, d, [] { return false; });
    return !stop.stop_requested();
}

void WorkerThread::Run(std::stop_token stop) {
    while (!stop.stop_requested()) {
        std::string what;
        try {
            body_(stop);
            return;
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
            what = "unknown error";
        }
        if (failed_)
            failed_(what);
        Pause(stop, kRestartPause);
    }
}

}  // namespace kel
