#pragma once
// The one shape of the station's threads that are not periodic (the archiving worker, a stream
// source, a capture card, the TCP listener, the mail notifier): a body that runs until it is
// asked to stop. The body gets the thread's stop token; a stop request ends the helper's Pause at
// once, and any wait of the body's own on that token (condition_variable_any). Stop joins.
//
// A body that throws is reported and started again after kRestartPause, so no thread of the
// station ends by surprise and none takes the program down; a body that returns has ended its
// work, and the thread ends with it.

#include "platform/guarded.h"
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

namespace kel {

class WorkerThread {
public:
    using Body = std::function<void(std::stop_token)>;
    // Called on the thread with the text of what the body threw.
    using Failure = std::function<void(const std::string& what)>;
    static constexpr std::chrono::milliseconds kRestartPause{1000};

    WorkerThread() = default;
    // Stops the thread.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts the body unless the thread runs. False when no thread could be made.
    bool Start(Body body, Failure failed = nullptr);
    // Asks the body to stop and waits for the thread to end. Any thread but the worker itself.
    void Stop();
    bool Running() const { return thread_.joinable(); }

    // On the worker, with the token its body got: waits `d`, or less when a stop is asked; false
    // once it is.
    bool Pause(std::stop_token stop, std::chrono::nanoseconds d);

private:
    void Run(std::stop_token stop);

    Body body_;
    Failure failed_;
    Mutex mutex_;
    std::condition_variable_any wake_;
    std::jthread thread_;  // last: it ends before the members it uses go
};

}  // namespace kel
