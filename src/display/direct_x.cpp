#include "display/direct_x.h"

#include <QPainter>
#include <algorithm>
#include <cstring>

#include "display/layout_geometry.h"
#include "display/rounding.h"
#include "platform/guarded.h"
#include "platform/skins_folder.h"

namespace kel {

namespace {

// The set-up texts keep the codes and wording operators and tools know.
constexpr const char* kNoDisplay = "{#0010} Brak badz niewlasciwa wersja bibliotek Direct X";
constexpr const char* kNoScaling = "{#0012} Brak wspomagania trybu OVERLAY";
constexpr const char* kFullScreenOnly = "{#0013} Wybrany tryb dziala jedynie w trybie FULLSCREEN";
constexpr const char* kNoPictureFormat = "{#0014} Format Obrazu Nieobslugiwany";
constexpr const char* kNoScreen = "{#0015} Brak mozliwosci utworzenia Primary Surface";
constexpr const char* kNoDisplayMode = "{#0018} Blad podczas pobierania danych o trybie wyswietlania";
constexpr const char* kNoBackSurface = "{#0019} Blad podczas tworzenia Back Surface";

constexpr int kMaxPictureWidth = 704;
constexpr int kMaxPictureHeight = 576;
constexpr int kZoneTint = 20;

bool IsCamera(int camera) {
    return camera >= 1 && camera <= kCameraCount;
}

QColor FromColorRef(uint32_t c) {
    return QColor(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff);
}

}  // namespace

TDirectX::TDirectX(const DisplayPlatform& platform)
    : platform_(platform), zone_masks_(kZoneMaskBytes * kCameraCount, 0) {}

TDirectX::~TDirectX() = default;

bool TDirectX::Fail(const char* text) {
    error_text_ = text;
    return false;
}

bool TDirectX::Init(int width, int height, VideoSink* window) {
    window_width_ = width;
    window_height_ = height;
    // The fonts need the application's font database, so the connection is checked first.
    if (!platform_.Connected())
        return Fail(kNoDisplay);
    text_ = std::make_unique<TileText>();
    if (!platform_.WindowedMode())
        return Fail(kFullScreenOnly);
    if (!platform_.HasScreen())
        return Fail(kNoScreen);
    memory_left_ = platform_.SurfaceMemory();
    if (!platform_.CanConvert(PixelFormat::Rgb32, PixelFormat::Rgb32))
        return Fail(kNoScaling);
    Surface probe;
    if (!platform_.CanConvert(PixelFormat::Uyvy, PixelFormat::Rgb32) ||
        !CreateOffscreenSurface(10, 10, probe, PixelFormat::Uyvy))
        return Fail(kNoPictureFormat);
    memory_left_ += probe.SizeBytes();
    display_bit_count_ = platform_.ScreenDepth();
    if (display_bit_count_ <= 0)
        return Fail(kNoDisplayMode);
    SetClipperWindow(window);
    back_width_ = width - kVideoLeft;
    back_height_ = height - kVideoTop;
    if (!CreateOffscreenSurface(back_width_, back_height_, back_, PixelFormat::Rgb32))
        return Fail(kNoBackSurface);
    return true;
}

bool TDirectX::CreateOffscreenSurface(int width, int height, Surface& slot, PixelFormat format) {
    memory_left_ += slot.SizeBytes();
    slot.Reset();
    size_t bytes = Surface::BytesFor(width, height, format);
    if (bytes == 0 || bytes > memory_left_ || !slot.Allocate(width, height, format))
        return false;
    memory_left_ -= bytes;
    return true;
}

int32_t TDirectX::VideoMemoryMB() const {
    uint64_t mb = platform_.SurfaceMemory() >> 20;
    return static_cast<int32_t>(std::min<uint64_t>(mb, INT32_MAX));
}

bool TDirectX::LoadDisplayBitmaps(const std::string& skin, int width) {
    stretched_.Clear();
    redraw_all_ = true;
    bitmaps_.Reset();
    const std::string folder = SkinFolderPath(skin, width);
    if (!bitmaps_.Load(folder, map_file_, memory_left_))
        return false;
    // Created once at the largest picture size, so a change of resolution never re-creates one.
    // A camera without a surface shows nothing.
    for (int n = 1; n <= kCameraCount; ++n)
        CreateOffscreenSurface(kMaxPictureWidth, kMaxPictureHeight, cam_surface_[n], PixelFormat::Uyvy);
    return true;
}

void TDirectX::Release() {
    sink_ = nullptr;
    stretched_.Clear();
    redraw_all_ = true;
    presented_ = {};
    bitmaps_.Reset();
    back_.Reset();
    for (Surface& s : cam_surface_)
        s.Reset();
    for (int n = 1; n <= kCameraCount; ++n)
        Hold(n, nullptr, 0, 0);
    MutexLock lock(mutex_);
    last_back_ = QImage();
}

// --- Settings ---

void TDirectX::SetCameraRecords(CameraTablePtr records) {
    if (!records)
        return;
    MutexLock lock(mutex_);
    records_ = std::move(records);
}

CameraTablePtr TDirectX::Records() const {
    MutexLock lock(mutex_);
    return records_;
}

bool TDirectX::SetClipperWindow(VideoSink* window) {
    sink_ = window;
    return true;
}

void TDirectX::SetMapFile(const std::string& file) {
    map_file_ = file;
}

void TDirectX::SetPlanIcons(const TCamIconTable& icons) {
    MutexLock lock(mutex_);
    plan_icons_ = icons;
}

void TDirectX::SetZoneMask(int camera, const uint8_t* mask) {
    if (!IsCamera(camera) || !mask)
        return;
    MutexLock lock(mutex_);
    std::memcpy(&zone_masks_[(camera - 1) * kZoneMaskBytes], mask, kZoneMaskBytes);
}

void TDirectX::SetAllowed(const uint8_t* rights) {
    for (int n = 1; n <= kCameraCount; ++n)
        Allowed[n] = rights ? rights[n - 1] : 0;
}

// --- Uploads ---

Surface* TDirectX::UploadTarget(int camera, int width, int height) {
    if (!IsCamera(camera) || width <= 0 || height <= 0 || width > kMaxPictureWidth ||
        height > kMaxPictureHeight)
        return nullptr;
    Surface& s = cam_surface_[camera];
    return s.Valid() ? &s : nullptr;
}

void TDirectX::UploadFrame(int width, int height, int camera, const uint8_t* frame) {
    Surface* target = frame ? UploadTarget(camera, width, height) : nullptr;
    if (!target)
        return;
    Surface& s = *target;
    const size_t row = static_cast<size_t>(width) * 2;
    for (int y = 0; y < height; ++y)
        std::memcpy(s.Line(y), frame + row * y, row);
    Hold(camera, nullptr, 0, 0);
    ++uploads_[camera];
}

void TDirectX::UploadFrameWithZones(int width, int height, int camera, const uint8_t* frame) {
    UploadFrame(width, height, camera, frame);
    if (ShowZones.load(std::memory_order_relaxed))
        TintZones(width, height, camera);
}

void TDirectX::UploadFrom(const FrameBank& bank, int camera, int width, int height, bool zones) {
    if (!UploadTarget(camera, width, height))
        return;
    FrameBank::PicturePtr picture = bank.Newest(camera);
    const size_t bytes = static_cast<size_t>(width) * 2 * static_cast<size_t>(height);
    if (!picture || !picture->data || picture->info.bytes < bytes)
        return;
    if (zones && ShowZones.load(std::memory_order_relaxed)) {
        // The tint is painted on a copy: the bank's picture is the recorder's too.
        UploadFrame(width, height, camera, picture->data);
        TintZones(width, height, camera);
        return;
    }
    Hold(camera, std::move(picture), width, height);
    ++uploads_[camera];
}

void TDirectX::Hold(int camera, FrameBank::PicturePtr picture, int width, int height) {
    held_view_[camera] = picture ? Surface::View(picture->data, width, height, PixelFormat::Uyvy,
                                                 static_cast<size_t>(width) * 2)
                                 : Surface();
    held_half_[camera] = held_view_[camera].Valid() && picture->half
                             ? Surface::View(picture->half, width / 2, height / 2, PixelFormat::Uyvy,
                                             static_cast<size_t>(width))
                             : Surface();
    held_[camera] = held_view_[camera].Valid() ? std::move(picture) : nullptr;
}

// The zone grid has 176 x 144 cells whatever the picture size; every byte of a cell whose mask
// byte is 1 is raised by 20, wrapping (so the zone shows brighter and tinted).
void TDirectX::TintZones(int width, int height, int camera) {
    Surface& s = cam_surface_[camera];
    const int cellBytes = 2 * width / kZoneCols, cellRows = height / kZoneRows;
    if (!s.Valid() || cellBytes == 0 || cellRows == 0)
        return;
    std::vector<uint8_t> mask(kZoneMaskBytes);
    {
        MutexLock lock(mutex_);
        std::memcpy(mask.data(), &zone_masks_[(camera - 1) * kZoneMaskBytes], kZoneMaskBytes);
    }
    const int rows = std::min(height, cellRows * kZoneRows),
              bytes = std::min(2 * width, cellBytes * kZoneCols);
    for (int y = 0; y < rows; ++y) {
        const uint8_t* cells = &mask[static_cast<size_t>(y / cellRows) * kZoneCols];
        uint8_t* line = s.Line(y);
        for (int b = 0; b < bytes; ++b)
            if (cells[b / cellBytes] == 1)
                line[b] = static_cast<uint8_t>(line[b] + kZoneTint);
    }
}

void TDirectX::SetStamp(int camera, const std::string& time, const std::string& date) {
    if (!IsCamera(camera))
        return;
    stamp_time_[camera] = time.substr(0, 9);
    stamp_date_[camera] = date.substr(0, 11);
}

std::string TDirectX::StampText(int camera, const TCameraRecord& record) {
    // A camera switched off has no last picture worth a time: its stamp goes, and one switched on
    // again shows none until its first new picture.
    if (record.Active == 0) {
        stamp_time_[camera].clear();
        stamp_date_[camera].clear();
        return {};
    }
    return stamp_date_[camera] + " " + stamp_time_[camera];
}

// --- Composition ---

bool TDirectX::ClearBack() {
    redraw_all_ = true;
    Changed(nullptr);
    return PaintBackground(back_.Bounds());
}

bool TDirectX::PaintBackground(const Rect& area) {
    const Surface* bg = stretched_.Get(bitmaps_.Background, bitmaps_.Background.Bounds(), back_width_,
                                       back_height_, blitter_);
    const Rect part = area.Intersected(back_.Bounds());
    return bg && !part.Empty() && Blitter::Copy(*bg, part, back_, part.left, part.top);
}

bool TDirectX::DrawGrid(std::span<const int32_t> cameras, int n, bool fullScreen) {
    if (n < 1 || n > 4)
        return true;
    std::vector<Rect> tiles = GridTiles(window_width_, n);
    return Compose(cameras, tiles, fullScreen ? GridHits(TargetWidth(), TargetHeight(), n) : tiles,
                   fullScreen);
}

bool TDirectX::DrawLayout8(std::span<const int32_t> cameras, bool fullScreen) {
    std::vector<Rect> tiles = EightTiles(window_width_);
    return Compose(cameras, tiles, fullScreen ? EightHits(TargetWidth(), TargetHeight()) : tiles, fullScreen);
}

bool TDirectX::DrawLayout13(std::span<const int32_t> cameras, bool fullScreen) {
    std::vector<Rect> tiles = ThirteenTiles(window_width_);
    return Compose(cameras, tiles, fullScreen ? ThirteenHits(TargetWidth(), TargetHeight()) : tiles,
                   fullScreen);
}

// Tiles are drawn in list order, each picture with its text, and the tile table is published
// whole at the end, so HitTest never sees a table half rebuilt. A tile that would be drawn as it
// was on the last pass is left alone.
bool TDirectX::Compose(std::span<const int32_t> cameras, const std::vector<Rect>& tiles,
                       const std::vector<Rect>& hits, bool fullScreen) {
    const bool whole = redraw_all_ || tiles != drawn_tiles_;
    if (whole) {
        PaintBackground(back_.Bounds());
        drawn_.fill(TileDrawn{});
        drawn_tiles_ = tiles;
        redraw_all_ = false;
        Changed(nullptr);
    }
    const CameraTablePtr shared = Records();
    const TCameraTable& records = *shared;
    const TileTextStyle style = TextStyle();
    TileTable table{};
    uint32_t halves = 0;
    const size_t count = std::min({cameras.size(), tiles.size(), hits.size()});
    for (size_t i = 0; i < count; ++i) {
        const int camera = cameras[i];
        TileDrawn now;
        now.tile = tiles[i];
        if (IsCamera(camera)) {
            const Rect& hit = fullScreen ? hits[i] : tiles[i];
            table[i + 1] = {hit.left, hit.top, hit.right, hit.bottom, camera, 1};
            now = Describe(camera, tiles[i], records[camera - 1], style);
            if (now.kind == TileKind::Picture &&
                Blitter::ScalesFromHalf(now.from, tiles[i].Width(), tiles[i].Height()))
                halves |= 1u << camera;
        }
        if (now == drawn_[i + 1])
            continue;
        if (IsCamera(camera))
            Paint(now, style);
        else
            PaintBackground(tiles[i]);  // a camera taken out of the list leaves its tile empty
        drawn_[i + 1] = std::move(now);
        tiles_drawn_.fetch_add(1, std::memory_order_relaxed);
        Changed(&tiles[i]);
    }
    halves_wanted_ = halves;
    MutexLock lock(mutex_);
    tiles_ = table;
    return true;
}

// The first rule that applies wins: a switched-off camera, no signal, no right to watch, and only
// then the picture.
TDirectX::TileKind TDirectX::KindOf(int camera, const TCameraRecord& record) const {
    if (record.Active == 0)
        return TileKind::NoCamera;
    if (CameraSignal[camera].load(std::memory_order_relaxed) == 0)
        return TileKind::NoSignal;
    if (Allowed[camera].load(std::memory_order_relaxed) == 0)
        return TileKind::NotAllowed;
    return TileKind::Picture;
}

Rect TDirectX::PictureFrom(int camera, int32_t resolution) {
    PictureSize p = ResolutionSize(resolution);
    const Rect whole{0, 0, p.width, p.height};
    Rect from = whole;
    if (IsCamera(camera)) {
        MutexLock lock(mutex_);
        if (zoom_.Active())
            from = zoom_.Take().Intersected(whole);
    }
    return from.Empty() ? whole : from;
}

TDirectX::TileDrawn TDirectX::Describe(int camera, const Rect& tile, const TCameraRecord& record,
                                       const TileTextStyle& style) {
    TileDrawn d;
    d.camera = camera;
    d.tile = tile;
    d.kind = KindOf(camera, record);
    if (d.kind == TileKind::Picture) {
        d.upload = uploads_[camera];
        d.from = PictureFrom(camera, record.Resolution);
    }
    const bool recording = style.rec && Recording[camera].load(std::memory_order_relaxed) == 1;
    if (!text_ || (!style.names && !recording))
        return d;
    d.text = (style.names ? 1 : 0) | (recording ? 2 : 0) | (style.shadow ? 4 : 0);
    d.color = style.color.rgb();
    if (style.names) {
        d.name = record.Name.Get();
        d.stamp = StampText(camera, record);
    }
    return d;
}

// The tile's panel or picture; false when nothing could be drawn.
bool TDirectX::DrawKind(TileKind kind, int camera, const Rect& tile, const Rect& from) {
    switch (kind) {
    case TileKind::NoCamera:
        return DrawPanel(bitmaps_.PanelNoCam, tile);
    case TileKind::NoSignal:
        return DrawPanel(bitmaps_.PanelNoSignal, tile);
    case TileKind::NotAllowed:
        return DrawPanel(bitmaps_.PanelNotAllowed, tile);
    case TileKind::Picture:
        return DrawPicture(camera, tile, from);
    case TileKind::None:
        break;
    }
    return false;
}

void TDirectX::Paint(const TileDrawn& d, const TileTextStyle& style) {
    if (!DrawKind(d.kind, d.camera, d.tile, d.from))
        PaintBackground(d.tile);
    if (d.text == 0 || !back_.Valid())
        return;
    QImage image = back_.Wrap();
    QPainter painter(&image);
    text_->Draw(painter, d.tile, QString::fromStdString(d.name), QString::fromStdString(d.stamp),
                (d.text & 2) != 0, style);
}

bool TDirectX::DrawTile(int camera, const Rect& tile, const TCameraRecord& record) {
    if (!IsCamera(camera))
        return false;
    redraw_all_ = true;
    Changed(nullptr);
    const TileKind kind = KindOf(camera, record);
    return DrawKind(kind, camera, tile,
                    kind == TileKind::Picture ? PictureFrom(camera, record.Resolution) : Rect{});
}

bool TDirectX::DrawPanel(const Surface& panel, const Rect& tile) {
    if (tile.Empty() || !tile.Within(back_width_, back_height_))
        return false;
    Rect used = Rect{0, 0, kPanelWidth, kPanelHeight}.Intersected(panel.Bounds());
    const Surface* fit = stretched_.Get(panel, used, tile.Width(), tile.Height(), blitter_);
    return fit && Blitter::Copy(*fit, fit->Bounds(), back_, tile.left, tile.top);
}

bool TDirectX::DrawPicture(int camera, const Rect& tile, const Rect& from) {
    const Surface& s = CameraSurface(camera);
    const Surface* half = held_half_[camera].Valid() ? &held_half_[camera] : nullptr;
    return s.Valid() && blitter_.Blit(s, from, back_, tile, half);
}

TileTextStyle TDirectX::TextStyle() const {
    TileTextStyle style;
    style.color = FromColorRef(TextColor.load(std::memory_order_relaxed));
    const bool preview = PreviewOverlay.load(std::memory_order_relaxed) != 0;
    style.names = (ShowNames.load(std::memory_order_relaxed) != 0 || preview) &&
                  HideNames.load(std::memory_order_relaxed) == 0;
    style.shadow = TextShadow.load(std::memory_order_relaxed) != 0;
    style.rec = ShowRec.load(std::memory_order_relaxed) != 0 || preview;
    return style;
}

void TDirectX::DrawTileText(const Rect& tile, int camera, const TCameraRecord& record) {
    if (!IsCamera(camera) || !text_ || !back_.Valid())
        return;
    const TileTextStyle style = TextStyle();
    const bool recording = Recording[camera].load(std::memory_order_relaxed) == 1;
    if (!style.names && !(style.rec && recording))
        return;
    redraw_all_ = true;
    Changed(nullptr);
    QImage image = back_.Wrap();
    QPainter painter(&image);
    const QString stamp = QString::fromStdString(StampText(camera, record));
    text_->Draw(painter, tile, QString::fromStdString(record.Name.Get()), stamp, recording, style);
}

// The plan is the 598 x 472 editor's picture stretched over the video area, so the icons' editor
// positions are scaled the same way.
void TDirectX::DrawPlan() {
    ClearBack();
    const Rect area{2, 10, back_width_ - 10, back_height_ - 10};
    if (!area.Empty()) {
        if (const Surface* plan =
                stretched_.Get(bitmaps_.Plan, bitmaps_.Plan.Bounds(), area.Width(), area.Height(), blitter_))
            Blitter::Copy(*plan, plan->Bounds(), back_, area.left, area.top);
    }
    TCamIconTable icons;
    {
        MutexLock lock(mutex_);
        icons = plan_icons_;
    }
    std::array<Rect, kCameraCount + 1> boxes{};
    for (int i = 1; i <= kCameraCount; ++i) {
        const TCamIconRecord& icon = icons[i - 1];
        if (icon.Placed == 0)
            continue;
        int left = RoundEven(static_cast<long double>(back_width_ + 2) * icon.X / kPlanEditorWidth);
        int top = RoundEven(static_cast<long double>(back_height_ + 10) * icon.Y / kPlanEditorHeight) + 10;
        boxes[i] = Rect::Sized(left, top, kIconSize, kIconSize);
        const Surface& bitmap =
            Motion[i].load(std::memory_order_relaxed) == 1 ? bitmaps_.IconMotion[i] : bitmaps_.Icon[i];
        if (const Surface* fit = stretched_.Get(bitmap, bitmap.Bounds(), kIconSize, kIconSize, blitter_))
            Blitter::Copy(*fit, fit->Bounds(), back_, left, top);
    }
    MutexLock lock(mutex_);
    icon_box_ = boxes;
}

// --- Presentation ---

void TDirectX::Changed(const Rect* area) {
    ++generation_;
    if (area)
        changed_ += QRect(area->left, area->top, area->Width(), area->Height());
    else
        changed_whole_ = true;
}

void TDirectX::Publish(const QImage& back, PresentTarget target, const QImage& picture,
                       const QRegion& changed) {
    {
        MutexLock lock(mutex_);
        last_back_ = back;
    }
    if (VideoSink* sink = sink_.load())
        sink->Present(target, picture, changed);
}

bool TDirectX::AlreadyPresented(PresentTarget target, int width, int height, bool& whole) {
    const PresentedAs now{target, width, height, sink_.load(), generation_};
    if (now == presented_)
        return true;
    PresentedAs before = presented_;
    before.generation = generation_;
    whole = changed_whole_ || !(before == now);
    presented_ = now;
    presentations_.fetch_add(1, std::memory_order_relaxed);
    return false;
}

// Only the tiles drawn since the last presentation are shown again; the window repaints those.
bool TDirectX::PresentWindow() {
    bool whole = true;
    if (AlreadyPresented(PresentTarget::MainWindow, back_width_, back_height_, whole))
        return sink_.load() != nullptr;
    QImage back = back_.Copy(back_.Bounds());
    if (back.isNull())
        return false;
    Publish(back, PresentTarget::MainWindow, back, whole ? QRegion() : changed_);
    changed_ = QRegion();
    changed_whole_ = false;
    return sink_.load() != nullptr;
}

bool TDirectX::PresentScaled(PresentTarget target, int width, int height) {
    target_width_ = width;
    target_height_ = height;
    bool whole = true;
    if (AlreadyPresented(target, width, height, whole))
        return sink_.load() != nullptr;
    QImage back = back_.Copy(back_.Bounds());
    if (back.isNull() || width <= 0 || height <= 0)
        return false;
    QImage picture(width, height, QImage::Format_RGB32);
    Rect from = UsedArea(back_width_).Intersected(back_.Bounds());
    if (picture.isNull() || !blitter_.BlitImage(back_, from, picture))
        return false;
    Publish(back, target, picture, QRegion());
    changed_ = QRegion();
    changed_whole_ = false;
    return sink_.load() != nullptr;
}

QImage TDirectX::CopyToImage(int width, int height) const {
    QImage back;
    {
        MutexLock lock(mutex_);
        back = last_back_;
    }
    if (back.isNull() || width <= 0 || height <= 0)
        return {};
    QRect part = QRect(0, 0, back_width_, NineElevenths(back_width_)).intersected(back.rect());
    return back.copy(part).scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// --- Window thread: the mouse ---

int32_t TDirectX::HitTest(int x, int y, bool planView) const {
    MutexLock lock(mutex_);
    if (planView) {
        for (int i = 1; i <= kCameraCount; ++i)
            if (plan_icons_[i - 1].Placed != 0 && icon_box_[i].StrictlyContains(x, y))
                return i;
        return kNoHit;
    }
    for (int slot = 1; slot <= kCameraCount; ++slot) {
        const TTile& t = tiles_[slot];
        if (t.Valid != 0 && Rect{t.X1, t.Y1, t.X2, t.Y2}.StrictlyContains(x, y))
            return slot;
    }
    return kNoHit;
}

void TDirectX::ZoomStart(int camera, int x, int y) {
    if (!IsCamera(camera))
        return;
    MutexLock lock(mutex_);
    const TTile& t = tiles_[1];
    zoom_.Start(ResolutionSize((*records_)[camera - 1].Resolution), {t.X1, t.Y1, t.X2, t.Y2}, x, y);
}

void TDirectX::ZoomPan(int camera, int x, int y) {
    if (!IsCamera(camera))
        return;
    MutexLock lock(mutex_);
    const TTile& t = tiles_[1];
    zoom_.Pan(ResolutionSize((*records_)[camera - 1].Resolution), {t.X1, t.Y1, t.X2, t.Y2}, x, y);
}

void TDirectX::ZoomStop() {
    MutexLock lock(mutex_);
    zoom_.Stop();
}

bool TDirectX::ZoomActive() const {
    MutexLock lock(mutex_);
    return zoom_.Active();
}

// --- State ---

TTile TDirectX::Tile(int slot) const {
    if (!IsCamera(slot))
        return {};
    MutexLock lock(mutex_);
    return tiles_[slot];
}

Rect TDirectX::IconBox(int camera) const {
    if (!IsCamera(camera))
        return {};
    MutexLock lock(mutex_);
    return icon_box_[camera];
}

DigitalZoom TDirectX::Zoom() const {
    MutexLock lock(mutex_);
    return zoom_;
}

bool TDirectX::HasCameraSurface(int camera) const {
    return IsCamera(camera) && cam_surface_[camera].Valid();
}

}  // namespace kel
