#include "ptz/ptz_pad.h"

#include <utility>

namespace kel {

PtzPad::PtzPad(SerialLine& line, std::function<int()> singleCamera, const std::array<int32_t, 16>& ptzPorts)
    : line_(line), singleCamera_(std::move(singleCamera)), ptzPorts_(ptzPorts) {}

bool PtzPad::Press(int kind) {
    return Send(kind);
}

bool PtzPad::Release() {
    return Send(kPtzStop);
}

bool PtzPad::Send(int kind) {
    int camera = singleCamera_();
    // A camera number outside the table would read past it.
    if (camera < 1 || camera > static_cast<int>(ptzPorts_.size()))
        return false;
    auto telegram = PTZCommand(kind, ptzPorts_[camera - 1]);
    if (!telegram)
        return false;
    return line_.SendData(telegram->data(), telegram->size());
}

}  // namespace kel
