#include "capture/hicap/v4l2_capture.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/videodev2.h>
#include <utility>

extern "C" {
#include <libswscale/swscale.h>
}

#include "capture/resolution.h"
#include "platform/guarded.h"

namespace kel {

namespace {

constexpr uint32_t kNoSignalBits =
    V4L2_IN_ST_NO_POWER | V4L2_IN_ST_NO_SIGNAL | V4L2_IN_ST_NO_SYNC | V4L2_IN_ST_NO_H_LOCK;
constexpr uint32_t kBuffers = 4;

std::string Errno(int code) {
    return std::strerror(code);
}

// A control of ours (with its range) onto the device's range.
int32_t Scaled(int32_t value, int32_t from, int32_t to, const v4l2_queryctrl& q) {
    const int64_t span = static_cast<int64_t>(q.maximum) - q.minimum;
    int64_t v = q.minimum + (static_cast<int64_t>(std::clamp(value, from, to)) - from) * span / (to - from);
    if (q.step > 1)
        v = q.minimum + (v - q.minimum) / q.step * q.step;
    return static_cast<int32_t>(v);
}

}  // namespace

V4l2Capture::V4l2Capture(std::string path, std::vector<Camera> cameras, V4l2Timing timing,
                         VideoDeviceFactory factory, Report report)
    : path_(std::move(path)), timing_(timing), factory_(std::move(factory)), report_(std::move(report)),
      work_(kMaxFrameBytes) {
    for (const Camera& c : cameras) {
        auto slot = std::make_unique<Slot>();
        slot->camera = c;
        slot->locked.latest.resize(kMaxFrameBytes);
        slots_.push_back(std::move(slot));
    }
}

V4l2Capture::~V4l2Capture() {
    Stop();
    sws_freeContext(sws_);
}

void V4l2Capture::Say(const std::string& what, bool error) {
    if (!report_)
        return;
    std::string cameras;
    for (const auto& s : slots_)
        cameras += (cameras.empty() ? "" : ", ") + std::to_string(s->camera.channel + 1);
    report_((slots_.size() == 1 ? "Kamera " : "Kamery ") + cameras + " (" + path_ + "): " + what, error);
}

bool V4l2Capture::Probe(std::string& name) {
    std::unique_ptr<VideoDevice> d = factory_();
    if (d->Open(path_) != 0)
        return false;
    v4l2_capability cap{};
    const bool ok = d->Ioctl(VIDIOC_QUERYCAP, &cap) == 0;
    const uint32_t caps = cap.capabilities & V4L2_CAP_DEVICE_CAPS ? cap.device_caps : cap.capabilities;
    d->Close();
    if (!ok || !(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING))
        return false;
    name.assign(reinterpret_cast<const char*>(cap.card),
                strnlen(reinterpret_cast<const char*>(cap.card), sizeof cap.card));
    return true;
}

void V4l2Capture::Start() {
    thread_.Start([this](std::stop_token stop) { Run(stop); },
                  [this](const std::string& what) { Say("blad watku karty: " + what, true); });
}

void V4l2Capture::Stop() {
    thread_.Stop();
}

bool V4l2Capture::Serves(int channel) const {
    return std::any_of(slots_.begin(), slots_.end(),
                       [&](const auto& s) { return s->camera.channel == channel; });
}

void V4l2Capture::SetSizeMode(int channel, int32_t mode) {
    for (auto& s : slots_)
        if (s->camera.channel == channel)
            s->sizeMode.store(std::clamp(mode, 1, 4), std::memory_order_relaxed);
}

void V4l2Capture::SetControls(int channel, const PictureControls& controls) {
    MutexLock lock(mutex_);
    for (auto& s : slots_)
        if (s->camera.channel == channel) {
            Locked(*s).controls = controls;
            Locked(*s).controlsChanged = true;
        }
}

void V4l2Capture::SetShare(int channel, int32_t share) {
    for (auto& s : slots_)
        if (s->camera.channel == channel)
            s->share.store(std::max(0, share), std::memory_order_relaxed);
}

bool V4l2Capture::TakeNewer(int channel, uint64_t& seen, uint8_t* out) {
    MutexLock lock(mutex_);
    for (auto& s : slots_)
        if (s->camera.channel == channel) {
            if (Locked(*s).sequence == 0 || Locked(*s).sequence == seen)
                return false;
            std::memcpy(out, Locked(*s).latest.data(),
                        ResolutionBytes(s->sizeMode.load(std::memory_order_relaxed) - 1));
            seen = Locked(*s).sequence;
            return true;
        }
    return false;
}

bool V4l2Capture::HasSignal(int channel) const {
    for (const auto& s : slots_)
        if (s->camera.channel == channel)
            return s->signal.load(std::memory_order_relaxed);
    return false;
}

uint64_t V4l2Capture::Pictures(int channel) const {
    for (const auto& s : slots_)
        if (s->camera.channel == channel)
            return s->pictures.load(std::memory_order_relaxed);
    return 0;
}

bool V4l2Capture::Pause(std::stop_token stop, std::chrono::milliseconds d) {
    UniqueMutexLock lock(mutex_);
    return !wake_.wait_for(lock, stop, d, [] { return false; }) && !stop.stop_requested();
}

// Smooth weighted turns: each camera earns its share, the richest goes and pays the total.
int V4l2Capture::NextTurn() {
    int64_t total = 0;
    int best = -1;
    for (size_t i = 0; i < slots_.size(); ++i) {
        Slot& s = *slots_[i];
        const int32_t share = s.share.load(std::memory_order_relaxed);
        if (share <= 0)
            continue;
        total += share;
        s.credit += share;
        if (best < 0 || s.credit > slots_[best]->credit)
            best = static_cast<int>(i);
    }
    if (best >= 0)
        slots_[best]->credit -= total;
    return best;
}

void V4l2Capture::Run(std::stop_token stop) {
    stop_ = stop;
    auto retry = timing_.retryFirst;
    while (!stop.stop_requested()) {
        if (!device_ && !OpenDevice()) {
            if (!Pause(stop, retry))
                break;
            retry = std::min(retry * 2, timing_.retryMax);
            continue;
        }
        const int turn = NextTurn();
        if (turn < 0) {
            StopStream();
            if (!Pause(stop, std::chrono::milliseconds(100)))
                break;
            continue;
        }
        Slot& slot = *slots_[turn];
        std::string why;
        bool gone = false;
        bool ok = true;
        const PictureSize size = ResolutionSize(slot.sizeMode.load(std::memory_order_relaxed) - 1);
        if (!streaming_ || streaming_input_ != slot.camera.input || size.width != wanted_width_ ||
            size.height != wanted_height_) {
            StopStream();
            ok = StartStream(slot, why, gone);
            for (int i = 0; ok && i < timing_.settlePictures; ++i)
                ok = Grab(slot, false, why, gone);
        }
        ApplyControls(slot, gone);
        if (ok)
            ok = Grab(slot, true, why, gone);
        if (ok) {
            retry = timing_.retryFirst;
            if (reported_down_)
                Say("obraz z wejscia " + std::to_string(slot.camera.input), false);
            reported_down_ = false;
            last_failure_.clear();
            continue;
        }
        slot.signal.store(false, std::memory_order_relaxed);
        if (why != last_failure_ && !stop.stop_requested())
            Say((gone ? "utracono urzadzenie: " : "brak obrazu: ") + why, true);
        last_failure_ = why;
        reported_down_ = true;
        if (gone) {
            CloseDevice();
            if (!Pause(stop, retry))
                break;
            retry = std::min(retry * 2, timing_.retryMax);
        } else if (slots_.size() == 1) {
            StopStream();  // a silent input: try it again after a pause
            if (!Pause(stop, retry))
                break;
            retry = std::min(retry * 2, timing_.retryMax);
        }
    }
    CloseDevice();
}

bool V4l2Capture::OpenDevice() {
    auto device = factory_();
    std::string why;
    if (int rc = device->Open(path_); rc != 0) {
        why = Errno(rc);
    } else {
        v4l2_capability cap{};
        const int q = device->Ioctl(VIDIOC_QUERYCAP, &cap);
        const uint32_t caps = cap.capabilities & V4L2_CAP_DEVICE_CAPS ? cap.device_caps : cap.capabilities;
        if (q != 0)
            why = Errno(q);
        else if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING))
            why = "to nie jest urzadzenie do przechwytywania obrazu";
    }
    if (!why.empty()) {
        if (why != last_failure_)
            Say("brak urzadzenia: " + why, true);
        last_failure_ = why;
        reported_down_ = true;
        for (auto& s : slots_)
            s->signal.store(false, std::memory_order_relaxed);
        return false;
    }
    device_ = std::move(device);
    {
        MutexLock lock(mutex_);
        for (auto& s : slots_)
            Locked(*s).controlsChanged = true;  // a device opened again has its controls as it starts
    }
    return true;
}

