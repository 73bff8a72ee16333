#pragma once
// The system's alert sound, heard when a camera starts seeing motion. The toolkit's implementation
// lives with the windows and runs on the window thread; code without a screen uses NoBeeper.

namespace kel {

class Beeper {
public:
    virtual ~Beeper() = default;
    // Window thread only.
    virtual void Beep() = 0;
};

class NoBeeper : public Beeper {
public:
    void Beep() override {}
};

}  // namespace kel
