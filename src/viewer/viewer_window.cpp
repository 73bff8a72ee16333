#include "viewer/viewer_window.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include <QCalendarWidget>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QStyle>
#include <QTextCharFormat>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/audit_trail.h"
#include "platform/sha256.h"
#include "viewer/archive_export.h"
#include "viewer/audit_view.h"
#include "viewer/evidence_check.h"
#include "viewer/pane_grid.h"
#include "viewer/timeline_widget.h"

namespace kel {

namespace {

const QDate kEpoch(1899, 12, 30);

QPushButton* Button(const QString& text, const QString& tip, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setToolTip(tip);
    b->setFocusPolicy(Qt::NoFocus);  // the keys stay with the window
    return b;
}

QPushButton* IconButton(QStyle::StandardPixmap icon, const QString& tip, QWidget* parent) {
    auto* b = Button(QString(), tip, parent);
    b->setIcon(parent->style()->standardIcon(icon));
    b->setFixedWidth(40);
    return b;
}

QString SpeedText(double speed) {
    if (speed == 0.25)
        return "¼×";
    if (speed == 0.5)
        return "½×";
    return QString::number(speed) + "×";
}

}  // namespace

QString ViewerWindow::MomentText(int64_t ms) {
    return QString::fromStdString(kel::MomentText(ms));
}

int64_t ViewerWindow::DayOf(const QDate& date) {
    return kEpoch.daysTo(date) * kMsPerDay;
}

ViewerWindow::ViewerWindow(std::string workDir, std::string registryFile)
    : work_dir_(std::move(workDir)), registry_file_(std::move(registryFile)), catalog_(work_dir_),
      since_tick_(std::make_unique<QElapsedTimer>()) {
    setObjectName("ViewerWindow");
    setWindowTitle("KEL – przeglądarka nagrań");
    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    ChooseSaveFile = [this](const QString& caption, const QString& suggested, const QString& filter) {
        return QFileDialog::getSaveFileName(this, caption, suggested, filter);
    };
    ChooseOpenFile = [this] {
        return QFileDialog::getOpenFileName(this, "Otwórz nagranie", QString::fromStdString(work_dir_),
                                            "Nagrania (*.avi *.mp4)");
    };
    Tell = [this](const QString& text) { QMessageBox::warning(this, "Przeglądarka nagrań", text); };
    ChooseCameras = [this](const std::vector<std::pair<int, QString>>& offered,
                           const std::vector<int>& shown) {
        QDialog dialog(this);
        dialog.setWindowTitle("Eksport dowodowy: kamery");
        auto* list = new QListWidget(&dialog);
        for (const auto& [n, name] : offered) {
            auto* item = new QListWidgetItem(QString("%1. %2").arg(n).arg(name), list);
            item->setData(Qt::UserRole, n);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            const bool on = std::find(shown.begin(), shown.end(), n) != shown.end();
            item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
        }
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
        buttons->button(QDialogButtonBox::Ok)->setText("Dalej…");
        buttons->button(QDialogButtonBox::Cancel)->setText("Anuluj");
        connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        auto* layout = new QVBoxLayout(&dialog);
        layout->addWidget(new QLabel("Kamery do eksportu (zaznaczony odcinek czasu):", &dialog));
        layout->addWidget(list, 1);
        layout->addWidget(buttons);
        dialog.resize(320, 420);
        std::vector<int> chosen;
        if (dialog.exec() != QDialog::Accepted)
            return chosen;
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->checkState() == Qt::Checked)
                chosen.push_back(list->item(i)->data(Qt::UserRole).toInt());
        return chosen;
    };
    BuildControls();
    tick_ = new QTimer(this);
    tick_->setInterval(kTickMs);
    connect(tick_, &QTimer::timeout, this, [this] {
        const int64_t elapsed = since_tick_->restart();
        TickNow(elapsed);
    });
    refresh_ = new QTimer(this);
    refresh_->setInterval(kRefreshMs);
    connect(refresh_, &QTimer::timeout, this, &ViewerWindow::RefreshNow);
    refresh_->start();
}

