#pragma once
// TDirectX: the renderer, the one object that puts camera pictures on the screen.
//
// It is a software renderer. A camera's newest picture is held straight from the frame bank (no
// copy; the bank never rewrites a published picture), or, given as bytes or tinted for the zone
// editor, copied into the camera's own 704 x 576 UYVY surface; each pass of the display thread stretches them
// into their tiles on the RGB32 back surface ((Width - 250) x (Height - 41)), converting the colours on the
// way, lays the skin's panels, site plan and icons there and draws the tile texts with QPainter; the finished
// picture is then handed to the widget of the current view mode: 1:1 to the main window's video area, or the
// used part stretched to the SmartView window, the whole screen or the configuration preview.
//
// Threads. The window thread sets it up (Init, LoadDisplayBitmaps) before the display thread
// starts and releases it after that thread has ended. While both run, the display thread composes
// and presents; the window thread changes the settings, asks HitTest, drives the zoom and takes
// snapshots.
//
// A pass draws only what changed. Each tile keeps what it shows (the camera, its panel or the
// upload of its picture, the zoom, its texts); a tile whose description is the same as on the
// last pass is left as it is on the back surface, so a steady layout scales only the cameras with
// a new picture. A new layout, new bitmaps or the site plan make the next pass draw everything,
// and a picture that did not change is not presented again. Settings are atomics or copies taken under a
// short lock; the window thread never waits for a pass, and no lock is held while a picture is scaled or
// copied.

#include <QImage>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "capture/frame_bank.h"
#include "capture/resolution.h"
#include "config/applied_config.h"
#include "config/records.h"
#include "display/blitter.h"
#include "display/digital_zoom.h"
#include "display/display_bitmaps.h"
#include "display/display_platform.h"
#include "display/rect.h"
#include "display/stretch_cache.h"
#include "display/surface.h"
#include "display/tile_text.h"
#include "display/video_sink.h"
#include "platform/guarded.h"

namespace kel {

// One entry of the tile table: where a layout put a camera, as the mouse finds it.
struct TTile {
    int32_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;  // right and bottom exclusive
    int32_t Camera = 0;
    uint8_t Valid = 0;
};

class TDirectX {
public:
    static constexpr int kVideoLeft = 250;  // the video area's corner in the main window
    static constexpr int kVideoTop = 41;
    static constexpr int32_t kNoHit = 255;
    static constexpr int kIconSize = 50;
    static constexpr int kPlanEditorWidth = 598;  // the configuration dialog's plan editor
    static constexpr int kPlanEditorHeight = 472;
    static constexpr int kPanelWidth = 352;  // the used part of a panel bitmap
    static constexpr int kPanelHeight = 288;
    static constexpr size_t kZoneMaskBytes = 25345;

    explicit TDirectX(const DisplayPlatform& platform);
    ~TDirectX();
    TDirectX(const TDirectX&) = delete;
    TDirectX& operator=(const TDirectX&) = delete;

    // --- Set-up and release. Window thread; Init and LoadDisplayBitmaps before the display thread
    // starts, Release after it has ended.

    // Sets up for an application of width x height presenting to `window` (nullptr: compose
    // without presenting). False with ErrorText() holding the coded reason.
    bool Init(int width, int height, VideoSink* window);
    // The memory the surfaces may take, in MiB, read afresh; 0 when it cannot be told.
    int32_t VideoMemoryMB() const;
    // Loads the video-area bitmaps of "Skins/<skin>/<width>/" and creates the camera surfaces.
    // False when a required bitmap is missing or does not fit in memory.
    bool LoadDisplayBitmaps(const std::string& skin, int width);
    // Frees every surface. Composition afterwards draws nothing.
    void Release();
    const std::string& ErrorText() const { return error_text_; }

    // --- Settings. Window thread, at any time.

