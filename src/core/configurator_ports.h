#pragma once
// What the configuration dialog works on while it is open: the working copies it edits, and the
// running station behind its preview, which records on meanwhile. Nothing reaches the stored
// configuration until the dialog is accepted and the station applies the working copy; the
// preview, though, shows each picture value at once, because the capture threads get the live
// picture values while a slider moves (and so record with them).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/config.h"
#include "config/records.h"

namespace kel {

struct ConfiguratorWork {
    TSettingsBlock settings;  // every setting; the dialog's editors write here
    TCameraTable cameras{};   // the edited camera records
    TCameraTable live{};      // the records the capture threads read while the dialog is open
    int startPage = 0;        // 0 the system page, 1 the schedule, 2..17 cameras 1..16, 18 the plan
    bool applied = false;     // closed with the OK button
};

// A drive that may hold recordings, as the dialog's drive grid lists it.
struct DriveRow {
    char letter = 'Z';
    uint64_t freeBytes = 0;
};

// Window thread only.
class ConfiguratorPorts {
public:
    virtual ~ConfiguratorPorts() = default;
    // The live table's picture values and names to every capture thread and the renderer: the
    // next grab uses them. Size, rate and the active flag wait for OK.
    virtual void SetLiveCameras(const TCameraTable& live) = 0;
    // The preview shows camera n alone, at its own rate.
    virtual void PreviewCamera(int camera) = 0;
    // Camera n's zone cells (176 x 144, row by row) tinted on the preview, or the tint off.
    virtual void ShowZone(int camera, const uint8_t* cells, bool show) = 0;
    // While on, every new picture of camera n is tested for motion with the working mask of `zones`
    // and the slider's `sensitivity`, and the preview's "REC" shows the result.
    virtual void SetDetectionTest(bool on, const TZoneTable& zones, int32_t sensitivity) = 0;
    // The fixed and network drives in the system's order, with their free space.
    virtual std::vector<DriveRow> Drives() const = 0;
    // Every drive's recordings deleted and the index emptied, at once; recording goes on.
    virtual void DeleteRecordings() = 0;
    // A test message with the values being edited, sent off the window thread: `done` is called
    // on the window thread with the outcome (a failure's text in Polish, with the server's reply).
    // The function returned cancels it.
    virtual std::function<void()>
    SendTestMail(const std::string& server, const std::string& user, const std::string& password,
                 const std::string& target,
                 std::function<void(bool sent, const std::string& error)> done) = 0;
    // Whether camera n's source sends a stream of its own (a network camera, a file), which can be
    // recorded as it is sent.
    virtual bool SendsStream(int camera) const = 0;
    // The dialog being dragged: the display thread pauses meanwhile.
    virtual void DialogMoveStarted() = 0;
    virtual void DialogMoveEnded() = 0;
};

}  // namespace kel