ViewerWindow::~ViewerWindow() = default;

void ViewerWindow::BuildControls() {
    auto* side = new QVBoxLayout;
    calendar_ = new QCalendarWidget(this);
    calendar_->setObjectName("Calendar");
    calendar_->setGridVisible(false);
    calendar_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    connect(calendar_, &QCalendarWidget::clicked, this, [this](const QDate& d) { ShowDay(DayOf(d)); });
    side->addWidget(calendar_);
    side->addWidget(new QLabel("Kamery (do czterech naraz):", this));
    camera_list_ = new QListWidget(this);
    camera_list_->setObjectName("Cameras");
    camera_list_->setFocusPolicy(Qt::NoFocus);
    connect(camera_list_, &QListWidget::itemChanged, this, &ViewerWindow::OnCameraItemChanged);
    side->addWidget(camera_list_, 1);
    auto* open = Button("Otwórz plik…", "Odtwórz jeden plik nagrania", this);
    connect(open, &QPushButton::clicked, this, [this] {
        const QString file = ChooseOpenFile();
        if (!file.isEmpty())
            OpenFile(file);
    });
    side->addWidget(open);
    auto* evidence = Button("Eksport dowodowy…",
                            "Zapisz zaznaczony odcinek wszystkich widocznych kamer do nowego folderu, z "
                            "manifestem i sumami SHA-256 plików (sprawdzenie: kel-viewer --verify FOLDER)",
                            this);
    evidence->setObjectName("Evidence");
    connect(evidence, &QPushButton::clicked, this, &ViewerWindow::ExportEvidence);
    side->addWidget(evidence);
    audit_ = Button("Dziennik zdarzeń…", "Kto co zrobił na stacji (użytkownicy z prawem konfiguracji)", this);
    audit_->setObjectName("Audit");
    audit_->hide();
    connect(audit_, &QPushButton::clicked, this, &ViewerWindow::ShowAudit);
    side->addWidget(audit_);

    panes_ = new PaneGrid(this);
    connect(panes_, &PaneGrid::paneClicked, this, &ViewerWindow::MakeLead);

    auto* bar = new QHBoxLayout;
    auto* home = IconButton(QStyle::SP_MediaSkipBackward, "Pierwszy obraz dnia (Home)", this);
    auto* back = IconButton(QStyle::SP_MediaSeekBackward, "Obraz wstecz (←)", this);
    play_ = IconButton(QStyle::SP_MediaPlay, "Odtwarzaj / wstrzymaj (spacja)", this);
    play_->setObjectName("Play");
    auto* forward = IconButton(QStyle::SP_MediaSeekForward, "Obraz naprzód (→)", this);
    auto* end = IconButton(QStyle::SP_MediaSkipForward, "Ostatni obraz dnia (End)", this);
    auto* slower = Button("−", "Wolniej (-)", this);
    slower->setFixedWidth(32);
    speed_ = new QLabel(SpeedText(playback_.Speed()), this);
    speed_->setObjectName("Speed");
    speed_->setMinimumWidth(36);
    speed_->setAlignment(Qt::AlignCenter);
    auto* faster = Button("+", "Szybciej (+)", this);
    faster->setFixedWidth(32);
    clock_ = new QLabel(this);
    clock_->setObjectName("Clock");
    QFont mono("Monospace");
    mono.setStyleHint(QFont::TypeWriter);
    clock_->setFont(mono);
    auto* markIn = Button("[ Od", "Początek odcinka do zapisania ([)", this);
    auto* markOut = Button("Do ]", "Koniec odcinka do zapisania (])", this);
    auto* saveAvi =
        Button("Zapisz odcinek…",
               "Zapisz zaznaczony odcinek (bez zaznaczenia: cały plik) kamery jako AVI (kamera sieciowa "
               "nagrywana bez przekodowania: MP4)",
               this);
    saveAvi->setObjectName("SaveStretch");
    auto* savePng = Button("Zapisz PNG…", "Zapisz widoczny obraz jako plik PNG", this);
    for (QWidget* w :
         std::initializer_list<QWidget*>{home, back, play_, forward, end, slower, speed_, faster})
        bar->addWidget(w);
    bar->addSpacing(12);
    bar->addWidget(clock_);
    bar->addStretch(1);
    for (QWidget* w : std::initializer_list<QWidget*>{markIn, markOut, saveAvi, savePng})
        bar->addWidget(w);
    auto key = [this](int k) {
        QKeyEvent e(QEvent::KeyPress, k, Qt::NoModifier);
        keyPressEvent(&e);
    };
    connect(home, &QPushButton::clicked, this, [key] { key(Qt::Key_Home); });
    connect(back, &QPushButton::clicked, this, [key] { key(Qt::Key_Left); });
    connect(play_, &QPushButton::clicked, this, [key] { key(Qt::Key_Space); });
    connect(forward, &QPushButton::clicked, this, [key] { key(Qt::Key_Right); });
    connect(end, &QPushButton::clicked, this, [key] { key(Qt::Key_End); });
    connect(slower, &QPushButton::clicked, this, [key] { key(Qt::Key_Minus); });
    connect(faster, &QPushButton::clicked, this, [key] { key(Qt::Key_Plus); });
    connect(markIn, &QPushButton::clicked, this, [key] { key(Qt::Key_BracketLeft); });
    connect(markOut, &QPushButton::clicked, this, [key] { key(Qt::Key_BracketRight); });
    connect(saveAvi, &QPushButton::clicked, this, &ViewerWindow::SaveStretch);
    connect(savePng, &QPushButton::clicked, this, &ViewerWindow::SavePicture);

    timeline_ = new TimelineWidget(this);
    connect(timeline_, &TimelineWidget::momentClicked, this, &ViewerWindow::OnMoment);
    status_ = new QLabel(this);
    status_->setObjectName("Status");

    auto* main = new QVBoxLayout;
    main->addWidget(panes_, 1);
    main->addLayout(bar);
    main->addWidget(timeline_);
    main->addWidget(status_);
    auto* all = new QHBoxLayout(this);
    auto* sideBox = new QWidget(this);
    sideBox->setLayout(side);
    sideBox->setFixedWidth(260);
    all->addWidget(sideBox);
    all->addLayout(main, 1);
    resize(1180, 780);
}

