#pragma once
// A capture card as the kernel's Video4Linux2 documentation describes one, for the capture's
// tests: inputs with a status, PAL/NTSC, UYVY or only YUYV at sizes up to its largest, up to four
// memory-mapped buffers, the controls with their own ranges, EBUSY for what may not change while
// streaming, EAGAIN when no buffer is filled, and ENODEV for everything once it is unplugged.
// Its pictures are flat: the luma tells the input (16 + 40 x input), so a test sees whose picture
// it got.

#include <linux/videodev2.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/hicap/v4l2_device.h"

namespace kel {

// The card itself, shared by every open of it.
struct FakeCard {
    std::mutex mutex;
    std::string card = "Fake BT878 (4 inputs)";
    int inputs = 4;
    std::vector<uint32_t> status = std::vector<uint32_t>(4, 0);
    bool present = true;
    bool yuyvOnly = false;
    uint32_t maxWidth = 768, maxHeight = 576;
    std::map<uint32_t, v4l2_queryctrl> controls;
    std::map<uint32_t, int32_t> values;  // what was set
    v4l2_std_id standard = 0;
    int opens = 0;
    int inputSwitches = 0;

    FakeCard() {
        auto add = [&](uint32_t id, int32_t min, int32_t max) {
            v4l2_queryctrl q{};
            q.id = id;
            q.minimum = min;
            q.maximum = max;
            q.step = 1;
            controls[id] = q;
        };
        add(V4L2_CID_BRIGHTNESS, 0, 255);
        add(V4L2_CID_CONTRAST, 0, 127);
        add(V4L2_CID_SATURATION, 0, 127);
        add(V4L2_CID_HUE, -128, 127);  // no sharpness: a card without one
    }
    static uint8_t LumaOf(int input) { return static_cast<uint8_t>(16 + 40 * input); }
};

class FakeVideoDevice : public VideoDevice {
public:
    explicit FakeVideoDevice(FakeCard& card) : card_(card) {}

    int Open(const std::string&) override {
        std::lock_guard<std::mutex> lock(card_.mutex);
        if (!card_.present)
            return ENOENT;
        ++card_.opens;
        open_ = true;
        return 0;
    }
    void Close() override { open_ = false; }

