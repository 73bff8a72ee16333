#include "capture/hicap/stream_source.h"

#include "capture/picture_convert.h"

#include <algorithm>
#include <cstring>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libswscale/swscale.h>
}

#include "capture/resolution.h"
#include "platform/guarded.h"

namespace kel {

namespace {

using Clock = std::chrono::steady_clock;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

constexpr const char* kNoAnswer = "brak odpowiedzi w wyznaczonym czasie";
// A stream of at most this many pixels a second (640x480 at 5 pictures a second; a camera's
// second stream set for motion detection) is decoded whole when only motion detection asks:
// decoding it costs little, and motion is then looked for twice a second (kSparsePictures), not
// only in key pictures seconds apart, between which a short passage may fall.
constexpr double kFewPixelsASecond = 640.0 * 480 * 5;

// The reasons an operator meets, in the log's words; any other in the library's.
std::string AvError(int code) {
    switch (code) {
    case AVERROR_EXIT:  // our own deadline
    case AVERROR(ETIMEDOUT):
        return kNoAnswer;
    case AVERROR(ECONNREFUSED):
        return "polaczenie odrzucone (nikt nie nasluchuje pod tym adresem)";
    case AVERROR(ECONNRESET):
    case AVERROR(EPIPE):
        return "polaczenie zerwane";
    case AVERROR(EHOSTUNREACH):
    case AVERROR(ENETUNREACH):
        return "adres nieosiagalny";
    case AVERROR(ENOENT):
        return "brak pliku";
    case AVERROR(EACCES):
        return "brak dostepu do pliku";
    case AVERROR_INVALIDDATA:
        return "nieprawidlowe dane";
    case AVERROR_HTTP_UNAUTHORIZED:
        return "odmowa dostepu: zla nazwa uzytkownika lub haslo (HTTP 401)";
    case AVERROR_HTTP_FORBIDDEN:
        return "odmowa dostepu (HTTP 403)";
    case AVERROR_HTTP_NOT_FOUND:
        return "nie ma takiego adresu (HTTP 404)";
    case AVERROR_HTTP_BAD_REQUEST:
    case AVERROR_HTTP_OTHER_4XX:
    case AVERROR_HTTP_SERVER_ERROR:
        return "blad serwera kamery (HTTP)";
    case AVERROR_PROTOCOL_NOT_FOUND:
        return "nieobslugiwany protokol";
    case AVERROR_EOF:
        return "koniec strumienia";
    default:
        break;
    }
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// Ends any blocking libavformat call at the stop or past the deadline.
struct Interrupt {
    std::stop_token stop;
    std::atomic<int64_t> deadline{0};
    static int Check(void* self) {
        auto* i = static_cast<Interrupt*>(self);
        return i->stop.stop_requested() || i->Expired() ? 1 : 0;
    }
    bool Expired() const { return NowNs() > deadline.load(std::memory_order_relaxed); }
    // Why a call failed: a call our deadline cut may come back as any error (a probe cut short
    // reads as invalid data), so the deadline is said first.
    std::string Why(int code) const {
        if (stop.stop_requested())
            return "zatrzymano";
        return Expired() ? kNoAnswer : AvError(code);
    }
    void In(std::chrono::milliseconds d) {
        deadline.store(NowNs() + std::chrono::duration_cast<std::chrono::nanoseconds>(d).count(),
                       std::memory_order_relaxed);
    }
};

// What one connection holds, freed however it ends.
struct Connection {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    ~Connection() {
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }
};

}  // namespace

StreamSource::StreamSource(int channel, MapEntry entry, StreamTiming timing, Report report)
    : channel_(channel), entry_(std::move(entry)), timing_(timing), report_(std::move(report)),
      latest_(av_frame_alloc()), taking_(av_frame_alloc()), scaled_(av_frame_alloc()) {
    main_.entry = entry_;
    if (!entry_.pictures.empty()) {
        main_.role = Role::Packets;
        second_.role = Role::Pictures;
        second_.entry.address = entry_.pictures;
        second_.entry.kind =
            entry_.pictures.find("://") != std::string::npos ? MapEntry::Kind::Network : MapEntry::Kind::File;
        second_.entry.paced = entry_.paced;
    }
}

StreamSource::~StreamSource() {
    Stop();
    MutexLock take(take_mutex_);
    MutexLock lock(mutex_);
    av_frame_free(&latest_);
    av_frame_free(&taking_);
    av_frame_free(&scaled_);
    sws_freeContext(scaler_);
}

void StreamSource::Start() {
    auto failed = [this](const std::string& what) { Say("blad watku kamery: " + what, true); };
    thread_.Start([this](std::stop_token stop) { Run(stop, main_); }, failed);
    if (second_.role == Role::Pictures)
        pictures_thread_.Start([this](std::stop_token stop) { Run(stop, second_); }, failed);
}

void StreamSource::Stop() {
    thread_.Stop();
    pictures_thread_.Stop();
}

void StreamSource::SetSizeMode(int32_t mode) {
    size_mode_.store(std::clamp(mode, 1, 4), std::memory_order_relaxed);
}

void StreamSource::SetControls(const PictureControls& controls) {
    MutexLock lock(mutex_);
    controls_ = controls;
}

uint64_t StreamSource::Sequence() const {
    MutexLock lock(mutex_);
    return sequence_;
}

bool StreamSource::TakeNewer(uint64_t& seen, uint8_t* out) {
    MutexLock take(take_mutex_);
    PictureControls controls;
    {
        MutexLock lock(mutex_);
        if (!latest_ || sequence_ == 0 || sequence_ == seen)
            return false;
        if (!taking_ || av_frame_ref(taking_, latest_) < 0)
            return false;
        seen = sequence_;
        controls = controls_;
    }
    // The conversion runs on the taker's thread, outside the lock the decoding thread takes.
    const int32_t mode = size_mode_.load(std::memory_order_relaxed);
    const PictureSize size = ResolutionSize(mode - 1);
    if (!scaled_ || scaled_->width != size.width || scaled_->height != size.height) {
        av_frame_unref(scaled_);
        scaled_->format = AV_PIX_FMT_YUV420P;
        scaled_->width = size.width;
        scaled_->height = size.height;
        if (av_frame_get_buffer(scaled_, 0) < 0) {
            av_frame_unref(taking_);
            return false;
        }
    }
    scaler_ = sws_getCachedContext(scaler_, taking_->width, taking_->height,
                                   static_cast<AVPixelFormat>(taking_->format), size.width, size.height,
                                   AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!scaler_) {
        av_frame_unref(taking_);
        return false;
    }
    sws_scale(scaler_, taking_->data, taking_->linesize, 0, taking_->height, scaled_->data,
              scaled_->linesize);
    av_frame_unref(taking_);
    I420ToUyvy(scaled_->data[0], scaled_->linesize[0], scaled_->data[1], scaled_->data[2],
               scaled_->linesize[1], size.width, size.height, out, size.width * 2);
    grader_.Apply(out, size.width, size.height, controls);
    taken_.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void StreamSource::SetPacketSink(PacketSink sink) {
    MutexLock lock(sink_mutex_);
    sink_ = std::move(sink);
}

void StreamSource::SetPictureListener(std::function<void()> listener) {
    MutexLock lock(listener_mutex_);
    listener_ = std::move(listener);
}

void StreamSource::Hand(const StreamPacket& packet) {
    MutexLock lock(sink_mutex_);
    if (sink_)
        sink_(channel_, packet);
}

bool StreamSource::HasSignal() const {
    const int64_t now = NowNs();
    auto recent = [&](const std::atomic<int64_t>& last) {
        const int64_t at = last.load(std::memory_order_relaxed);
        return at != 0 &&
               now - at < std::chrono::duration_cast<std::chrono::nanoseconds>(timing_.signalFor).count();
    };
    return recent(last_picture_ns_) && (main_.role != Role::Packets || recent(last_packet_ns_));
}

void StreamSource::Say(const std::string& what, bool error) {
    if (report_)
        report_("Kamera " + std::to_string(channel_ + 1) + ": " + what, error);
}

bool StreamSource::Pause(std::stop_token stop, std::chrono::nanoseconds d) {
    UniqueMutexLock lock(mutex_);
    return !wake_.wait_for(lock, stop, d, [] { return false; }) && !stop.stop_requested();
}

void StreamSource::Publish(AVFrame* frame) {
    {
        MutexLock lock(mutex_);
        av_frame_unref(latest_);
        av_frame_move_ref(latest_, frame);
        ++sequence_;
    }
    last_picture_ns_.store(NowNs(), std::memory_order_relaxed);
    pictures_.fetch_add(1, std::memory_order_relaxed);
    MutexLock lock(listener_mutex_);
    if (listener_)
        listener_();
}

void StreamSource::Run(std::stop_token stop, Link& link) {
    auto retry = timing_.retryFirst;
    while (!stop.stop_requested()) {
        if (Session(stop, link))
            retry = timing_.retryFirst;
        else
            retry = std::min(retry * 2, timing_.retryMax);
        if (!Pause(stop, retry))
            break;
    }
}

bool StreamSource::Session(std::stop_token stop, Link& link) {
    const MapEntry& entry = link.entry;
    const std::string shown =
        entry.kind == MapEntry::Kind::File ? entry.address : StreamMap::Redacted(entry.address);
    bool delivered = false;
    // Reported when the pictures stop, and while they do not come, once for each new reason.
    auto lost = [&](const std::string& why) {
        if (stop.stop_requested())
            return delivered;
        if (link.up)
            Say("utracono obraz z " + shown + ": " + why, true);
        else if (why != link.lastFailure)
            Say("brak obrazu z " + shown + ": " + why, true);
        link.lastFailure = why;
        link.up = false;
        return delivered;
    };
    Interrupt irq;
    irq.stop = stop;
    Connection c;
    c.format = avformat_alloc_context();
    if (!c.format || !c.packet || !c.frame)
        return lost("brak pamieci");
    c.format->interrupt_callback = {&Interrupt::Check, &irq};
    AVDictionary* options = nullptr;
    const std::string readUs = std::to_string(std::chrono::microseconds(timing_.read).count());
    if (entry.address.rfind("rtsp", 0) == 0) {
        av_dict_set(&options, "rtsp_transport", entry.udp ? "udp" : "tcp", 0);
        av_dict_set(&options, "timeout", readUs.c_str(), 0);
    } else if (entry.kind == MapEntry::Kind::Network) {
        av_dict_set(&options, "rw_timeout", readUs.c_str(), 0);
    }
    irq.In(timing_.connect);
    int rc = avformat_open_input(&c.format, entry.address.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (rc < 0)
        return lost(irq.Why(rc));
    if ((rc = avformat_find_stream_info(c.format, nullptr)) < 0)
        return lost(irq.Why(rc));
    const AVCodec* decoder = nullptr;
    const int video = av_find_best_stream(c.format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (video < 0 || !decoder)
        return lost("brak strumienia obrazu");
    AVStream* stream = c.format->streams[video];
    c.codec = avcodec_alloc_context3(decoder);
    if (!c.codec || avcodec_parameters_to_context(c.codec, stream->codecpar) < 0)
        return lost("brak pamieci");
    // One thread a camera, the cameras being the parallelism; but a picture of 4 megapixels and more
    // is decoded by the library's threads, or one core may not keep up with one camera.
    c.codec->thread_count = stream->codecpar->width * stream->codecpar->height >= 2560 * 1440 ? 0 : 1;
    if ((rc = avcodec_open2(c.codec, decoder, nullptr)) < 0)
        return lost("dekoder: " + AvError(rc));
    // The packets go to the recorder as they come; however the session ends, it hears of it.
    const bool hands = link.role != Role::Pictures;
    const StreamPacket format{nullptr, stream->codecpar, stream->time_base.num, stream->time_base.den};
    struct Ended {
        StreamSource* self;
        StreamPacket format;
        bool hands;
        ~Ended() {
            if (hands)
                self->Hand(format);
        }
    } ended{this, format, hands};

    // A file is played at its own pace, in a loop; a live stream comes at the camera's.
    const bool file = entry.kind == MapEntry::Kind::File;
    const bool paced = file && entry.paced;
    int64_t paceStart = 0;
    double paceFirst = -1;
    // Packets that come but give no picture (a stream the decoder cannot read) are no signal
    // either: after the signal time without a picture the session ends and says why.
    const int64_t quietNs = std::chrono::duration_cast<std::chrono::nanoseconds>(timing_.signalFor).count();
    int64_t lastPicture = NowNs();
    std::string decodeError;
    bool resume = false;  // pictures were left undecoded: decoding starts again at a key picture
    // Seconds between pictures, from the packets' stamps, smoothed; 0 before two stamps.
    double interval = 0;
    int64_t lastStamp = AV_NOPTS_VALUE;
    const double pixels = static_cast<double>(stream->codecpar->width) * stream->codecpar->height;
    int64_t lastKeyDecoded = 0;  // steady clock, when only key pictures are decoded
    constexpr int64_t kSparseNs = std::chrono::nanoseconds(kSparsePictures).count();
    for (;;) {
        if (NowNs() - lastPicture > quietNs)
            return lost("strumien nie daje obrazu" +
                        (decodeError.empty() ? "" : " (dekoder: " + decodeError + ")"));
        irq.In(timing_.read);
        rc = av_read_frame(c.format, c.packet);
        if (rc == AVERROR_EOF && file && delivered) {
            av_seek_frame(c.format, video, stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time,
                          AVSEEK_FLAG_BACKWARD);
            avcodec_flush_buffers(c.codec);
            paceFirst = -1;
            if (hands)
                Hand(format);  // the stamps start again: for the recorder a stream of its own
            continue;
        }
        if (rc < 0)
            return lost(irq.Why(rc));
        if (c.packet->stream_index != video) {
            av_packet_unref(c.packet);
            continue;
        }
        // A file is paced by its packets' times, whether they are decoded or not.
        const int64_t stamp = c.packet->dts != AV_NOPTS_VALUE ? c.packet->dts : c.packet->pts;
        if (stamp != AV_NOPTS_VALUE) {
            const double step = lastStamp != AV_NOPTS_VALUE && stamp > lastStamp
                                    ? static_cast<double>(stamp - lastStamp) * av_q2d(stream->time_base)
                                    : 0;
            if (step > 0 && step < 10)  // not a file's loop or a jump in the camera's clock
                interval = interval == 0 ? step : interval + (step - interval) / 8;
            lastStamp = stamp;
        }
        if (paced && stamp != AV_NOPTS_VALUE) {
            const double at = stamp * av_q2d(stream->time_base);
            if (paceFirst < 0 || at < paceFirst) {
                paceFirst = at;
                paceStart = NowNs();
            }
            const int64_t due = paceStart + static_cast<int64_t>((at - paceFirst) * 1e9);
            if (due - NowNs() > 1'000'000'000) {
                paceFirst = -1;  // a jump in the file's times: start the pace again
            } else if (due > NowNs() && !Pause(stop, std::chrono::nanoseconds(due - NowNs()))) {
                av_packet_unref(c.packet);
                return lost("zatrzymano");
            }
        }
        if (hands) {
            StreamPacket handed = format;
            handed.packet = c.packet;
            Hand(handed);
        }
        if (link.role == Role::Packets) {
            // The pictures come from the second stream: these packets are recorded, not decoded.
            lastPicture = NowNs();
            last_packet_ns_.store(lastPicture, std::memory_order_relaxed);
            if (!link.up)
                Say("strumien z " + shown, false);
            link.up = delivered = true;
            link.lastFailure.clear();
            av_packet_unref(c.packet);
            continue;
        }
        PictureDemand demand = delivered ? demand_.load(std::memory_order_relaxed) : PictureDemand::Every;
        if (demand == PictureDemand::Keys && interval > 0 && pixels > 0 &&
            pixels / interval <= kFewPixelsASecond)
            demand = PictureDemand::Every;
        const bool key = (c.packet->flags & AV_PKT_FLAG_KEY) != 0;
        if (demand != PictureDemand::Every || resume) {
            // While pictures are not decoded, the packets keep the signal up.
            lastPicture = NowNs();
            last_picture_ns_.store(lastPicture, std::memory_order_relaxed);
            // Key pictures come seconds apart, but in some streams every picture is one (MJPEG):
            // these are decoded twice a second.
            if (demand == PictureDemand::None || !key ||
                (demand == PictureDemand::Keys && lastKeyDecoded != 0 &&
                 NowNs() - lastKeyDecoded < kSparseNs)) {
                resume = demand != PictureDemand::Every || resume;
                av_packet_unref(c.packet);
                continue;
            }
            // A key picture decoded by itself; every picture again from this one on.
            avcodec_flush_buffers(c.codec);
            lastKeyDecoded = NowNs();
            resume = demand != PictureDemand::Every;
        }
        // A key picture decoded for motion detection alone does without the deblocking filter.
        c.codec->skip_loop_filter = demand == PictureDemand::Keys ? AVDISCARD_ALL : AVDISCARD_DEFAULT;
        rc = avcodec_send_packet(c.codec, c.packet);
        av_packet_unref(c.packet);
        if (rc < 0 && rc != AVERROR(EAGAIN)) {
            decodeError = AvError(rc);
            continue;  // a damaged packet: the next key picture brings the picture back
        }
        if (demand == PictureDemand::Keys)
            avcodec_send_packet(c.codec, nullptr);  // out at once, not after the pictures it waits for
        while (avcodec_receive_frame(c.codec, c.frame) == 0) {
            if (!sws_isSupportedInput(static_cast<AVPixelFormat>(c.frame->format))) {
                av_frame_unref(c.frame);
                return lost("nieobslugiwany format obrazu");
            }
            Publish(c.frame);
            lastPicture = NowNs();
            decodeError.clear();
            if (!link.up)
                Say("obraz z " + shown, false);
            link.up = delivered = true;
            link.lastFailure.clear();
        }
    }
}

}  // namespace kel