void ViewerWindow::Status(const QString& text) {
    status_->setText(text);
}

QString ViewerWindow::StatusText() const {
    return status_->text();
}

void ViewerWindow::LoadArchive() {
    single_file_ = false;
    if (!catalog_.Load())
        Status(QString::fromStdString(catalog_.ErrorText()));
    else if (catalog_.LoadedFrom() == ArchiveCatalog::Source::Copy)
        Status("Indeks nagrań uszkodzony: odczytano jego kopię");
    else if (catalog_.LoadedFrom() == ArchiveCatalog::Source::None)
        Status("Brak nagrań w " + QString::fromStdString(work_dir_));
    catalog_.LoadNames(registry_file_);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    calendar_->setDateTextFormat(QDate(), QTextCharFormat());
    const std::vector<int64_t> days = catalog_.Days();
    for (int64_t d : days)
        calendar_->setDateTextFormat(kEpoch.addDays(d), bold);
    FillCameraList();
    if (!days.empty()) {
        ShowDay(days.back() * kMsPerDay);
        // The first camera that recorded that day, at its last recording.
        for (int n = 1; n <= ArchiveCatalog::kCameras; ++n)
            if (catalog_.HasWithin(n, day_, day_ + kMsPerDay)) {
                SetCameras({n});
                playback_.Seek(catalog_.Entries(n).back().startMs);
                break;
            }
    }
    UpdateView();
}

void ViewerWindow::SetUser(const ViewerUser& user) {
    user_ = user;
    user_set_ = true;
    catalog_.SetAllowed(user.cameras);
    audit_->setVisible(user.configRight);
    // Recordings leave the station only with the export right.
    for (const char* name : {"Evidence", "SaveStretch"})
        if (auto* button = findChild<QPushButton*>(name))
            button->setEnabled(user.exportRight);
}