void V4l2Capture::CloseDevice() {
    if (!device_)
        return;
    StopStream();
    device_->Close();
    device_.reset();
    for (auto& s : slots_)
        s->signal.store(false, std::memory_order_relaxed);
}

bool V4l2Capture::StartStream(Slot& slot, std::string& why, bool& gone) {
    auto failed = [&](const std::string& what, int rc) {
        why = what + ": " + Errno(rc);
        gone = rc == ENODEV;
        StopStream();
        return false;
    };
    int input = slot.camera.input;
    if (int rc = device_->Ioctl(VIDIOC_S_INPUT, &input))
        return failed("wejscie " + std::to_string(slot.camera.input), rc);
    v4l2_std_id standard = ntsc_.load(std::memory_order_relaxed) ? V4L2_STD_NTSC : V4L2_STD_PAL;
    if (int rc = device_->Ioctl(VIDIOC_S_STD, &standard); rc == ENODEV)
        return failed("norma", rc);  // a device without standards (a camera, not a card) says ENOTTY
    const PictureSize size = ResolutionSize(slot.sizeMode.load(std::memory_order_relaxed) - 1);
    v4l2_format f{};
    for (uint32_t format : {V4L2_PIX_FMT_UYVY, V4L2_PIX_FMT_YUYV}) {
        f = {};
        f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        f.fmt.pix.width = static_cast<uint32_t>(size.width);
        f.fmt.pix.height = static_cast<uint32_t>(size.height);
        f.fmt.pix.pixelformat = format;
        f.fmt.pix.field = V4L2_FIELD_ANY;
        if (int rc = device_->Ioctl(VIDIOC_S_FMT, &f); rc != 0 && rc != EINVAL)
            return failed("format", rc);
        if (f.fmt.pix.pixelformat == format)
            break;
    }
    if (f.fmt.pix.pixelformat != V4L2_PIX_FMT_UYVY && f.fmt.pix.pixelformat != V4L2_PIX_FMT_YUYV) {
        why = "urzadzenie nie daje obrazu UYVY ani YUYV";
        return false;
    }
    if (f.fmt.pix.width == 0 || f.fmt.pix.height == 0 || f.fmt.pix.width > 4096 || f.fmt.pix.height > 4096) {
        why = "niewlasciwy rozmiar obrazu";
        return false;
    }
    pixel_format_ = f.fmt.pix.pixelformat;
    width_ = static_cast<int>(f.fmt.pix.width);
    height_ = static_cast<int>(f.fmt.pix.height);
    bytes_per_line_ = std::max<uint32_t>(f.fmt.pix.bytesperline, f.fmt.pix.width * 2);
    v4l2_requestbuffers request{};
    request.count = kBuffers;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (int rc = device_->Ioctl(VIDIOC_REQBUFS, &request))
        return failed("bufory", rc);
    if (request.count < 2) {
        why = "za malo buforow";
        StopStream();
        return false;
    }
    streaming_ = true;  // from here StopStream gives the buffers back
    for (uint32_t i = 0; i < request.count; ++i) {
        v4l2_buffer b{};
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        b.index = i;
        if (int rc = device_->Ioctl(VIDIOC_QUERYBUF, &b))
            return failed("bufor", rc);
        void* address = device_->Map(b.length, static_cast<off_t>(b.m.offset));
        if (!address) {
            why = "nie mozna odwzorowac bufora";
            StopStream();
            return false;
        }
        buffers_.push_back({address, b.length});
        if (int rc = device_->Ioctl(VIDIOC_QBUF, &b))
            return failed("bufor", rc);
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (int rc = device_->Ioctl(VIDIOC_STREAMON, &type))
        return failed("start", rc);
    streaming_input_ = slot.camera.input;
    wanted_width_ = size.width;
    wanted_height_ = size.height;
    {
        MutexLock lock(mutex_);
        Locked(slot).controlsChanged = true;  // the input's own settings
    }
    if (!InputHasSignal(slot.camera.input)) {
        why = "brak sygnalu na wejsciu " + std::to_string(slot.camera.input);
        return false;
    }
    return true;
}

void V4l2Capture::StopStream() {
    if (!device_ || !streaming_)
        return;
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    device_->Ioctl(VIDIOC_STREAMOFF, &type);
    for (const Buffer& b : buffers_)
        device_->Unmap(b.address, b.length);
    buffers_.clear();
    v4l2_requestbuffers none{};
    none.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    none.memory = V4L2_MEMORY_MMAP;
    device_->Ioctl(VIDIOC_REQBUFS, &none);
    streaming_ = false;
    streaming_input_ = -1;
}

bool V4l2Capture::InputHasSignal(int input) {
    v4l2_input in{};
    in.index = static_cast<uint32_t>(input);
    if (device_->Ioctl(VIDIOC_ENUMINPUT, &in) != 0)
        return true;  // a device that does not say is taken at its pictures
    return (in.status & kNoSignalBits) == 0;
}

void V4l2Capture::ApplyControls(Slot& slot, bool& gone) {
    PictureControls c;
    {
        MutexLock lock(mutex_);
        if (!Locked(slot).controlsChanged || !device_)
            return;
        c = Locked(slot).controls;
        Locked(slot).controlsChanged = false;
    }
    const struct {
        uint32_t id;
        int32_t value, from, to;
    } controls[] = {
        {V4L2_CID_BRIGHTNESS, c.brightness, -128, 128},
        {V4L2_CID_CONTRAST, c.contrast, 0, 255},
        {V4L2_CID_SATURATION, (c.saturationU + c.saturationV) / 2, 0, 255},
        {V4L2_CID_HUE, c.hue, -128, 127},
        {V4L2_CID_SHARPNESS, c.sharpness, 0, 255},
    };
    for (const auto& k : controls) {
        v4l2_queryctrl q{};
        q.id = k.id;
        if (int rc = device_->Ioctl(VIDIOC_QUERYCTRL, &q); rc != 0) {
            gone = gone || rc == ENODEV;
            continue;  // the device has no such control
        }
        if (q.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY) || q.maximum <= q.minimum)
            continue;
        v4l2_control set{k.id, Scaled(k.value, k.from, k.to, q)};
        device_->Ioctl(VIDIOC_S_CTRL, &set);
    }
}