    // The camera table (names, active flags, resolutions) the next pass uses; kept, not copied.
    void SetCameraRecords(CameraTablePtr records);
    void SetCameraRecords(const TCameraTable& records) { SetCameraRecords(ShareTable(records)); }
    // The table in use. Any thread.
    CameraTablePtr Records() const;
    // Where finished pictures go from the next pass on; nullptr presents nothing. Always true.
    bool SetClipperWindow(VideoSink* window);
    void SetMapFile(const std::string& file);
    void SetPlanIcons(const TCamIconTable& icons);
    // Camera n's zone grid, 176 x 144 cells row by row (kZoneMaskBytes bytes).
    void SetZoneMask(int camera, const uint8_t* mask);
    // The logged-in user's camera rights (camera 1 first); nullptr for nobody.
    void SetAllowed(const uint8_t* rights);

    std::atomic<uint32_t> TextColor{0};  // 0x00BBGGRR
    std::atomic<uint8_t> ShowNames{0};
    std::atomic<uint8_t> TextShadow{0};
    std::atomic<uint8_t> ShowRec{0};
    std::atomic<uint8_t> HideNames{0};  // 1 while SmartView is on
    std::atomic<uint8_t> ShowZones{0};  // tint zone cells on upload (the zone editor)
    // Names and "REC" shown whatever the two switches say: the configurator's preview. The
    // display thread sets it on every pass from the view mode, so the switches the window thread
    // gives are never overwritten by the preview.
    std::atomic<uint8_t> PreviewOverlay{0};
    // 0 while no window shows the pictures (hidden in the tray, minimised, headless): the display
    // thread then uploads, composes and presents nothing.
    std::atomic<uint8_t> Watched{1};
    CameraFlags CameraSignal{};  // non-zero: the camera's input has a picture
    CameraFlags Allowed{};       // the user may watch the camera
    // Refreshed by the display thread on every pass.
    CameraFlags Motion{};     // the site plan shows the motion icon
    CameraFlags Recording{};  // the tile shows "REC"

    // --- Composition and presentation. Display thread only.

    // Copies one UYVY frame of width x height (rows of 2 x width bytes) into camera n's surface;
    // the WithZones variant brightens the bytes of zone cells while ShowZones is on. A camera
    // outside 1..16, a size beyond 704 x 576 or a missing surface copies nothing.
    void UploadFrame(int width, int height, int camera, const uint8_t* frame);
    void UploadFrameWithZones(int width, int height, int camera, const uint8_t* frame);
    // The same from the frame bank: camera n's newest picture is held and drawn from where it is;
    // only while zones are tinted is it copied. A picture smaller than width x height is skipped.
    void UploadFrom(const FrameBank& bank, int camera, int width, int height, bool zones);
    // The time and date of camera n's last shown frame.
    void SetStamp(int camera, const std::string& time, const std::string& date);

    bool ClearBack();
    // The layouts: `cameras` is the layout's list (slot 1 first). Camera numbers outside 1..16
    // leave their tile empty and out of the tile table. Always true.
    bool DrawGrid(std::span<const int32_t> cameras, int n, bool fullScreen);
    bool DrawLayout8(std::span<const int32_t> cameras, bool fullScreen);
    bool DrawLayout13(std::span<const int32_t> cameras, bool fullScreen);
    // One tile's picture or status panel; false when nothing could be drawn.
    bool DrawTile(int camera, const Rect& tile, const TCameraRecord& record);
    void DrawTileText(const Rect& tile, int camera, const TCameraRecord& record);
    void DrawPlan();
    // The back surface to the main window's video area, 1:1.
    bool PresentWindow();
    // The used part of the back surface stretched to width x height for `target`.
    bool PresentScaled(PresentTarget target, int width, int height);

    // --- Window thread, while the display thread runs.

