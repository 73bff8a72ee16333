#pragma once
// Debian's mosquitto on a free loopback port for a test, with a password file and an access list:
//   kel      reads and writes kel/# and homeassistant/# (the station)
//   ochrona  reads them and may ask for snapshots (kel/camera/+/snapshot/get)
//   gosc     only reads kel/#
// (password: the user's name and "pw"). A subscriber of its own writes what it hears to a file.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/free_port.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace kel {

class MosquittoBroker {
public:
    explicit MosquittoBroker(const TempDir& dir) : dir_(dir), port_(FreePort()) {
        for (const char* user : {"kel", "ochrona", "gosc"}) {
            std::vector<std::string> args{"-b", dir_.File("passwd"), user, std::string(user) + "pw"};
            if (std::string(user) == "kel")
                args.insert(args.begin(), "-c");
            Process p("/usr/bin/mosquitto_passwd", args, {}, dir_.File("passwd.out"),
                      dir_.File("passwd.err"));
            p.Wait(std::chrono::seconds(30));
        }
        std::ofstream(dir_.File("acl"))
            << "user kel\ntopic readwrite kel/#\ntopic readwrite homeassistant/#\n\n"
               "user ochrona\ntopic read kel/#\ntopic read homeassistant/#\n"
               "topic write kel/camera/+/snapshot/get\n\n"
               "user gosc\ntopic read kel/#\n";
        std::ofstream(dir_.File("mosquitto.conf"))
            << "listener " << port_ << " 127.0.0.1\nallow_anonymous false\npassword_file "
            << dir_.File("passwd") << "\nacl_file " << dir_.File("acl")
            << "\npersistence false\nlog_dest stderr\n"
            << (::getuid() == 0 ? "user root\n" : "");
    }
    ~MosquittoBroker() {
        Stop();
        if (subscriber_)
            subscriber_->Signal(SIGTERM);
    }
    int Port() const { return port_; }

    void Start() {
        broker_ = std::make_unique<Process>("/usr/sbin/mosquitto",
                                            std::vector<std::string>{"-c", dir_.File("mosquitto.conf")},
                                            std::vector<std::string>{}, dir_.File("broker.out"),
                                            dir_.File("broker.err" + std::to_string(++starts_)));
        for (int i = 0; i < 100 && Publish("kel", "kel/ready") != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    void Stop() {
        if (broker_) {
            broker_->Signal(SIGTERM);
            broker_->Wait(std::chrono::seconds(10));
            broker_.reset();
        }
    }
    // An empty message on `topic` as `user`; mosquitto_pub's exit code.
    int Publish(const std::string& user, const std::string& topic) {
        Process p("/usr/bin/mosquitto_pub",
                  {"-h", "127.0.0.1", "-p", std::to_string(port_), "-u", user, "-P", user + "pw", "-t", topic,
                   "-n", "-q", "1"},
                  {}, dir_.File("pub.out"), dir_.File("pub.err"));
        return p.Wait(std::chrono::seconds(30));
    }
    // A new subscriber to kel/# and homeassistant/# as ochrona, topics and payloads in its file.
    void Subscribe() {
        if (subscriber_)
            subscriber_->Signal(SIGTERM);
        file_ = dir_.File("sub" + std::to_string(++subscribers_));
        subscriber_ = std::make_unique<Process>(
            "/usr/bin/mosquitto_sub",
            std::vector<std::string>{"-h", "127.0.0.1", "-p", std::to_string(port_), "-u", "ochrona", "-P",
                                     "ochronapw", "-t", "kel/#", "-t", "homeassistant/#", "-v", "-q", "1"},
            std::vector<std::string>{}, file_, file_ + ".err");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    // Whether the subscriber heard `text` within `limit`.
    bool Heard(const std::string& text, std::chrono::seconds limit = std::chrono::seconds(10)) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (ReadFile(file_).find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    std::string HeardText() const { return ReadFile(file_); }

private:
    const TempDir& dir_;
    const int port_;
    std::unique_ptr<Process> broker_, subscriber_;
    std::string file_;
    int starts_ = 0, subscribers_ = 0;
};

}  // namespace kel
