#pragma once
// kel-viewer's window: find a recording by day and camera, watch it, take it away.
//
// On the left a calendar (days with recordings in bold) and the cameras (up to four ticked are
// shown side by side); in the middle the pictures; below them the controls and the day's time
// line. Keys: space plays and pauses, the arrows step one picture, Home and End go to the day's
// first and last picture, + and - change the speed, [ and ] mark the stretch to save.
//
// What the station writes meanwhile is picked up: a rewritten index is read again, a growing
// segment is looked at again, a file rotated away shows red on the time line and is skipped.

#include <QWidget>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/station_key.h"
#include "recording/archive_catalog.h"
#include "recording/camera_track.h"
#include "viewer/playback.h"
#include "viewer/viewer_login.h"

class QCalendarWidget;
class QElapsedTimer;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTimer;

namespace kel {

class AuditView;
class PaneGrid;
class TimelineWidget;

class ViewerWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTickMs = 40;
    static constexpr int kRefreshMs = 2000;

    ViewerWindow(std::string workDir, std::string registryFile);
    ~ViewerWindow() override;

    // Reads the index (and the names); shows the last day with recordings.
    void LoadArchive();
    // Plays one segment file alone. False (with a message) when it is no segment.
    bool OpenFile(const QString& path);

    // Test hooks: the file chosen in a save or open box (empty: cancelled), and a message shown.
    std::function<QString(const QString& caption, const QString& suggested, const QString& filter)>
        ChooseSaveFile;
    std::function<QString()> ChooseOpenFile;
    // The evidence export's choice of cameras among `offered` (number, name), `shown` ticked at
    // first; empty when cancelled.
    std::function<std::vector<int>(const std::vector<std::pair<int, QString>>& offered,
                                   const std::vector<int>& shown)>
        ChooseCameras;
    std::function<void(const QString& text)> Tell;
    // A record of the audit trail for what the user watched and saved (none when empty).
    std::function<void(const char* what, const std::string& detail)> Audit;

    // The user the viewer runs for: only the cameras that user may view are read, listed, played
    // and saved; a file opened alone must lie in such a camera's folder ("KameraN"), or the user
    // needs the configuration right. Before LoadArchive.
    void SetUser(const ViewerUser& user);
    // Whether the user may open `path` alone.
    bool MayOpen(const QString& path) const;
    // The audit trail beside the store, shown (not modal) to a user with the configuration right;
    // nullptr for anyone else, who has no button for it either.
    AuditView* ShowAudit();
    QPushButton* AuditButton() const { return audit_; }

    void ShowDay(int64_t dayStartMs);
    void SetCameras(const std::vector<int>& cameras);
    void SaveStretch();
    void SavePicture();
    // The marked stretch (without marks: the lead picture's whole segment) of the cameras chosen
    // (any the user may view; those shown at first) into a new evidence folder with its manifest,
    // signed with the station's key of the working directory.
    void ExportEvidence();
    // Whether the user may take recordings off the station (the export right); told when not.
    bool MayExport();
    static constexpr const char* kNoExportRight = "Brak uprawnień do eksportu nagrań. Uprawnienie nadaje "
                                                  "administrator (Użytkownicy, „Eksport nagrań”).";
    // Looks for changes now (the refresh timer's work).
    void RefreshNow();
    // One play tick of `elapsedMs` (the play timer's work).
    void TickNow(int64_t elapsedMs);

    Playback& Player() { return playback_; }
    ArchiveCatalog& Catalog() { return catalog_; }
    TimelineWidget* Timeline() const { return timeline_; }
    PaneGrid* Panes() const { return panes_; }
    QString StatusText() const;
    int64_t MarkFrom() const { return mark_from_; }
    int64_t MarkTo() const { return mark_to_; }

    // The local time scale's milliseconds as a date and time text, and a day's start.
    static QString MomentText(int64_t ms);
    static int64_t DayOf(const QDate& date);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildControls();
    void FillCameraList();
    void UpdateTimeline();
    void UpdateView();
    void OnCameraItemChanged(QListWidgetItem* item);
    void OnMoment(qint64 ms, int camera);
    void MakeLead(int pane);
    void Status(const QString& text);
    // One record per camera shown on a day, the first time it is shown there.
    void NoteViewing();

    const std::string work_dir_;
    const std::string registry_file_;
    ArchiveCatalog catalog_;
    Playback playback_;
    std::vector<int> cameras_;  // shown, the lead first
    int64_t day_ = 0;
    int64_t mark_from_ = 0, mark_to_ = 0;
    bool single_file_ = false;
    bool filling_ = false;
    bool user_set_ = false;
    ViewerUser user_;
    std::set<std::pair<int, int64_t>> viewed_;  // (camera, day) already in the trail
    std::shared_ptr<const StationKey> key_;     // the station's signing key, read at the first export

    QCalendarWidget* calendar_ = nullptr;
    QListWidget* camera_list_ = nullptr;
    PaneGrid* panes_ = nullptr;
    TimelineWidget* timeline_ = nullptr;
    QPushButton* play_ = nullptr;
    QPushButton* audit_ = nullptr;
    QLabel* speed_ = nullptr;
    QLabel* clock_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* tick_ = nullptr;
    QTimer* refresh_ = nullptr;
    std::unique_ptr<QElapsedTimer> since_tick_;
};

}  // namespace kel
