#pragma once
// Fakes of the platform layers for tests of the core.

#include <string>
#include <vector>

#include "core/debug_lines.h"
#include "platform/message_box.h"
#include "platform/screen_saver.h"
#include "platform/system_info.h"

namespace kel {

class FakeSystemInfo : public SystemInfo {
public:
    OsRelease os{"Linux", "6.1.0-18-amd64", 6, 1, 0};
    uint64_t ram = 8ull << 30;
    int width = 1280, height = 1024;

    OsRelease Os() const override { return os; }
    uint64_t TotalRamBytes() const override { return ram; }
    int ScreenWidth() const override { return width; }
    int ScreenHeight() const override { return height; }
};

class FakeScreenSaver : public ScreenSaver {
public:
    bool inhibited = false;
    void Inhibit() override { inhibited = true; }
    void Allow() override { inhibited = false; }
};

// Records every box; questions get the answers queued in `answers` (No when none is left).
class FakeMessageBox : public MessageBox {
public:
    struct Box {
        BoxKind kind;
        std::string text;
    };
    std::vector<Box> shown;
    std::vector<bool> answers;

    bool Show(BoxKind kind, std::string_view text) override {
        shown.push_back({kind, std::string(text)});
        if (kind != BoxKind::Question)
            return true;
        if (answers.empty())
            return false;
        bool a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
};

class RecordingDebugLines : public DebugLines {
public:
    std::vector<std::string> lines;
    void AddLine(std::string_view text) override { lines.emplace_back(text); }
};

}  // namespace kel
