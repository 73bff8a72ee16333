#pragma once
// Motion detection: a new picture is compared byte by byte (chroma and luma alike) with the
// camera's previous tested picture, its reference; a byte counts when it lies in a watched cell
// of the camera's zone mask and differs from the reference by more than 30. Motion is found when
// the count exceeds the camera's sensitivity. Every test then makes the new picture the reference.
//
// The mask is a grid of 176 x 144 cells, row by row; a cell is watched only when its byte is exactly 1.
// A cell covers 2 x width / 176 bytes of height / 144 lines: 8 bytes x 4 lines at 704 x 576, 8 x 2
// at 704 x 288, 4 x 2 at 352 x 288, 2 x 1 at 176 x 144.
//
// The references start all zero, so the first test of a camera normally finds motion. The recorder
// tests with its own copies of the masks and sensitivities (DetectMotion); the configuration
// dialog's preview tests with the dialog's working mask and slider (TestDetection). Both replace
// the reference, each under the camera's lock, so they may run on different threads.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "config/records.h"
#include "platform/guarded.h"

namespace kel {

class MotionDetector {
public:
    static constexpr int kThreshold = 30;  // a byte must differ by more than this
    static constexpr size_t kMaskCells = kZoneCols * kZoneRows;
    static constexpr size_t kReferenceBytes = 811009;

    MotionDetector();
    MotionDetector(const MotionDetector&) = delete;
    MotionDetector& operator=(const MotionDetector&) = delete;

    // The recorder's copy of camera n's zone: the 25,344 cells of `zone.Mask` and its Sensitivity.
    void SetZone(int camera, const TZoneRecord& zone);
    void SetZones(const TZoneTable& zones);

    // Tests a UYVY picture of camera n with the recorder's zone; on motion the camera's motion
    // counter goes up. A picture of a size the grid does not divide finds nothing and is not kept.
    bool DetectMotion(int camera, const uint8_t* picture, int width, int height);
    // The same test with a given mask (25,344 cells) and threshold; the counter is left alone.
    bool TestDetection(int camera, const uint8_t* picture, int width, int height, const uint8_t* mask,
                       int32_t sensitivity);

    // Detections since the counter was last taken; taking it starts it again from 0.
    int32_t MotionCount(int camera) const;
    int32_t TakeMotionCount(int camera);

    // The count of changed bytes in watched cells, without touching any reference: the kernel of
    // both tests. `reference` is updated to `picture` when `keep` is set.
    static uint32_t CountChanges(const uint8_t* picture, uint8_t* reference, int width, int height,
                                 const uint8_t* mask, bool keep);
    // Whether the grid divides a picture of width x height.
    static bool SizeFits(int width, int height);

private:
    struct Camera {
        Mutex mutex;
        std::array<uint8_t, kMaskCells> mask KEL_GUARDED_BY(mutex){};
        int32_t sensitivity KEL_GUARDED_BY(mutex) = 1000;
        // Allocated zero once; its bytes are guarded by the mutex.
        std::unique_ptr<uint8_t, decltype(&std::free)> reference KEL_PT_GUARDED_BY(mutex){nullptr,
                                                                                          &std::free};
        std::atomic<int32_t> count{0};
    };
    bool Test(Camera& c, const uint8_t* picture, int width, int height, const uint8_t* mask,
              int32_t sensitivity);
    Camera* Find(int camera);

    std::array<Camera, kCameraCount + 1> cameras_;  // camera 0 is never allocated
};

}  // namespace kel
