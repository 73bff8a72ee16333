#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the window thread: the end of the user's
// session, which shuts the station down in order. The handler only writes a byte to a pipe.
//
// The program blocks the three at its first instruction (HoldEndingSignals), so one that comes
// before the watcher exists waits, pending, and is taken the moment the watcher is made.

#include <QObject>

class QSocketNotifier;

namespace kel {

class SignalWatcher : public QObject {
    Q_OBJECT
public:
    // Blocks SIGTERM, SIGINT and SIGHUP in the calling thread (and the threads it starts).
    static void HoldEndingSignals();

    // Installs the handlers, then unblocks the signals in the calling thread.
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;
    // Whether a signal came that the event loop has not seen yet; it is taken (no endSession).
    bool TakePending();
    // The number of the last signal caught, 0 before any.
    int LastSignal() const { return last_; }

signals:
    void endSession();

private:
    void OnReadable();

    QSocketNotifier* notifier_ = nullptr;
    int last_ = 0;
};

}  // namespace kel
