#pragma once
// One camera's open AVI segment: a DIV3 video stream at the camera's rate and, picture by
// picture, a text stream with the moment each picture was taken. Every picture is a key frame.
//
// The text stream's format block is 36 bytes: the int32 30, the current time-stamp sample (a
// length byte and 30 characters) and a zero byte; it is renewed with each picture, so the closed
// file's block holds the last picture's stamp. Each text sample is such a 31-byte stamp.
//
// A picture goes in whole or not at all: its video and its text sample are taken back together
// when either cannot be written. Not thread-safe; the recorder guards each camera's segment.
//
// The file's comment tells what its index entry needs beyond its path, so that an index rebuilt
// from the folders keeps the motion marks: "KEL mode=motion start=46000.5 motions=7" (mode
// "motion" or "continuous"; motions 0 until the segment is closed, as after a crash).

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "recording/avi_writer.h"

namespace kel {

// What a segment says of itself.
struct SegmentNote {
    bool onMotion = false;  // recorded on motion rather than continuously
    double startTime = 0;
    int32_t motionCount = 0;
    // The motion count its index entry gets: a segment recorded on motion holds motion, even when
    // a crash kept its count from being written.
    int32_t IndexedMotion() const { return onMotion ? std::max<int32_t>(motionCount, 1) : motionCount; }
};

// The note as a segment's comment holds it, and read back from one (false: no note).
std::string SegmentNoteText(const SegmentNote& note);
bool ParseSegmentNote(const std::string& comment, SegmentNote& note);

class Segment {
public:
    static constexpr size_t kTextFormatBytes = 36;
    static constexpr size_t kStampBytes = 31;

    // Creates the file at `path` (which must not exist) for pictures of width x height at
    // `fps` a second. False with ErrorText; nothing is then open.
    bool Open(const std::string& path, const std::string& name, double startTime, int width, int height,
              int fps, bool onMotion = false);
    // Appends one compressed picture and its stamp. False with ErrorText when it could not be
    // written; the file then ends where it did before.
    bool WriteFrame(const uint8_t* data, size_t size, const std::string& stamp);
    // Finishes the file (index, sizes) and flushes it to the disk. False with ErrorText when it
    // could not be finished. Nothing is open afterwards either way. `motionCount` goes into the
    // file's comment.
    bool Close(int32_t motionCount = 0);

    bool IsOpen() const { return writer_.IsOpen(); }
    int Width() const { return width_; }
    int Height() const { return height_; }
    uint64_t BytesWritten() const { return bytes_; }  // the pictures' compressed sizes summed
    uint32_t Frames() const { return writer_.Samples(0); }
    const std::string& Path() const { return path_; }
    const std::string& Name() const { return name_; }
    double StartTime() const { return start_time_; }
    const std::string& ErrorText() const { return writer_.ErrorText(); }

    // The 31-byte sample of a stamp: its length (at most 30) and its characters, zero-filled.
    static std::array<uint8_t, kStampBytes> StampSample(const std::string& stamp);
    // The note in the comment of the segment at `path` (an AVI segment or a stream segment);
    // false when it has none (a file recorded before segments had one, or no segment).
    static bool ReadNote(const std::string& path, SegmentNote& note);

private:
    AviWriter writer_;
    int video_ = -1;
    int text_ = -1;
    int width_ = 0;
    int height_ = 0;
    uint64_t bytes_ = 0;
    std::string path_;
    std::string name_;
    double start_time_ = 0;
    bool on_motion_ = false;
};

}  // namespace kel