    // The slot under (x, y), or in the plan view the camera whose icon is there; kNoHit for none.
    int32_t HitTest(int x, int y, bool planView) const;
    // Digital zoom on camera n's picture, (x, y) in tile-table coordinates. Before any layout
    // pass, or for a camera outside 1..16, nothing happens.
    void ZoomStart(int camera, int x, int y);
    void ZoomPan(int camera, int x, int y);
    void ZoomStop();
    bool ZoomActive() const;
    // The last composed picture, the 11:9 part from its top-left corner, stretched to width x
    // height (the snapshot); null before the first presentation.
    QImage CopyToImage(int width, int height) const;

    // --- State, for the windows and tests.
    int WindowWidth() const { return window_width_; }
    int WindowHeight() const { return window_height_; }
    int BackWidth() const { return back_width_; }
    int BackHeight() const { return back_height_; }
    int DisplayBitCount() const { return display_bit_count_; }
    int TargetWidth() const { return target_width_.load(std::memory_order_relaxed); }
    int TargetHeight() const { return target_height_.load(std::memory_order_relaxed); }
    TTile Tile(int slot) const;
    Rect IconBox(int camera) const;
    DigitalZoom Zoom() const;
    bool HasCameraSurface(int camera) const;
    // Display thread (or when it is not running): what camera n's tiles are drawn from (1..16),
    // the held bank picture or the camera's own surface.
    const Surface& CameraSurface(int camera) const {
        return held_view_[camera].Valid() ? held_view_[camera] : cam_surface_[camera];
    }
    const DisplayBitmaps& Bitmaps() const { return bitmaps_; }
    // Display thread (or when it is not running): the back surface itself.
    const Surface& Back() const { return back_; }
    // Tiles drawn (scaled or copied) and pictures presented so far. Any thread.
    uint64_t TilesDrawn() const { return tiles_drawn_.load(std::memory_order_relaxed); }
    uint64_t Presentations() const { return presentations_.load(std::memory_order_relaxed); }
    // Display thread: the cameras (bit n for camera n) the last layout pass showed in a tile at most
    // half their picture's size, whose halves (FrameBank::WantHalves) spare it a halving.
    uint32_t HalvesWanted() const { return halves_wanted_; }
    // Display thread: the next pass draws every tile, as if nothing had been drawn before.
    void RedrawAll() { redraw_all_ = true; }

private:
    enum class TileKind { None, NoCamera, NoSignal, NotAllowed, Picture };
    // What a tile showed when it was drawn; a pass draws it again only when this changed.
    struct TileDrawn {
        int camera = 0;
        Rect tile;
        TileKind kind = TileKind::None;
        uint64_t upload = 0;  // the camera's uploads when its picture was drawn
        Rect from;            // the part of the picture shown (the zoom)
        uint8_t text = 0;     // which texts: 1 names and stamp, 2 "REC", 4 shadows (0: none drawn)
        uint32_t color = 0;
        std::string name;
        std::string stamp;
        bool operator==(const TileDrawn&) const = default;
    };
    struct PresentedAs {
        PresentTarget target = PresentTarget::MainWindow;
        int width = 0;
        int height = 0;
        VideoSink* sink = nullptr;
        uint64_t generation = 0;
        bool operator==(const PresentedAs&) const = default;
    };
    // Camera n's surface when a width x height picture fits it; nullptr otherwise.
    Surface* UploadTarget(int camera, int width, int height);
    // Camera n is drawn from `picture` (width x height) from now on; nullptr: from its surface.
    void Hold(int camera, FrameBank::PicturePtr picture, int width, int height);
    using TileTable = std::array<TTile, kCameraCount + 1>;  // index = slot 1..16

