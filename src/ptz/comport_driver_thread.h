#pragma once
// The serial port of the PTZ line over a termios device.
//
// Every port operation runs on the window thread. The only other thread is the poller: while the
// component is active it sleeps `PollingDelay` milliseconds, hands a poll to the window thread
// through the poster it was given, and sleeps again. The poll opens the port when it is closed;
// when that fails it reports kConnectError through the error handler and polling stops (the
// station logs the text; the operator is not told). Polls that were already handed over when
// polling stopped, or when the component died, do nothing.
//
// The port is held exclusively: TIOCEXCL keeps other processes out (root excepted) and an flock on
// the device keeps out every opener that asks for one, root included.
//
// Writes never block the window thread for long: the descriptor is non-blocking and a write that
// the line does not take within `WriteTimeout` milliseconds fails (a line stopped by its handshake
// would otherwise freeze the station).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/periodic_thread.h"
#include "ptz/line_settings.h"
#include "ptz/serial_line.h"

namespace kel {

class TComportDriverThread : public SerialLine {
public:
    // Queues a job to run on the window thread; called from the poller. Must not wait for the
    // window thread (it is joined from there).
    using Poster = std::function<void(std::function<void()>)>;
    // Window thread: a poll could not open the port.
    using ErrorHandler = std::function<void(const std::string& text)>;

    static constexpr const char* kConnectError = "TimerEvent: Could not connect to COM-port !";
    static constexpr const char* kDefaultDevice = "/dev/ttyS0";

    // Created closed and inactive, with the component's defaults: /dev/ttyS0, 9600 baud 8N1, no
    // handshake, buffers of 2048 bytes, read time-outs 1 ms, polls every 500 ms, 1000 ms settling.
    explicit TComportDriverThread(Poster post, ErrorHandler onError = {});
    // Stops polling and closes the port.
    ~TComportDriverThread() override;
    TComportDriverThread(const TComportDriverThread&) = delete;
    TComportDriverThread& operator=(const TComportDriverThread&) = delete;

    // All below: window thread only.

    // Opens and configures the port unless it is open, then waits `SettleDelay`; true when the
    // port is open. False with ErrorText when the device cannot be opened, is no terminal, is held
    // by another opener, or refuses the line settings.
    bool Connect();
    // Closes the port if open. Output still queued gets up to `WriteTimeout` to leave, so a stop
    // telegram written just before is not lost.
    void Disconnect();
    bool Connected() const { return fd_ >= 0; }
    // Writes all `count` bytes or fails (closed port, line error, `WriteTimeout` passed).
    bool SendData(const uint8_t* buffer, size_t count) override;

    // Starts or stops the poller. Activation discards input waiting on an open port. Stopping is
    // a stop request and a join.
    void SetActive(bool active);
    bool Active() const { return active_; }

    // The device can change only while the port is closed (false otherwise).
    bool SetDevice(std::string path);
    // 0..8 name /dev/ttyS0../dev/ttyS8; false for another index or while the port is open.
    bool SetPortIndex(int index);
    const std::string& Device() const { return device_; }

    // Line settings take effect at once on an open port. Each is refused (false, ErrorText, the
    // old value kept) when the line cannot carry it or an open port does not accept it.
    bool SetSpeed(ComSpeed speed);
    bool SetDataBits(int bits);
    bool SetParity(ComParity parity);
    bool SetStopBits(ComStopBits bits);
    bool SetHwHandshake(HwHandshake handshake);
    bool SetSwHandshake(SwHandshake handshake);
    bool SetReadTimeouts(int intervalMs, int totalMultiplierMs, int totalConstantMs);
    const LineSettings& Line() const { return line_; }

    // Kept for the component's interface only: Linux sizes a serial port's buffers itself and
    // offers no per-port setting.
    void SetBufferSizes(int inBytes, int outBytes);
    int InBufferSize() const { return inBufferSize_; }
    int OutBufferSize() const { return outBufferSize_; }

    // A change applies from the poller's next period.
    void SetPollingDelay(int ms) {
        pollingDelay_ = ms < 1 ? 1 : ms;
        poller_.SetPeriod(std::chrono::milliseconds(pollingDelay_));
    }
    int PollingDelay() const { return pollingDelay_; }
    // The pause after configuring a newly opened port, for the line's devices to settle.
    void SetSettleDelay(int ms) { settleDelay_ = ms < 0 ? 0 : ms; }
    int SettleDelay() const { return settleDelay_; }
    void SetWriteTimeout(int ms) { writeTimeout_ = ms < 0 ? 0 : ms; }
    int WriteTimeout() const { return writeTimeout_; }

    const std::string& ErrorText() const { return error_; }

private:
    bool ChangeLine(const LineSettings& next);
    bool Configure(int fd, const LineSettings& s);
    void StopPolling();
    void OnPoll(uint64_t generation);

    // Fixed after construction.
    const Poster post_;
    const ErrorHandler onError_;
    // Expires when the component dies; polls still queued then see it and do nothing.
    std::shared_ptr<void> alive_ = std::make_shared<int>(0);

    // Window thread only.
    int pollingDelay_ = 500;
    std::string device_ = kDefaultDevice;
    LineSettings line_;
    int inBufferSize_ = 2048;
    int outBufferSize_ = 2048;
    int settleDelay_ = 1000;
    int writeTimeout_ = 1000;
    int fd_ = -1;
    bool active_ = false;
    uint64_t generation_ = 0;  // of the current activation; a poll from an older one is stale
    std::string error_;
    PeriodicThread poller_;  // last member: stopped and joined before the others go
};

}  // namespace kel