bool V4l2Capture::Grab(Slot& slot, bool keep, std::string& why, bool& gone) {
    const auto end = std::chrono::steady_clock::now() + timing_.read;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now())
                .count();
        if (left <= 0) {
            why = "brak obrazu przez " + std::to_string(timing_.read.count()) + " ms";
            return false;
        }
        if (stop_.stop_requested()) {
            why = "zatrzymano";
            return false;
        }
        const int r =
            device_->Wait(static_cast<int>(std::min<int64_t>(left, 100)));  // a stop waits no longer
        if (r < 0) {
            why = Errno(-r);
            gone = -r == ENODEV;
            return false;
        }
        if (r == 0)
            continue;
        v4l2_buffer b{};
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        const int rc = device_->Ioctl(VIDIOC_DQBUF, &b);
        if (rc == EAGAIN)
            continue;
        if (rc != 0) {
            why = Errno(rc);
            gone = rc == ENODEV;
            return false;
        }
        const bool whole = b.index < buffers_.size() && !(b.flags & V4L2_BUF_FLAG_ERROR) &&
                           b.bytesused >= bytes_per_line_ * static_cast<uint32_t>(height_ - 1) + width_ * 2 &&
                           b.bytesused <= buffers_[b.index].length;
        if (keep && whole)
            Keep(slot, static_cast<const uint8_t*>(buffers_[b.index].address));
        if (int again = device_->Ioctl(VIDIOC_QBUF, &b); again != 0) {
            why = Errno(again);
            gone = again == ENODEV;
            return false;
        }
        if (!keep || whole)
            return true;
    }
}