AuditView* ViewerWindow::ShowAudit() {
    if (!user_set_ || !user_.configRight)
        return nullptr;
    auto* view = new AuditView(AuditTrail::PathBeside(registry_file_), this);
    view->setAttribute(Qt::WA_DeleteOnClose);
    view->show();
    return view;
}

bool ViewerWindow::MayOpen(const QString& path) const {
    if (!user_set_ || user_.configRight)
        return true;
    const std::string folder = std::filesystem::path(path.toStdString()).parent_path().filename().string();
    if (folder.rfind("Kamera", 0) != 0 || folder.size() > 8)
        return false;
    const std::string number = folder.substr(6);
    const int camera = !number.empty() && std::all_of(number.begin(), number.end(),
                                                      [](char c) { return c >= '0' && c <= '9'; })
                           ? std::stoi(number)
                           : 0;
    return catalog_.Allowed(camera);
}

void ViewerWindow::NoteViewing() {
    if (!Audit || single_file_)
        return;
    for (int camera : cameras_)
        if (viewed_.insert({camera, day_}).second)
            Audit(AuditTrail::kViewing,
                  "kamera " + std::to_string(camera) + ", dzien " + MomentText(day_).left(10).toStdString());
}

bool ViewerWindow::OpenFile(const QString& path) {
    if (!MayOpen(path)) {
        Tell("Brak uprawnień do nagrań tej kamery: " + path);
        return false;
    }
    playback_.Pause();
    if (!playback_.ShowFile(path.toStdString())) {
        Tell("Nie można odtworzyć pliku " + path + ":\n" + QString::fromStdString(playback_.ErrorText()));
        return false;
    }
    single_file_ = true;
    cameras_.clear();
    day_ = playback_.Clock() / kMsPerDay * kMsPerDay;
    calendar_->setSelectedDate(kEpoch.addDays(day_ / kMsPerDay));
    Status("Plik: " + path);
    UpdateTimeline();
    UpdateView();
    return true;
}

void ViewerWindow::FillCameraList() {
    filling_ = true;
    camera_list_->clear();
    for (int n = 1; n <= ArchiveCatalog::kCameras; ++n) {
        if (!catalog_.Allowed(n))
            continue;  // not listed at all for a user who may not view it
        auto* item = new QListWidgetItem(
            QString("%1. %2").arg(n).arg(QString::fromStdString(catalog_.Name(n))), camera_list_);
        item->setData(Qt::UserRole, n);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        const bool shown = std::find(cameras_.begin(), cameras_.end(), n) != cameras_.end();
        item->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
        if (catalog_.Entries(n).empty())
            item->setForeground(QColor(140, 140, 140));
    }
    filling_ = false;
}

void ViewerWindow::OnCameraItemChanged(QListWidgetItem* item) {
    if (filling_)
        return;
    const int n = item->data(Qt::UserRole).toInt();
    std::vector<int> next = cameras_;
    auto it = std::find(next.begin(), next.end(), n);
    if (item->checkState() == Qt::Checked && it == next.end()) {
        if (static_cast<int>(next.size()) == Playback::kPanes) {
            filling_ = true;
            item->setCheckState(Qt::Unchecked);
            filling_ = false;
            Status("Naraz można oglądać najwyżej cztery kamery");
            return;
        }
        next.push_back(n);
    } else if (item->checkState() != Qt::Checked && it != next.end()) {
        next.erase(it);
    }
    SetCameras(next);
}

void ViewerWindow::SetCameras(const std::vector<int>& cameras) {
    if (single_file_) {
        single_file_ = false;
        catalog_.Load();
    }
    cameras_ = cameras;
    std::erase_if(cameras_, [&](int n) { return !catalog_.Allowed(n); });
    if (cameras_.size() > Playback::kPanes)
        cameras_.resize(Playback::kPanes);
    const int64_t clock = playback_.Clock();
    playback_.ShowCameras(catalog_, cameras_);
    if (clock == 0 && !cameras_.empty() && !catalog_.Entries(cameras_[0]).empty())
        playback_.Seek(catalog_.Entries(cameras_[0]).front().startMs);
    filling_ = true;
    for (int i = 0; i < camera_list_->count(); ++i) {
        QListWidgetItem* item = camera_list_->item(i);
        const int n = item->data(Qt::UserRole).toInt();
        item->setCheckState(std::find(cameras_.begin(), cameras_.end(), n) != cameras_.end() ? Qt::Checked
                                                                                             : Qt::Unchecked);
    }
    filling_ = false;
    UpdateTimeline();
    UpdateView();
    NoteViewing();
}

