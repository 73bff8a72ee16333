#include "platform/signal_watcher.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace kel {

namespace {
int g_pipe[2] = {-1, -1};

sigset_t EndingSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&set, sig);
    return set;
}

void OnSignal(int sig) {
    unsigned char b = static_cast<unsigned char>(sig);
    // Nothing else is safe here; a full pipe already holds a pending shutdown.
    [[maybe_unused]] ssize_t n = ::write(g_pipe[1], &b, 1);
}
}  // namespace

void SignalWatcher::HoldEndingSignals() {
    const sigset_t set = EndingSignals();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalWatcher::OnReadable);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
    const sigset_t set = EndingSignals();
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);  // one held so far is taken now
}

SignalWatcher::~SignalWatcher() {
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
}

bool SignalWatcher::TakePending() {
    unsigned char b = 0;
    bool any = false;
    while (g_pipe[0] >= 0 && ::read(g_pipe[0], &b, 1) == 1) {
        last_ = b;
        any = true;
    }
    return any;
}

void SignalWatcher::OnReadable() {
    unsigned char b = 0;
    bool any = false;
    while (::read(g_pipe[0], &b, 1) == 1) {
        last_ = b;
        any = true;
    }
    if (any)
        emit endSession();
}

}  // namespace kel
