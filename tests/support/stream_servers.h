#pragma once
// Camera-like servers on loopback for tests of the map board (tests/capture/stream_servers.py):
// a free port to put one on, and the server started and ready.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/free_port.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace kel {

// One of stream_servers.py's servers, ready to serve; stopped when it goes.
class Server {
public:
    Server(const TempDir& dir, std::vector<std::string> args) {
        static int n = 0;
        const std::string name = "server" + std::to_string(++n);
        args.insert(args.begin(), KEL_CAPTURE_TEST_DIR "/stream_servers.py");
        process_ = std::make_unique<Process>("/usr/bin/python3", args, std::vector<std::string>{},
                                             dir / (name + ".out"), dir / (name + ".err"));
        for (int i = 0; i < 1200 && process_->Out().find("ready") == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_NE(process_->Out().find("ready"), std::string::npos) << process_->Err();
    }
    void Stop() { process_.reset(); }

private:
    std::unique_ptr<Process> process_;
};

}  // namespace kel
