#pragma once
// A fixture for end-to-end tests of the real kel binary: a fresh working directory, settings store
// and runtime folder per test, the station started headless, its log read back, the store
// exported. The PTZ line points at a device that does not exist, so no test touches the machine's
// own serial ports. The working directory has the built skins.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "config/config.h"
#include "recording/schedule.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace kel {

class StationRunner : public ::testing::Test {
protected:
    // The working directory is prepared as scripts/run prepares one: the built skins linked in.
    StationRunner() {
        std::filesystem::create_directories(Work());
        std::error_code ec;
        std::filesystem::create_directory_symlink(KEL_SKINS_DIR, Work() + "/Skins", ec);
    }
    std::string Work() const { return dir.File("work"); }
    std::string Registry() const { return dir.File("registry.sqlite"); }
    std::string LogText() const { return ReadFile(Work() + "/Server.log"); }
    std::string NoSerial() const { return dir.File("no-such-tty"); }
    // The environment of every run; tests may add to `extraEnv`.
    std::vector<std::string> Env() const {
        std::vector<std::string> env{"XDG_RUNTIME_DIR=" + dir.Path(), "QT_QPA_PLATFORM="};
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        return env;
    }

    // Starts the station headless on this test's folders, with `extra` arguments.
    std::unique_ptr<Process> Start(std::vector<std::string> extra = {"--yes"}) {
        std::vector<std::string> args{"--headless", "--workdir", Work(),    "--registry",
                                      Registry(),   "--serial",  NoSerial()};
        args.insert(args.end(), extra.begin(), extra.end());
        ++runs_;
        return std::make_unique<Process>(KEL_BINARY, args, Env(), dir.File("out" + std::to_string(runs_)),
                                         dir.File("err" + std::to_string(runs_)));
    }
    // Runs kel with exactly `args` to its end (store commands, refused starts).
    int Run(std::vector<std::string> args, std::string* out = nullptr, std::string* err = nullptr) {
        ++runs_;
        Process p(KEL_BINARY, args, Env(), dir.File("out" + std::to_string(runs_)),
                  dir.File("err" + std::to_string(runs_)));
        int code = p.Wait(std::chrono::seconds(60));
        if (out)
            *out = p.Out();
        if (err)
            *err = p.Err();
        return code;
    }
    // The station headless on this test's folders, run to its end (a start that stops).
    int RunStation(std::string* err) {
        return Run(
            {"--headless", "--yes", "--workdir", Work(), "--registry", Registry(), "--serial", NoSerial()},
            nullptr, err);
    }
    // A store command on this test's store: `kel --registry R args…`.
    int RunStore(std::vector<std::string> args, std::string* out = nullptr, std::string* err = nullptr) {
        args.insert(args.begin(), {"--registry", Registry()});
        return Run(std::move(args), out, err);
    }

    // A store with the first-run defaults, then cameras 1..`cameras` active and recorded all week
    // as `mode` says for each (continuously by default) to drive C:, and the automatic login;
    // `more` changes the configuration further before it is saved.
    void PrepareRecording(int cameras, std::function<ScheduleValue(int camera)> mode = nullptr,
                          std::function<void(TConfig&)> more = nullptr) {
        ASSERT_EQ(RunStore({"reg", "defaults"}), 0);
        auto c = std::make_unique<TConfig>(Registry());
        ASSERT_TRUE(c->Load()) << c->ErrorText;
        for (int n = 1; n <= cameras; ++n) {
            c->Cameras[n - 1].Active = 1;
            for (int d = 1; d <= 7; ++d)
                for (int h = 0; h < 24; ++h)
                    c->Scheduler[ScheduleIndex(n, d, h)] = mode ? mode(n) : kContinuous;
        }
        c->HDDs[0] = 1;
        c->AutoLogin = true;
        if (more)
            more(*c);
        ASSERT_TRUE(c->SaveAll() && c->SaveCameras()) << c->Store().ErrorText();
    }

    int CountInLog(const std::string& text) const {
        std::string log = LogText();
        int n = 0;
        for (size_t p = log.find(text); p != std::string::npos; p = log.find(text, p + 1))
            ++n;
        return n;
    }
    // Waits until the log holds `text` `times` times (the station is then past that point).
    bool WaitForLog(const std::string& text, int times = 1,
                    std::chrono::seconds limit = std::chrono::seconds(60)) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (CountInLog(text) >= times)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    // The exported values by name, as their text after "=", continuation lines joined.
    std::map<std::string, std::string> ExportedValues(std::string* text = nullptr) {
        std::string out;
        EXPECT_EQ(RunStore({"reg", "export"}, &out), 0);
        if (text)
            *text = out;
        std::map<std::string, std::string> values;
        std::istringstream in(out);
        std::string line, current;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            size_t first = line.find_first_not_of(' ');
            current += first == std::string::npos ? "" : line.substr(first);
            if (!current.empty() && current.back() == '\\') {
                current.pop_back();
                continue;
            }
            size_t eq = current.find("\"=");
            if (current.size() > 1 && current[0] == '"' && eq != std::string::npos)
                values[current.substr(1, eq - 1)] = current.substr(eq + 2);
            current.clear();
        }
        return values;
    }
    // Sizes of the exported values in bytes, by name.
    std::map<std::string, size_t> ExportedSizes(std::string* text = nullptr) {
        std::map<std::string, size_t> sizes;
        for (const auto& [name, v] : ExportedValues(text)) {
            if (v.rfind("dword:", 0) == 0)
                sizes[name] = 4;
            else if (v.rfind("hex", 0) == 0)
                sizes[name] = v.size() > v.find(':') + 1 ? (v.size() - v.find(':')) / 3 : 0;
            else
                sizes[name] = v.size() - 2;
        }
        return sizes;
    }
    std::string Exported(const std::string& name) { return ExportedValues()[name]; }

    TempDir dir;
    std::vector<std::string> extraEnv;

private:
    int runs_ = 0;
};

}  // namespace kel