void ViewerWindow::MakeLead(int pane) {
    if (pane <= 0 || pane >= static_cast<int>(cameras_.size()))
        return;
    std::vector<int> next = cameras_;
    std::rotate(next.begin(), next.begin() + pane, next.end());
    SetCameras(next);
}

void ViewerWindow::ShowDay(int64_t dayStartMs) {
    day_ = dayStartMs;
    calendar_->setSelectedDate(kEpoch.addDays(day_ / kMsPerDay));
    if (playback_.Clock() < day_ || playback_.Clock() >= day_ + kMsPerDay) {
        // The lead camera's first picture of that day, or the day's start.
        playback_.Pause();
        int64_t first = day_;
        if (!cameras_.empty())
            for (const CatalogEntry& e : catalog_.Entries(cameras_[0]))
                if (e.startMs >= day_) {
                    first = e.startMs < day_ + kMsPerDay ? e.startMs : day_;
                    break;
                }
        playback_.Seek(first);
    }
    UpdateTimeline();
    UpdateView();
    NoteViewing();
}

void ViewerWindow::UpdateTimeline() {
    std::vector<TimelineWidget::Row> rows;
    if (single_file_) {
        const auto& panes = playback_.Panes();
        if (!panes.empty()) {
            TimelineWidget::Row row;
            row.name = QString::fromStdString(panes[0].title);
            row.shown = true;
            CameraTrack& t = *panes[0].track;
            for (size_t k = 0; k < t.Segments(); ++k) {
                const auto s = t.StretchOf(static_cast<int>(k));
                row.stretches.push_back({s.fromMs, s.toMs, false, s.missing});
            }
            rows.push_back(std::move(row));
        }
        timeline_->SetDay(day_, std::move(rows));
        return;
    }
    for (int n = 1; n <= ArchiveCatalog::kCameras; ++n) {
        const bool shown = std::find(cameras_.begin(), cameras_.end(), n) != cameras_.end();
        if (!shown && !catalog_.HasWithin(n, day_, day_ + kMsPerDay))
            continue;
        std::vector<CatalogEntry> entries;
        for (const CatalogEntry& e : catalog_.Entries(n))
            if (e.startMs >= day_ - kMsPerDay / 24 && e.startMs < day_ + kMsPerDay)
                entries.push_back(e);
        CameraTrack track(entries, 1);  // only to learn the stretches' ends
        TimelineWidget::Row row;
        row.camera = n;
        row.name = QString::fromStdString(catalog_.Name(n));
        row.shown = shown;
        std::error_code ec;
        for (size_t k = 0; k < track.Segments(); ++k) {
            const auto s = track.StretchOf(static_cast<int>(k));
            const bool gone = s.missing || !std::filesystem::exists(entries[k].path, ec);
            row.stretches.push_back(
                {s.fromMs, gone ? std::max(s.toMs, s.fromMs + 60'000) : s.toMs, entries[k].motion > 0, gone});
        }
        rows.push_back(std::move(row));
    }
    timeline_->SetDay(day_, std::move(rows));
}

void ViewerWindow::UpdateView() {
    std::vector<PaneGrid::View> views;
    QStringList notes;
    for (const Playback::Pane& p : playback_.Panes()) {
        PaneGrid::View v;
        v.title = p.camera ? QString("%1. %2").arg(p.camera).arg(QString::fromStdString(p.title))
                           : QString::fromStdString(p.title);
        v.stamp = QString::fromStdString(p.stamp);
        v.note = QString::fromStdString(p.note);
        v.image = p.image;
        views.push_back(std::move(v));
    }
    panes_->SetViews(std::move(views));
    clock_->setText(playback_.Panes().empty() ? QString() : MomentText(playback_.Clock()));
    play_->setIcon(style()->standardIcon(playback_.Playing() ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    speed_->setText(SpeedText(playback_.Speed()));
    timeline_->SetClock(playback_.Clock());
    timeline_->SetMarks(mark_from_, mark_to_);
    if (!single_file_ && playback_.Clock() / kMsPerDay * kMsPerDay != day_ && !playback_.Panes().empty() &&
        playback_.Clock() > 0) {
        day_ = playback_.Clock() / kMsPerDay * kMsPerDay;  // play went on into the next day
        calendar_->setSelectedDate(kEpoch.addDays(day_ / kMsPerDay));
        UpdateTimeline();
    }
}

void ViewerWindow::OnMoment(qint64 ms, int camera) {
    if (camera > 0 && !single_file_ &&
        std::find(cameras_.begin(), cameras_.end(), camera) == cameras_.end()) {
        std::vector<int> next = cameras_;
        if (static_cast<int>(next.size()) == Playback::kPanes)
            next.pop_back();
        next.insert(next.begin(), camera);
        SetCameras(next);
    } else if (camera > 0 && !cameras_.empty() && cameras_[0] != camera) {
        MakeLead(static_cast<int>(std::find(cameras_.begin(), cameras_.end(), camera) - cameras_.begin()));
    }
    playback_.Seek(ms);
    UpdateView();
}

void ViewerWindow::TickNow(int64_t elapsedMs) {
    playback_.Tick(elapsedMs);
    if (!playback_.Playing())
        tick_->stop();
    UpdateView();
}

void ViewerWindow::RefreshNow() {
    if (!single_file_ && catalog_.Changed()) {
        const int64_t clock = playback_.Clock();
        catalog_.Load();
        playback_.Reload(catalog_);
        if (clock != 0 && !playback_.Playing())
            playback_.Seek(clock);
        UpdateTimeline();
        UpdateView();
        return;
    }
    if (playback_.Refresh()) {
        if (single_file_)
            UpdateTimeline();
        UpdateView();
    }
}

void ViewerWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Space:
        if (playback_.Playing()) {
            playback_.Pause();
            tick_->stop();
        } else if (!playback_.Panes().empty()) {
            playback_.Play();
            since_tick_->start();
            tick_->start();
        }
        break;
    case Qt::Key_Right:
        tick_->stop();
        playback_.StepForward();
        break;
    case Qt::Key_Left:
        tick_->stop();
        playback_.StepBack();
        break;
    case Qt::Key_Home:
        playback_.ToDayStart();
        break;
    case Qt::Key_End:
        playback_.ToDayEnd();
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        playback_.SetSpeed(playback_.SpeedIndex() + 1);
        break;
    case Qt::Key_Minus:
        playback_.SetSpeed(playback_.SpeedIndex() - 1);
        break;
    case Qt::Key_BracketLeft:
        mark_from_ = playback_.Clock();
        if (mark_to_ < mark_from_)
            mark_to_ = 0;
        break;
    case Qt::Key_BracketRight:
        mark_to_ = playback_.Clock();
        if (mark_from_ > mark_to_)
            mark_from_ = 0;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    UpdateView();
}

void ViewerWindow::SaveStretch() {
    if (!MayExport())
        return;
    if (playback_.Panes().empty() || !playback_.Panes()[0].shown.Valid()) {
        Tell("Nie ma nagrania do zapisania: wybierz kamerę i chwilę z nagraniem.");
        return;
    }
    playback_.Pause();
    const Playback::Pane& lead = playback_.MutablePanes()[0];
    CameraTrack& track = *lead.track;
    CameraTrack::Position from, to;
    if (mark_to_ > mark_from_ && mark_from_ > 0) {
        from = track.After(mark_from_ - 1);
        to = track.AtOrBefore(mark_to_);
    } else {
        // No stretch marked: the whole segment of the shown picture.
        const int seg = lead.shown.segment;
        from = {seg, 0};
        to = {seg, track.Reader(seg) ? track.Reader(seg)->Pictures() - 1 : 0};
    }
    if (!from.Valid() || !to.Valid() || track.Moment(to) < track.Moment(from)) {
        Tell("W zaznaczonym odcinku nie ma nagrania tej kamery.");
        return;
    }
    QString base = lead.camera ? QString("Kamera%1_").arg(lead.camera) : QString("Nagranie_");
    base += MomentText(track.Moment(from)).left(19).replace(' ', '_').replace(':', '-');
    const bool stream = StretchIsStream(track, from);
    const QString file = ChooseSaveFile(
        "Zapisz nagranie", QString::fromStdString(work_dir_) + "/" + base + (stream ? ".mp4" : ".avi"),
        stream ? "Nagrania (*.mp4)" : "Nagrania (*.avi)");
    if (file.isEmpty())
        return;
    QProgressDialog progress("Zapisywanie nagrania…", "Przerwij", 0, 100, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    const ExportResult r = ExportStretch(track, from, to, file.toStdString(), [&](size_t done, size_t total) {
        progress.setValue(static_cast<int>(done * 100 / std::max<size_t>(total, 1)));
        return !progress.wasCanceled();
    });
    progress.reset();
    if (!r.ok) {
        Tell("Nie zapisano nagrania " + file + ":\n" + QString::fromStdString(r.error));
        return;
    }
    if (Audit)
        Audit(AuditTrail::kExport, "kamera " + std::to_string(lead.camera) + ", od " +
                                       MomentText(track.Moment(from)).toStdString() + " do " +
                                       MomentText(track.Moment(to)).toStdString() + ", plik " +
                                       file.toStdString() + ", SHA-256 " + Sha256File(file.toStdString()));
    QString text = QString("Zapisano %1 obrazów do %2").arg(r.pictures).arg(file);
    if (r.skipped)
        text += QString(" (pominięto %1 obrazów innej wielkości)").arg(r.skipped);
    Status(text);
}

bool ViewerWindow::MayExport() {
    if (!user_set_ || user_.exportRight)
        return true;
    Tell(QString::fromUtf8(kNoExportRight));
    return false;
}

void ViewerWindow::ExportEvidence() {
    if (!MayExport())
        return;
    if (playback_.Panes().empty() || !playback_.Panes()[0].shown.Valid()) {
        Tell("Nie ma nagrania do zapisania: wybierz kamery i chwilę z nagraniem.");
        return;
    }
    // Signed with the station's key, the one of the working directory (made there if it has none).
    std::string keyError;
    if (!key_)
        key_ = StationKey::LoadOrCreate(work_dir_, keyError);
    if (!key_) {
        Tell("Nie można podpisać eksportu dowodowego:\n" + QString::fromStdString(keyError));
        return;
    }
    playback_.Pause();
    int64_t fromMs = mark_from_, toMs = mark_to_;
    if (!(mark_to_ > mark_from_ && mark_from_ > 0)) {
        // No stretch marked: the lead picture's whole segment, for every camera shown.
        const Playback::Pane& lead = playback_.MutablePanes()[0];
        const int seg = lead.shown.segment;
        const SegmentReader* reader = lead.track->Reader(seg);
        const size_t last = reader && reader->Pictures() > 0 ? reader->Pictures() - 1 : 0;
        fromMs = lead.track->Moment({seg, 0});
        toMs = lead.track->Moment({seg, last});
    }
    // Any camera the user may view that has recordings; the ones shown are ticked at first.
    std::vector<std::pair<int, QString>> offered;
    for (int n = 1; n <= ArchiveCatalog::kCameras; ++n)
        if (catalog_.Allowed(n) && !catalog_.Entries(n).empty())
            offered.emplace_back(n, QString::fromStdString(catalog_.Name(n)));
    const std::vector<int> chosen = ChooseCameras(offered, cameras_);
    if (chosen.empty())
        return;
    std::vector<std::unique_ptr<CameraTrack>> own;  // tracks of cameras not shown
    std::vector<EvidenceCamera> cameras;
    for (int n : chosen) {
        if (!catalog_.Allowed(n))
            continue;
        CameraTrack* track = nullptr;
        for (Playback::Pane& pane : playback_.MutablePanes())
            if (pane.camera == n && pane.track)
                track = pane.track.get();
        if (!track) {
            own.push_back(std::make_unique<CameraTrack>(catalog_.Entries(n)));
            track = own.back().get();
        }
        EvidenceCamera c;
        c.camera = n;
        c.name = catalog_.Name(n);
        c.track = track;
        c.from = c.track->After(fromMs - 1);
        c.to = c.track->AtOrBefore(toMs);
        if (c.from.Valid() && c.to.Valid() && c.track->Moment(c.to) >= c.track->Moment(c.from))
            cameras.push_back(c);
    }
    if (cameras.empty()) {
        Tell("W zaznaczonym odcinku nie ma nagrania żadnej z wybranych kamer.");
        return;
    }
    const QString base = "Dowod_" + MomentText(fromMs).left(19).replace(' ', '_').replace(':', '-');
    const QString folder = ChooseSaveFile("Eksport dowodowy: nowy folder",
                                          QString::fromStdString(work_dir_) + "/" + base, "Foldery (*)");
    if (folder.isEmpty())
        return;
    EvidenceInfo info;
    info.station = catalog_.Station();
    info.key = key_.get();
    info.user = user_.login;
    info.exportedAt = QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss").toStdString();
    info.from = MomentText(fromMs).toStdString();
    info.to = MomentText(toMs).toStdString();
    QProgressDialog progress("Eksport dowodowy…", "Przerwij", 0, 100, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    const EvidenceResult r =
        kel::ExportEvidence(cameras, info, folder.toStdString(), [&](size_t done, size_t total) {
            progress.setValue(static_cast<int>(done * 100 / std::max<size_t>(total, 1)));
            return !progress.wasCanceled();
        });
    progress.reset();
    if (r.cancelled) {
        Status("Eksport dowodowy przerwany; nic nie zapisano.");
        return;
    }
    if (!r.ok) {
        Tell("Nie zapisano eksportu " + folder + ":\n" + QString::fromStdString(r.error));
        return;
    }
    std::string which;
    for (const EvidenceCamera& c : cameras)
        which += (which.empty() ? "" : ",") + std::to_string(c.camera);
    if (Audit)
        Audit(AuditTrail::kExport, "dowodowy, kamery " + which + ", od " + info.from + " do " + info.to +
                                       ", folder " + folder.toStdString() + ", manifest SHA-256 " +
                                       Sha256File(folder.toStdString() + "/" + kManifestFile));
    Status(QString("Zapisano eksport dowodowy %1: %2 kamer, %3 obrazów")
               .arg(folder)
               .arg(cameras.size())
               .arg(r.pictures));
}

void ViewerWindow::SavePicture() {
    if (playback_.Panes().empty() || playback_.Panes()[0].image.isNull()) {
        Tell("Nie ma obrazu do zapisania.");
        return;
    }
    const Playback::Pane& lead = playback_.Panes()[0];
    QString base = lead.camera ? QString("Kamera%1_").arg(lead.camera) : QString("Obraz_");
    base += MomentText(playback_.Clock()).replace(' ', '_').replace(':', '-').replace('.', '-');
    const QString file = ChooseSaveFile(
        "Zapisz obraz", QString::fromStdString(work_dir_) + "/" + base + ".png", "Obrazy PNG (*.png)");
    if (file.isEmpty())
        return;
    std::string error;
    if (!ExportPicture(lead.image, file.toStdString(), error)) {
        Tell("Nie zapisano obrazu:\n" + QString::fromStdString(error));
        return;
    }
    if (Audit)
        Audit(AuditTrail::kSnapshot, "kamera " + std::to_string(lead.camera) + ", chwila " +
                                         MomentText(playback_.Clock()).toStdString() + ", plik " +
                                         file.toStdString() + ", SHA-256 " + Sha256File(file.toStdString()));
    Status("Zapisano obraz " + file);
}

void ViewerWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void ViewerWindow::dropEvent(QDropEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile())
        OpenFile(urls.first().toLocalFile());
}

}  // namespace kel
