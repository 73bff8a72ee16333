#include "ptz/ptz_pad.h"

#include <utility>

namespace kel {

PtzPad::PtzPad(SerialLine& line, std::function<int()> singleCamera,
               std::function<int32_t(int camera)> address)
    : line_(line), singleCamera_(std::move(singleCamera)), address_(std::move(address)) {}

bool PtzPad::Press(int kind) {
    return Send(kind);
}

bool PtzPad::Release() {
    return Send(kPtzStop);
}

bool PtzPad::Send(int kind) {
    int camera = singleCamera_();
    // A camera number outside the table would read past it.
    if (camera < 1 || camera > 16)
        return false;
    auto telegram = PTZCommand(kind, address_(camera));
    if (!telegram)
        return false;
    return line_.SendData(telegram->data(), telegram->size());
}

}  // namespace kel
