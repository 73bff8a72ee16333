#pragma once
// An S3-compatible object store on loopback for a test: Debian's OpenStack Swift on one node
// with its S3 layer (tests/support/swift_s3.py writes its settings), four servers on free ports.
// Access key "test:tester", secret "testing", region us-east-1. curl, signing for itself, reads
// what the store holds.

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/free_port.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace kel {

class SwiftStore {
public:
    static constexpr const char* kKey = "test:tester";
    static constexpr const char* kSecret = "testing";

    explicit SwiftStore(const TempDir& dir) : dir_(dir), base_(dir.File("swift")), port_(FreePort()) {
        const std::string script = (std::filesystem::path(__FILE__).parent_path() / "swift_s3.py").string();
        Process p("/usr/bin/python3",
                  {script, base_, std::to_string(port_), std::to_string(FreePort()),
                   std::to_string(FreePort()), std::to_string(FreePort())},
                  {}, dir_.File("swift-setup.out"), dir_.File("swift-setup.err"));
        setup_ok_ = p.Wait(std::chrono::seconds(60)) == 0;
        WriteFile(dir_.File("netrc"), "machine 127.0.0.1\nlogin test:tester\npassword testing\n");
    }
    ~SwiftStore() { Stop(); }

    std::string Endpoint() const { return "http://127.0.0.1:" + std::to_string(port_); }

    // The four servers, and the store taking objects; false when it never does. The proxy
    // answers before the servers behind it listen (an object put then gets 503), so a probe
    // object is put into a bucket of its own until one goes in.
    bool Start() {
        if (!setup_ok_)
            return false;
        ++starts_;
        for (const char* name : {"account", "container", "object", "proxy"})
            servers_.push_back(std::make_unique<Process>(
                "/usr/bin/swift-" + std::string(name) + "-server",
                std::vector<std::string>{base_ + "/etc/" + name + "-server.conf", "-v"},
                std::vector<std::string>{}, dir_.File(std::string(name) + std::to_string(starts_) + ".log"),
                dir_.File(std::string(name) + std::to_string(starts_) + ".err")));
        const std::string probe = Endpoint() + "/kel-probe";
        for (int i = 0; i < 600; ++i) {
            if (Curl({"-o", "/dev/null", Endpoint() + "/"}) == "200" &&
                Curl({"-X", "PUT", "-o", "/dev/null", probe}) != "000" &&
                Curl({"-X", "PUT", "--data-binary", "probe", "-o", "/dev/null", probe + "/probe"}) == "200")
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    void Stop() {
        for (auto& s : servers_)
            s->Signal(SIGTERM);
        for (auto& s : servers_)
            s->Wait(std::chrono::seconds(10));
        servers_.clear();
    }

    // Signed curl with `args`; what it printed (the HTTP status with the default -w).
    std::string Curl(std::vector<std::string> args, const std::string& write = "%{http_code}") const {
        std::vector<std::string> all{"-s",
                                     "--netrc-file",
                                     dir_.File("netrc"),
                                     "--aws-sigv4",
                                     "aws:amz:us-east-1:s3",
                                     "-H",
                                     "x-amz-content-sha256: UNSIGNED-PAYLOAD",
                                     "-w",
                                     write};
        all.insert(all.end(), args.begin(), args.end());
        const std::string out = dir_.File("curl.out");
        Process p("/usr/bin/curl", all, {}, out, dir_.File("curl.err"));
        p.Wait(std::chrono::seconds(120));
        return ReadFile(out);
    }
    // The object's bytes, or "<missing: status>".
    std::string Get(const std::string& bucket, const std::string& key) const {
        const std::string file = dir_.File("got");
        std::filesystem::remove(file);
        const std::string status = Curl({"-o", file, Endpoint() + "/" + bucket + "/" + key});
        return status == "200" ? ReadFile(file) : "<missing: " + status + ">";
    }
    // The bucket's listing (S3 XML) of keys under `prefix`.
    std::string List(const std::string& bucket, const std::string& prefix = "") const {
        return Curl({Endpoint() + "/" + bucket + "?prefix=" + prefix}, "");
    }
    // Tried for a while: the proxy may answer before the servers behind it do.
    bool MakeBucket(const std::string& bucket) const {
        for (int i = 0; i < 100; ++i) {
            if (Curl({"-X", "PUT", "-o", "/dev/null", Endpoint() + "/" + bucket}) == "200")
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return false;
    }

private:
    const TempDir& dir_;
    const std::string base_;
    const int port_;
    bool setup_ok_ = false;
    int starts_ = 0;
    std::vector<std::unique_ptr<Process>> servers_;
};

}  // namespace kel
