#include "platform/screen_saver.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>

namespace kel {

namespace {
constexpr const char* kService = "org.freedesktop.ScreenSaver";
constexpr const char* kPath = "/org/freedesktop/ScreenSaver";
constexpr int kTimeoutMs = 2000;  // a hung desktop must not hold up the start
}  // namespace

void DbusScreenSaver::Inhibit() {
    if (cookie_ != 0)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(kService))
        return;
    QDBusInterface saver(kService, kPath, kService, bus);
    saver.setTimeout(kTimeoutMs);
    QDBusReply<uint> reply = saver.call("Inhibit", "kel", "Rejestracja obrazu");
    if (reply.isValid())
        cookie_ = reply.value();
}

void DbusScreenSaver::Allow() {
    if (cookie_ == 0)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusInterface saver(kService, kPath, kService, bus);
        saver.setTimeout(kTimeoutMs);
        saver.call("UnInhibit", cookie_);
    }
    cookie_ = 0;
}

}  // namespace kel
