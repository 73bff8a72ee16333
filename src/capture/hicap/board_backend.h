#pragma once
// What a capture board back end implements: the board library's operations, with the arguments
// already checked by the library's entry points (hicap.h): channels 0..15, groups 0..1, records
// and outputs present. Every operation may be called from any thread; a back end guards its own
// state.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct AVCodecParameters;
struct AVPacket;

namespace kel {

// Status of the `_dw_` operations: 0 is success.
enum HicapStatus : uint32_t {
    kHicapOk = 0,
    kHicapNotReady = 1,     // the board is not open, or its transfer is off
    kHicapNoPicture = 2,    // no picture since the channel's last lock
    kHicapNoSignal = 3,     // nothing on the channel's input
    kHicapBusy = 4,         // the channel is locked already
    kHicapBadArgument = 5,  // a value the board does not know
    kHicapNoBackend = 6,    // no back end loaded
    kHicapNoBoard = 31,
    kHicapDriverOpen = 32,
    kHicapDriverVersion = 33,
};

constexpr int kBoardChannels = 16;
constexpr int kGroupChannels = 8;
constexpr uint32_t kFourccUYVY = 'U' | ('Y' << 8) | ('V' << 16) | (static_cast<uint32_t>('Y') << 24);

#pragma pack(push, 1)
// Filled by the search.
struct CArTBDRecord {
    uint32_t Boards;
    uint8_t Reserved[60];
};

// Filled by the detail query; Selector is what BoardOpen wants back.
struct CArTBDDetail {
    char Name[64];  // NUL-terminated UTF-8
    uint32_t Channels;
    uint8_t Reserved[472];
    uint8_t Selector;
    uint8_t Tail[483];
};
#pragma pack(pop)

static_assert(offsetof(CArTBDDetail, Selector) == 540);
static_assert(sizeof(CArTBDDetail) == 1024);

enum class PictureControl { Brightness, Contrast, Sharpness, SaturationU, SaturationV, Hue };

using SizeModes = std::array<int32_t, kBoardChannels>;
using GroupShares = std::array<int32_t, kGroupChannels>;
using SignalFlags = std::array<int32_t, kBoardChannels>;

// Where a back end tells what happens to its sources (a camera lost, found again); any thread.
using BoardReporter = std::function<void(const std::string& line, bool error)>;

// A packet of a camera's compressed stream as it came from the camera, before any decoding, with
// what it takes to record it: the stream's parameters and the time base of its stamps. `packet`
// is null when the stream ended (lost, or its source stopped).
struct StreamPacket {
    const AVPacket* packet = nullptr;
    const AVCodecParameters* params = nullptr;
    int timeBaseNum = 1;
    int timeBaseDen = 1;
};
// Where a back end hands its cameras' packets, on the source's own thread.
using PacketSink = std::function<void(int32_t channel, const StreamPacket& packet)>;
// Told, on the source's own thread, that a channel has a new picture to take.
using PictureListener = std::function<void(int32_t channel)>;

// Which of its pictures a camera sending a stream of its own must decode: every one (somebody
// watches it, or it is compressed again), its key pictures only (motion detection), or none (it
// is recorded as it sends and nobody looks). A camera decodes its first picture whatever it is told.
enum class PictureDemand : uint8_t { Every, Keys, None };
// While a camera is asked for its key pictures only, it is looked at twice a second at most:
// neither decoded nor handed out more often, however many come.
constexpr std::chrono::milliseconds kSparsePictures{500};

class BoardBackend {
public:
    virtual ~BoardBackend() = default;

    virtual uint32_t Search(CArTBDRecord& board) = 0;
    virtual uint32_t DetailInfo(int32_t index, CArTBDDetail& detail) = 0;
    // Opening an open board sets it up again with the new size modes (1..4 per channel).
    virtual uint32_t Open(uint8_t selector, const SizeModes& modes) = 0;
    virtual uint32_t Init() = 0;
    // Applies to the channel's next pictures.
    virtual bool SetControl(PictureControl control, int32_t channel, int32_t value) = 0;
    // Splits the group's capture time between its channels (channel = 2 x index + group).
    virtual bool SetShares(int32_t group, const GroupShares& shares) = 0;
    virtual uint32_t TransferOn() = 0;
    virtual void TransferOff() = 0;
    virtual void Close() = 0;
    // On kHicapOk `address` holds the channel's picture until Unlock; the back end keeps it whole
    // and readable until then, even across Open, TransferOff and Close.
    virtual uint32_t Lock(int32_t channel, uint8_t*& address) = 0;
    virtual void Unlock(int32_t channel) = 0;
    // The moment a lock of the channel may next hand out a picture it has not handed out, so that
    // a capture thread sleeps until then instead of asking again and again. A back end that cannot
    // tell says: soon.
    virtual std::chrono::steady_clock::time_point NextPicture(int32_t /*channel*/) {
        return std::chrono::steady_clock::now() + std::chrono::milliseconds(10);
    }
    virtual bool Signal(SignalFlags& flags) = 0;
    virtual bool TvOut(int32_t channel) = 0;
    // Back ends with something to tell keep the reporter; null stops the reports.
    virtual void SetReporter(BoardReporter) {}
    // The video standard of analogue inputs (PAL, or NTSC), for the next Open.
    virtual void SetStandard(bool /*ntsc*/) {}
    // Whether the channel's camera sends a compressed stream of its own (a network camera, a file),
    // which can be recorded as it comes.
    virtual bool SendsStream(int32_t /*channel*/) const { return false; }
    // Every such camera's packets go to `sink` from now on; null stops them.
    virtual void SetPacketSink(PacketSink /*sink*/) {}
    // What such a camera decodes from now on (every picture until told).
    virtual void SetPictureDemand(int32_t /*channel*/, PictureDemand /*demand*/) {}
    // Each new picture of such a camera is told to `listener` as it is decoded, so that a capture
    // thread waiting for it wakes then instead of asking again and again; null stops it. Once this
    // returns, the listener it replaced is not called again.
    virtual void SetPictureListener(PictureListener /*listener*/) {}
};

}  // namespace kel
