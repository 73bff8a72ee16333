#pragma once
// The map board: each channel fed by the source the map names (stream_map.h), a network camera,
// a file played in a loop, an input of a Video4Linux2 capture device or the simulated board's
// camera, so that an installer brings a site up camera by camera. Channels the map leaves out
// have no signal. A map of capture devices alone is the board `v4l2`: it is found when one of its
// devices opens, and named after them.
//
// It keeps the board's contract: 16 channels, UYVY pictures at each channel's size mode, a
// channel handing out at most its share of its group's 25 pictures a second (and only pictures it
// has not handed out before), the picture controls (applied to the converted pictures), the
// signal state, the same status codes. It has no monitor output of its own: only the simulated
// cameras can be put on it.
//
// The sources run while the board is open; a locked picture lives in the channel's own buffer
// until the unlock, across Open, TransferOff and Close.

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "capture/hicap/board_backend.h"
#include "capture/hicap/sim_board.h"
#include "capture/hicap/stream_map.h"
#include "capture/hicap/stream_source.h"
#include "capture/hicap/v4l2_capture.h"
#include "platform/guarded.h"

namespace kel {

class StreamBoard : public BoardBackend {
public:
    static constexpr const char* kName = "KEL-16 (kamery sieciowe)";
    static constexpr uint8_t kSelector = 0x17;

    // `devices` makes the capture devices (the kernel's by default).
    explicit StreamBoard(StreamMap map, StreamTiming timing = {}, VideoDeviceFactory devices = nullptr,
                         V4l2Timing v4l2Timing = {});
    ~StreamBoard() override;

    uint32_t Search(CArTBDRecord& board) override;
    uint32_t DetailInfo(int32_t index, CArTBDDetail& detail) override;
    uint32_t Open(uint8_t selector, const SizeModes& modes) override;
    uint32_t Init() override;
    bool SetControl(PictureControl control, int32_t channel, int32_t value) override;
    bool SetShares(int32_t group, const GroupShares& shares) override;
    uint32_t TransferOn() override;
    void TransferOff() override;
    void Close() override;
    uint32_t Lock(int32_t channel, uint8_t*& address) override;
    void Unlock(int32_t channel) override;
    std::chrono::steady_clock::time_point NextPicture(int32_t channel) override;
    bool Signal(SignalFlags& flags) override;
    bool TvOut(int32_t channel) override;
    void SetReporter(BoardReporter reporter) override;
    void SetStandard(bool ntsc) override;
    bool SendsStream(int32_t channel) const override;
    void SetPacketSink(PacketSink sink) override;
    void SetPictureListener(PictureListener listener) override;
    void SetPictureDemand(int32_t channel, PictureDemand demand) override;

    // Pictures the channel's source decoded or captured so far (0 for the simulated and unmapped
    // ones).
    uint64_t SourcePictures(int32_t channel) const;

private:
    bool IsSim(int32_t channel) const { return map_.channels[channel].kind == MapEntry::Kind::Sim; }
    // Whether the channel's pictures are wanted only now and then (motion detection, a console
    // not showing it): then they are handed out kSparsePictures apart at the least.
    bool Sparse(int32_t channel) const;
    void Report(const std::string& line, bool error);
    // The channel's source, whatever its kind (not the simulated one).
    bool SourceSignal(int32_t channel) const;
    bool SourceTake(int32_t channel, uint64_t& seen, uint8_t* out);
    // A source published a picture: the listener hears of it if the channel's taker waits for one.
    void PictureCame(int32_t channel);

    struct Channel {
        Mutex mutex;
        bool locked KEL_GUARDED_BY(mutex) = false;
        int64_t lastDue KEL_GUARDED_BY(mutex) = -1;  // of `epoch`
        uint64_t epoch KEL_GUARDED_BY(mutex) = 0;
        uint64_t seen KEL_GUARDED_BY(mutex) = 0;  // the source's last picture handed out
        std::chrono::steady_clock::time_point taken KEL_GUARDED_BY(mutex){};  // when it was
        PictureControls controls KEL_GUARDED_BY(mutex);
        std::unique_ptr<uint8_t[]> buffer;
    };

    // Fixed after construction.
    const StreamMap map_;
    const bool any_sim_;
    std::unique_ptr<SimBoard> sim_;  // the simulated cameras, when the map names any

    Mutex report_mutex_;
    BoardReporter reporter_ KEL_GUARDED_BY(report_mutex_);

    mutable Mutex mutex_;
    bool open_ KEL_GUARDED_BY(mutex_) = false;
    bool transfer_ KEL_GUARDED_BY(mutex_) = false;
    SizeModes modes_ KEL_GUARDED_BY(mutex_){};
    std::array<GroupShares, 2> shares_ KEL_GUARDED_BY(mutex_){};
    std::chrono::steady_clock::time_point start_ KEL_GUARDED_BY(mutex_);
    uint64_t epoch_ KEL_GUARDED_BY(mutex_) = 0;

    std::array<Channel, kBoardChannels> channels_;
    // The taker of a channel owed a picture its source has not decoded yet waits for the next.
    std::array<std::atomic<bool>, kBoardChannels> waiting_{};
    std::atomic<bool> listening_{false};
    Mutex listener_mutex_;
    PictureListener listener_ KEL_GUARDED_BY(listener_mutex_);           // called under the lock
    std::string device_names_ KEL_GUARDED_BY(mutex_);                    // of the capture devices found
    std::array<V4l2Capture*, kBoardChannels> capture_of_{};              // by channel, or null
    std::vector<std::unique_ptr<V4l2Capture>> captures_;                 // one a device
    std::array<std::unique_ptr<StreamSource>, kBoardChannels> sources_;  // last: they stop first
};

}  // namespace kel