void V4l2Capture::Keep(Slot& slot, const uint8_t* picture) {
    const int32_t mode = slot.sizeMode.load(std::memory_order_relaxed);
    const PictureSize size = ResolutionSize(mode - 1);
    if (pixel_format_ == V4L2_PIX_FMT_UYVY && width_ == size.width && height_ == size.height &&
        bytes_per_line_ == static_cast<uint32_t>(size.width * 2)) {
        std::memcpy(work_.data(), picture, ResolutionBytes(mode - 1));
    } else {
        sws_ = sws_getCachedContext(
            sws_, width_, height_,
            pixel_format_ == V4L2_PIX_FMT_UYVY ? AV_PIX_FMT_UYVY422 : AV_PIX_FMT_YUYV422, size.width,
            size.height, AV_PIX_FMT_UYVY422, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!sws_)
            return;
        const uint8_t* src[4] = {picture, nullptr, nullptr, nullptr};
        const int srcStride[4] = {static_cast<int>(bytes_per_line_), 0, 0, 0};
        uint8_t* dst[4] = {work_.data(), nullptr, nullptr, nullptr};
        const int dstStride[4] = {size.width * 2, 0, 0, 0};
        sws_scale(sws_, src, srcStride, 0, height_, dst, dstStride);
    }
    {
        MutexLock lock(mutex_);
        std::memcpy(Locked(slot).latest.data(), work_.data(), ResolutionBytes(mode - 1));
        ++Locked(slot).sequence;
    }
    slot.signal.store(true, std::memory_order_relaxed);
    slot.pictures.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace kel
