#pragma once
// A virtual X screen (Xvfb) for tests that run the real programs in windows. The server chooses a
// free display itself (-displayfd) and names it on its standard output, so parallel tests never
// share or guess a number; the screen counts as up only once it takes a connection. It never resets
// when its last client leaves (-noreset): a reset refuses the next client for a moment.

#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "support/process.h"
#include "support/temp_dir.h"

namespace kel {

class VirtualScreen {
public:
    // Starts Xvfb with one screen of `size` ("1280x1024x24"); its output goes to files in `dir`.
    VirtualScreen(const TempDir& dir, const std::string& size = "1280x1024x24") : dir_(dir) {
        server_ = std::make_unique<Process>(
            "/usr/bin/Xvfb",
            std::vector<std::string>{"-displayfd", "1", "-screen", "0", size, "-nolisten", "tcp", "-noreset"},
            std::vector<std::string>{}, dir.File("xvfb.out"), dir.File("xvfb.err"));
    }
    ~VirtualScreen() {
        if (server_) {
            server_->Signal(SIGTERM);
            server_->Wait(std::chrono::seconds(10));
        }
    }
    VirtualScreen(const VirtualScreen&) = delete;
    VirtualScreen& operator=(const VirtualScreen&) = delete;

    // Waits until the server has named its display and accepts a connection; false (with the
    // server's complaint in Error()) when it does not within `limit`.
    bool WaitReady(std::chrono::seconds limit = std::chrono::seconds(30)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end && server_->Running()) {
            const std::string out = ReadFile(dir_.File("xvfb.out"));
            if (display_.empty() && out.find('\n') != std::string::npos)
                display_ = out.substr(0, out.find('\n')).insert(0, 1, ':');  // the number Xvfb chose
            if (!display_.empty() && Accepts())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    // ":N", once WaitReady has succeeded.
    const std::string& Display() const { return display_; }
    std::string Error() const { return ReadFile(dir_.File("xvfb.err")); }

private:
    bool Accepts() const {
        const std::string path = "/tmp/.X11-unix/X" + display_.substr(1);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        if (fd >= 0)
            ::close(fd);
        return ok;
    }

    const TempDir& dir_;
    std::unique_ptr<Process> server_;
    std::string display_;
};

}  // namespace kel
