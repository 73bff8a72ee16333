#pragma once
// Records network cameras as they send: each packet of a camera's stream, as its source hands it
// over, goes to the camera's open stream segment ("Temp/Kamera<n>/ddmmyyhhmmss.mp4") while the
// camera is due (the recorder says when: its hour records, continuously or on motion held), with
// the station's moment of its arrival. Nothing is decoded for it, unless the camera has a privacy
// mask: its stream is then compressed again from its masked pictures first (MaskedEncoder).
//
// A segment always starts with a key frame. The packets of the last two groups of pictures are
// kept, so a camera recorded on motion starts its segment at the key frame of the group before
// the one the motion was seen in (decoded at its key pictures, the motion began in that group). A
// segment is closed when the camera stops being due, when it has passed the size limit (at the
// next key frame), when the stream changes (its codec, size or extra data, a new key-frame
// interval that comes twice running, stamps that go back more than a second) and when the stream
// ends; the next one opens at the next key frame. Closed segments go to `closed` for archiving,
// as the AVI segments do.
//
// The file's stamps only grow: a packet stamped like the one before (parameter sets sent apart
// from their picture) is stamped just after it, as ffmpeg's copy does.
//
// Threads: packets come on each camera's source thread; Close and CloseAll from any thread. Each
// camera's state has its own lock.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/hicap/board_backend.h"
#include "platform/clock.h"
#include "platform/guarded.h"
#include "recording/masked_encoder.h"
#include "recording/stream_segment.h"

namespace kel {

class StreamRecorder {
public:
    static constexpr int kCameras = 16;
    // The most a camera's packets since its last key frame may hold; a longer group of pictures
    // is not kept (its segment starts at the next key frame).
    static constexpr size_t kPrerollBytes = 32u << 20;
    // Packets without a time kept until one with a time comes, at most.
    static constexpr size_t kUntimed = 8;

    struct Links {
        // Whether camera n is recorded now (its schedule, motion, the recording switch, a drive).
        std::function<bool(int n)> due;
        // Whether segment n is on motion (the hour's mode when it opens).
        std::function<bool(int n)> onMotion;
        // Whether camera n has a recording of that name already (archived).
        std::function<bool(int n, const std::string& name)> taken;
        // The segment's size limit in bytes.
        std::function<int64_t()> sizeLimit;
        // A closed segment of camera n (`unfinished`: it could not be finished and is mended first).
        std::function<void(int n, const std::string& path, const std::string& name, double start,
                           bool unfinished)>
            closed;
        // A line for the log, and a file that could not be written (its error).
        std::function<void(const std::string& text, bool error)> log;
        std::function<void(const std::string& error)> writeFailed;
    };

    StreamRecorder(std::string workDir, Links links, const Clock& clock = SystemClock::Instance());
    ~StreamRecorder();
    StreamRecorder(const StreamRecorder&) = delete;
    StreamRecorder& operator=(const StreamRecorder&) = delete;

    // Which cameras are recorded as they send (by camera, 1..16; 0 unused). A camera taken off
    // has its segment closed. Any thread.
    void SetCameras(const std::array<bool, kCameras + 1>& asSent);
    bool AsSent(int n) const;

    // Camera n's privacy mask (the 176 x 144 zone grid, 1 for a masked cell; null: none). A masked
    // camera's pictures are compressed again without what the mask hides (MaskedEncoder) before
    // they are recorded; its open segment is closed when its mask changes. Any thread.
    void SetMask(int n, const uint8_t* cells);
    // Camera n's packet (a null packet: its stream ended). The source's thread.
    void Packet(int n, const StreamPacket& packet);
    // Closes camera n's open segment and hands it over. Any thread.
    void Close(int n);
    void CloseAll();
    bool SegmentOpen(int n) const;
    // Packets written to camera n's segments so far.
    int64_t Written(int n) const;

private:
    struct Held {
        AVPacket* packet;
        std::string stamp;
        bool written;  // to the segment open, or the one before
    };
    struct Camera {
        // Taken before `mutex`, by the source's thread for as long as a picture is compressed.
        Mutex encoderMutex;
        std::unique_ptr<MaskedEncoder> encoder KEL_GUARDED_BY(encoderMutex);  // null: no mask
        std::vector<uint8_t> maskCells KEL_GUARDED_BY(encoderMutex);
        bool encoderFailing KEL_GUARDED_BY(encoderMutex) = false;
        mutable Mutex mutex;
        StreamSegment segment KEL_GUARDED_BY(mutex);
        std::string path KEL_GUARDED_BY(mutex);
        std::string name KEL_GUARDED_BY(mutex);
        double start KEL_GUARDED_BY(mutex) = 0;
        AVCodecParameters* params KEL_GUARDED_BY(mutex) = nullptr;  // the stream's, once it came
        int tbNum KEL_GUARDED_BY(mutex) = 0;
        int tbDen KEL_GUARDED_BY(mutex) = 0;
        int64_t lastDts KEL_GUARDED_BY(mutex);   // the last packet's in the file
        int64_t lastSent KEL_GUARDED_BY(mutex);  // the last packet's as the camera stamped it
        // The packets of the last two groups (from the key frame before the last), and where the
        // last group starts among them.
        std::vector<Held> since KEL_GUARDED_BY(mutex);
        size_t groupStart KEL_GUARDED_BY(mutex) = 0;
        std::vector<AVPacket*> untimed KEL_GUARDED_BY(mutex);  // the stream's first, without a time
        size_t sinceBytes KEL_GUARDED_BY(mutex) = 0;
        int64_t sinceKey KEL_GUARDED_BY(mutex) = -1;  // packets since the last key frame; -1: none yet
        int64_t interval KEL_GUARDED_BY(mutex) = 0;   // between key frames, as the camera keeps it
        int64_t candidate KEL_GUARDED_BY(mutex) = 0;  // another one, seen once
        bool createFailed KEL_GUARDED_BY(mutex) = false;
        bool writeFailed KEL_GUARDED_BY(mutex) = false;
        std::atomic<int64_t> written{0};
    };

    // Camera n's packet as the camera sent it, or as its mask's encoder made it.
    void Record(int n, const StreamPacket& packet);
    // One packet (owned: let go here) of camera n, its time known.
    void TakeLocked(int n, Camera& c, const StreamPacket& p, AVPacket* packet) KEL_REQUIRES(c.mutex);
    // The open segment closed and handed over; what is known of the stream stays.
    void CloseLocked(int n, Camera& c) KEL_REQUIRES(c.mutex);
    // What is known of the stream dropped: the next segment waits for a key frame of the new one.
    void Forget(Camera& c) KEL_REQUIRES(c.mutex);
    void DropHeld(Camera& c) KEL_REQUIRES(c.mutex);
    // The first `count` packets held let go.
    void DropBefore(Camera& c, size_t count) KEL_REQUIRES(c.mutex);
    bool OpenLocked(int n, Camera& c) KEL_REQUIRES(c.mutex);
    void WriteLocked(Camera& c, const AVPacket* packet, const std::string& stamp) KEL_REQUIRES(c.mutex);
    // Whether `p` is of another stream than the one recorded.
    static bool Changed(const Camera& c, const StreamPacket& p) KEL_REQUIRES(c.mutex);

    const std::string work_dir_;
    const Links links_;
    const Clock& clock_;
    std::array<std::atomic<bool>, kCameras + 1> as_sent_{};
    std::array<Camera, kCameras + 1> cameras_;
};

}  // namespace kel