    bool Fail(const char* text);
    bool CreateOffscreenSurface(int width, int height, Surface& slot, PixelFormat format);
    bool Compose(std::span<const int32_t> cameras, const std::vector<Rect>& tiles,
                 const std::vector<Rect>& hits, bool fullScreen);
    bool DrawPanel(const Surface& panel, const Rect& tile);
    bool DrawPicture(int camera, const Rect& tile, const Rect& from);
    TileKind KindOf(int camera, const TCameraRecord& record) const;
    // "date time" of the camera's last picture. Display thread only.
    std::string StampText(int camera, const TCameraRecord& record);
    // The part of camera n's picture a tile shows: the whole, or the zoom's view of this pass.
    Rect PictureFrom(int camera, int32_t resolution);
    TileDrawn Describe(int camera, const Rect& tile, const TCameraRecord& record, const TileTextStyle& style);
    bool DrawKind(TileKind kind, int camera, const Rect& tile, const Rect& from);
    void Paint(const TileDrawn& d, const TileTextStyle& style);
    TileTextStyle TextStyle() const;
    bool PaintBackground(const Rect& area);
    // True when the last presentation showed the same picture to the same place.
    // False when the back surface changed since the last presentation, or the target, its size or
    // the sink did; `whole` then says whether all of it is to be shown again.
    bool AlreadyPresented(PresentTarget target, int width, int height, bool& whole);
    void TintZones(int width, int height, int camera);
    void Publish(const QImage& back, PresentTarget target, const QImage& picture, const QRegion& changed);
    // The back surface changed: in `area` only, or (null) anywhere.
    void Changed(const Rect* area);

    // Fixed after Init and LoadDisplayBitmaps (window thread, before the display thread starts).
    const DisplayPlatform& platform_;
    int window_width_ = 0;
    int window_height_ = 0;
    int back_width_ = 0;
    int back_height_ = 0;
    int display_bit_count_ = 0;
    uint64_t memory_left_ = 0;  // what further surfaces may take
    std::unique_ptr<TileText> text_;
    DisplayBitmaps bitmaps_;
    std::string map_file_;  // window thread only
    std::string error_text_;

    // Display thread only (after set-up).
    Surface back_;
    std::array<Surface, kCameraCount + 1> cam_surface_;  // index = camera number
    // The bank's picture a camera shows, and a view of it; empty while cam_surface_ holds it.
    std::array<FrameBank::PicturePtr, kCameraCount + 1> held_;
    std::array<Surface, kCameraCount + 1> held_view_;
    std::array<Surface, kCameraCount + 1> held_half_;  // its half, when the bank made one
    uint32_t halves_wanted_ = 0;                       // bit n: camera n shown at most half size
    Blitter blitter_;
    StretchCache stretched_;
    std::array<std::string, kCameraCount + 1> stamp_time_;
    std::array<std::string, kCameraCount + 1> stamp_date_;
    std::atomic<int> target_width_{0};
    std::atomic<int> target_height_{0};
    std::array<uint64_t, kCameraCount + 1> uploads_{};  // pictures uploaded per camera
    std::array<TileDrawn, kCameraCount + 1> drawn_{};   // index = slot
    std::vector<Rect> drawn_tiles_;                     // the layout's tiles as last drawn
    bool redraw_all_ = true;
    uint64_t generation_ = 0;  // changes of the back surface
    QRegion changed_;          // where, since the last presentation
    bool changed_whole_ = true;
    PresentedAs presented_{};
    std::atomic<uint64_t> tiles_drawn_{0};
    std::atomic<uint64_t> presentations_{0};

    std::atomic<VideoSink*> sink_{nullptr};

    mutable Mutex mutex_;
    CameraTablePtr records_ KEL_GUARDED_BY(mutex_) = ShareTable(TCameraTable{});
    TileTable tiles_ KEL_GUARDED_BY(mutex_){};
    DigitalZoom zoom_ KEL_GUARDED_BY(mutex_);
    TCamIconTable plan_icons_ KEL_GUARDED_BY(mutex_){};
    std::array<Rect, kCameraCount + 1> icon_box_ KEL_GUARDED_BY(mutex_){};
    std::vector<uint8_t> zone_masks_ KEL_GUARDED_BY(mutex_);  // 16 masks, camera 1 first
    QImage last_back_ KEL_GUARDED_BY(mutex_);                 // the last composed picture
};

}  // namespace kel
