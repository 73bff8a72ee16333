#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the window thread: the end of the user's
// session, which shuts the station down in order. The handler only writes a byte to a pipe.

#include <QObject>

class QSocketNotifier;

namespace kel {

class SignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;
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