    int Ioctl(unsigned long request, void* arg) override {
        std::lock_guard<std::mutex> lock(card_.mutex);
        if (!card_.present)
            return ENODEV;
        if (!open_)
            return EBADF;
        switch (request) {
        case VIDIOC_QUERYCAP: {
            auto* c = static_cast<v4l2_capability*>(arg);
            *c = {};
            std::strncpy(reinterpret_cast<char*>(c->card), card_.card.c_str(), sizeof c->card - 1);
            c->device_caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
            c->capabilities = c->device_caps | V4L2_CAP_DEVICE_CAPS;
            return 0;
        }
        case VIDIOC_ENUMINPUT: {
            auto* in = static_cast<v4l2_input*>(arg);
            if (in->index >= static_cast<uint32_t>(card_.inputs))
                return EINVAL;
            in->type = V4L2_INPUT_TYPE_CAMERA;
            in->std = V4L2_STD_PAL | V4L2_STD_NTSC;
            in->status = card_.status[in->index];
            return 0;
        }
        case VIDIOC_S_INPUT: {
            const int index = *static_cast<int*>(arg);
            if (streaming_)
                return EBUSY;
            if (index < 0 || index >= card_.inputs)
                return EINVAL;
            input_ = index;
            ++card_.inputSwitches;
            return 0;
        }
        case VIDIOC_S_STD:
            card_.standard = *static_cast<v4l2_std_id*>(arg);
            return 0;
        case VIDIOC_S_FMT: {
            if (streaming_ || !buffers_.empty())
                return EBUSY;
            auto* f = static_cast<v4l2_format*>(arg);
            if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
                return EINVAL;
            auto& p = f->fmt.pix;
            if (card_.yuyvOnly || (p.pixelformat != V4L2_PIX_FMT_UYVY && p.pixelformat != V4L2_PIX_FMT_YUYV))
                p.pixelformat = V4L2_PIX_FMT_YUYV;  // the driver offers what it has
            p.width = std::clamp<uint32_t>(p.width, 16, card_.maxWidth) & ~1u;
            p.height = std::clamp<uint32_t>(p.height, 16, card_.maxHeight);
            p.bytesperline = p.width * 2;
            p.sizeimage = p.bytesperline * p.height;
            p.field = V4L2_FIELD_INTERLACED;
            format_ = p;
            return 0;
        }
        case VIDIOC_REQBUFS: {
            auto* r = static_cast<v4l2_requestbuffers*>(arg);
            if (streaming_)
                return EBUSY;
            if (r->memory != V4L2_MEMORY_MMAP)
                return EINVAL;
            queued_.clear();
            filled_.clear();
            r->count = std::min<uint32_t>(r->count, 4);
            buffers_.assign(r->count, std::vector<uint8_t>(format_.sizeimage));
            return 0;
        }
        case VIDIOC_QUERYBUF: {
            auto* b = static_cast<v4l2_buffer*>(arg);
            if (b->index >= buffers_.size())
                return EINVAL;
            b->length = format_.sizeimage;
            b->m.offset = b->index * kStride;
            return 0;
        }
        case VIDIOC_QBUF: {
            auto* b = static_cast<v4l2_buffer*>(arg);
            if (b->index >= buffers_.size() ||
                std::find(queued_.begin(), queued_.end(), b->index) != queued_.end())
                return EINVAL;
            queued_.push_back(b->index);
            return 0;
        }
        case VIDIOC_DQBUF: {
            auto* b = static_cast<v4l2_buffer*>(arg);
            if (!streaming_)
                return EINVAL;
            if (filled_.empty())
                return EAGAIN;
            b->index = filled_.front();
            filled_.pop_front();
            b->bytesused = format_.sizeimage;
            b->sequence = sequence_++;
            b->flags = 0;
            return 0;
        }
        case VIDIOC_STREAMON:
            if (buffers_.empty())
                return EINVAL;
            streaming_ = true;
            return 0;
        case VIDIOC_STREAMOFF:
            streaming_ = false;
            queued_.clear();
            filled_.clear();
            return 0;
        case VIDIOC_QUERYCTRL: {
            auto* q = static_cast<v4l2_queryctrl*>(arg);
            auto it = card_.controls.find(q->id);
            if (it == card_.controls.end())
                return EINVAL;
            *q = it->second;
            return 0;
        }
        case VIDIOC_S_CTRL: {
            auto* c = static_cast<v4l2_control*>(arg);
            auto it = card_.controls.find(c->id);
            if (it == card_.controls.end())
                return EINVAL;
            if (c->value < it->second.minimum || c->value > it->second.maximum)
                return ERANGE;
            card_.values[c->id] = c->value;
            return 0;
        }
        default:
            return ENOTTY;
        }
    }

    void* Map(size_t length, off_t offset) override {
        std::lock_guard<std::mutex> lock(card_.mutex);
        const size_t index = static_cast<size_t>(offset) / kStride;
        if (index >= buffers_.size() || length > buffers_[index].size())
            return nullptr;
        return buffers_[index].data();
    }
    void Unmap(void*, size_t) override {}

    // A picture every 4 ms or so while streaming with a buffer queued.
    int Wait(int ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 4)));
        std::lock_guard<std::mutex> lock(card_.mutex);
        if (!card_.present)
            return -ENODEV;
        if (!streaming_ || queued_.empty())
            return filled_.empty() ? 0 : 1;
        const uint32_t index = queued_.front();
        queued_.pop_front();
        std::vector<uint8_t>& b = buffers_[index];
        const uint8_t y = FakeCard::LumaOf(input_);
        const bool yuyv = format_.pixelformat == V4L2_PIX_FMT_YUYV;
        for (size_t i = 0; i + 3 < b.size(); i += 4) {
            b[i] = yuyv ? y : 128;
            b[i + 1] = yuyv ? 128 : y;
            b[i + 2] = yuyv ? y : 128;
            b[i + 3] = yuyv ? 128 : y;
        }
        filled_.push_back(index);
        return 1;
    }

private:
    static constexpr size_t kStride = 1 << 24;  // the buffers' map offsets, far apart
    FakeCard& card_;
    bool open_ = false;
    bool streaming_ = false;
    int input_ = 0;
    v4l2_pix_format format_{};
    std::vector<std::vector<uint8_t>> buffers_;
    std::deque<uint32_t> queued_, filled_;
    uint32_t sequence_ = 0;
};

}  // namespace kel
