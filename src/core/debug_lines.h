#pragma once
// Where progress lines for the debug window go. The window implements it; lines may be added from
// any thread and reach the window on the window thread.

#include <string_view>

namespace kel {

class DebugLines {
public:
    virtual ~DebugLines() = default;
    virtual void AddLine(std::string_view text) = 0;
};

// For code that runs without a debug window (tests, tools).
class NoDebugLines : public DebugLines {
public:
    void AddLine(std::string_view) override {}
};

}  // namespace kel
