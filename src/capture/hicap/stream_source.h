#pragma once
// One camera of the map board that is not the simulated one: a network stream (RTSP over TCP or
// UDP, HTTP MJPEG) or a file played in a loop, read on a thread of its own. It opens the source
// with libavformat, decodes with libavcodec and keeps the newest decoded picture. Only a picture
// the board takes is converted, on the taker's thread: scaled by libswscale to YUV 4:2:0 at the
// channel's size (the library's fastest path), packed as UYVY and given the picture controls. The
// pictures the board's share leaves out cost their decoding alone. A slow or silent camera holds up
// only its own thread.
//
// What is decoded follows the demand: every picture, key pictures alone (each decoded by itself),
// or none; the packets go to the recorder whatever it is, and while they come the camera has its
// signal. The first picture of a connection is always decoded.
//
// A camera with a second stream for its pictures (the map's "pictures=") has two connections, each
// on its own thread: the main stream's packets go to the recorder undecoded, the second stream is
// decoded as the demand says. The camera has its signal while both come.
//
// Every wait is bounded: opening and each read end after their time-outs, and a stop ends them at
// once. A source that fails or falls silent has no signal and is opened again after a pause that
// doubles up to a limit. What happens is reported once per change (connected, lost), with the
// password taken out of the address.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "capture/hicap/board_backend.h"
#include "capture/hicap/picture_grader.h"
#include "capture/hicap/stream_map.h"
#include "platform/guarded.h"
#include "platform/worker_thread.h"

struct AVFrame;
struct SwsContext;

namespace kel {

struct StreamTiming {
    std::chrono::milliseconds connect{5000};  // opening, up to the first picture's headers
    std::chrono::milliseconds read{5000};     // any one read
    std::chrono::milliseconds retryFirst{500};
    std::chrono::milliseconds retryMax{8000};
    std::chrono::milliseconds signalFor{3000};  // a picture keeps the signal up this long
};

class StreamSource {
public:
    using Report = BoardReporter;

    StreamSource(int channel, MapEntry entry, StreamTiming timing, Report report);
    ~StreamSource();
    StreamSource(const StreamSource&) = delete;
    StreamSource& operator=(const StreamSource&) = delete;

    // Starts the thread unless it runs.
    void Start();
    // Ends the thread; returns once it has ended.
    void Stop();

    // The size mode (1..4) and controls for the pictures converted from now on.
    void SetSizeMode(int32_t mode);
    void SetControls(const PictureControls& controls);

    // Converts the newest picture into `out` (room for the largest picture) when it is newer than
    // `seen`, which it then names; false when there is none newer. One taker at a time.
    bool TakeNewer(uint64_t& seen, uint8_t* out);
    // Whether a picture came within the signal time.
    bool HasSignal() const;
    // Each packet of the camera's video stream goes to `sink` as it comes, before it is decoded,
    // and a null packet when the stream ends; null stops them. Any thread; once it returns, the
    // sink it replaced is not called again.
    void SetPacketSink(PacketSink sink);
    // Called on the decoding thread after each picture it publishes; null stops it. Any thread;
    // once it returns, the listener it replaced is not called again.
    void SetPictureListener(std::function<void()> listener);
    // Which pictures are decoded from now on. Any thread.
    void SetDemand(PictureDemand demand) { demand_.store(demand, std::memory_order_relaxed); }
    PictureDemand Demand() const { return demand_.load(std::memory_order_relaxed); }
    // Pictures decoded so far, and taken (converted) so far.
    uint64_t Pictures() const { return pictures_.load(std::memory_order_relaxed); }
    // The newest picture's number, as TakeNewer counts them.
    uint64_t Sequence() const;
    uint64_t Taken() const { return taken_.load(std::memory_order_relaxed); }

private:
    // What a connection does: the only stream gives packets and pictures; with a second stream,
    // the main one gives the packets and the second the pictures.
    enum class Role { Whole, Packets, Pictures };
    struct Link {
        MapEntry entry;  // fixed after construction
        Role role = Role::Whole;
        // The link's thread's own.
        bool up = false;          // it delivers (as last reported)
        std::string lastFailure;  // reported already while down
    };
    void Run(std::stop_token stop, Link& link);
    // One connection, until it fails or the stop; true when it delivered.
    bool Session(std::stop_token stop, Link& link);
    // The decoded frame becomes the newest picture (its reference is moved, not its bytes).
    void Publish(AVFrame* frame);
    // Sleeps up to `d`; false when stopped meanwhile.
    bool Pause(std::stop_token stop, std::chrono::nanoseconds d);
    void Say(const std::string& what, bool error);
    // The packet to the sink, if there is one.
    void Hand(const StreamPacket& packet);

    // Fixed after construction.
    const int channel_;
    const MapEntry entry_;
    const StreamTiming timing_;
    const Report report_;

    std::atomic<int32_t> size_mode_{3};
    std::atomic<int64_t> last_picture_ns_{0};  // steady clock; 0 before any
    std::atomic<int64_t> last_packet_ns_{0};   // the main stream's, when pictures come from a second
    std::atomic<uint64_t> pictures_{0};
    std::atomic<uint64_t> taken_{0};
    std::atomic<PictureDemand> demand_{PictureDemand::Every};

    mutable Mutex mutex_;
    PictureControls controls_ KEL_GUARDED_BY(mutex_){0, 128, 0, 128, 128, 0};
    AVFrame* latest_ KEL_GUARDED_BY(mutex_);  // a reference to the newest decoded picture
    uint64_t sequence_ KEL_GUARDED_BY(mutex_) = 0;
    std::condition_variable_any wake_;  // for the pauses
    Mutex sink_mutex_;
    PacketSink sink_ KEL_GUARDED_BY(sink_mutex_);  // called under the lock
    Mutex listener_mutex_;
    std::function<void()> listener_ KEL_GUARDED_BY(listener_mutex_);  // called under the lock

    // The taker's: the picture being converted, the converter and the controls' tables.
    Mutex take_mutex_;
    AVFrame* taking_ KEL_GUARDED_BY(take_mutex_);
    AVFrame* scaled_ KEL_GUARDED_BY(take_mutex_);  // 4:2:0 at the channel's size
    SwsContext* scaler_ KEL_GUARDED_BY(take_mutex_) = nullptr;
    PictureGrader grader_ KEL_GUARDED_BY(take_mutex_);

    Link main_;
    Link second_;  // used with a second stream only

    // Last: they end before the members they use go.
    WorkerThread thread_;           // the main stream's
    WorkerThread pictures_thread_;  // the second stream's
};

}  // namespace kel
