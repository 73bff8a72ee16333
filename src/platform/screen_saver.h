#pragma once
// Keeps the screen saver away while the station runs. Where the desktop offers the
// org.freedesktop.ScreenSaver service on the session bus the saver is inhibited there;
// elsewhere (no session bus, headless) this does nothing.

#include <cstdint>

namespace kel {

class ScreenSaver {
public:
    virtual ~ScreenSaver() = default;
    virtual void Inhibit() = 0;
    virtual void Allow() = 0;
};

class DbusScreenSaver : public ScreenSaver {
public:
    ~DbusScreenSaver() override { Allow(); }
    void Inhibit() override;
    void Allow() override;
    bool Inhibited() const { return cookie_ != 0; }

private:
    uint32_t cookie_ = 0;
};

class NoScreenSaver : public ScreenSaver {
public:
    void Inhibit() override {}
    void Allow() override {}
};

}  // namespace kel
