#pragma once
// Uncompressed 24-bit AVI recording: one video stream, one "00db" chunk per frame, an "idx1"
// index at the end.
//
// File layout: a 232-byte header (RIFF/AVI, hdrl with avih, strl with strh and strf, the movi
// LIST head), then per frame "00db", S = 3 * w * h and the S pixel bytes (no pad byte, even when
// S is odd), then "idx1", 16 * n and n index entries. BeginFile writes the header with zero
// sizes and counts; FinishFile appends the index and patches the sizes, counts and timing.
//
// Whatever happens after a successful BeginFile, the file is left complete and playable with the
// frames written whole so far: FinishFile, a second BeginFile and destruction all finish it.
// A failed write (disk full) stops the recording; the frame that would push any RIFF size past
// the 32-bit range is refused. In both cases the caller finishes the file.
//
// Thread context: one thread at a time (the camera object's recording thread, or the application
// thread that starts and ends the recording). No locks.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/output_file.h"

namespace lumora {

// Results of WriteFrame and FinishFile; kOk is 0.
enum class AviResult {
    kOk = 0,
    kNotOpen,       // no file open (BeginFile not called or failed, or already finished)
    kBadFrame,      // null pixel buffer
    kSizeLimit,     // the frame would carry the file past the largest RIFF size; not written
    kWriteFailed,   // the file could not be written (disk full); the recording is over
};

class AviWriter {
public:
    static constexpr uint32_t kHeaderSize = 232;
    static constexpr uint64_t kMaxRiffSize = 0xFFFFFFFFu;

    // maxRiffSize: the largest RIFF size a finished file may carry (4 GiB - 1); tests lower it.
    explicit AviWriter(uint64_t maxRiffSize = kMaxRiffSize);
    ~AviWriter();  // finishes an open file
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Frame size in pixels and nominal frame rate in frames per second, read by BeginFile.
    void SetFrameSize(int width, int height);
    void SetFrameRate(uint32_t framesPerSecond);
    // The measured rate in hundredths of frames per second, written into the header by
    // FinishFile. BeginFile sets it to the nominal rate times 100.
    void SetMeasuredRate(uint32_t hundredthsPerSecond);

    // Finishes an open file, then opens fileName (truncating an existing file, else creating a
    // new one) and writes the header. An unfinished recording found at fileName (left by a
    // process that ended while recording) is repaired and kept under another name first
    // (AviRepair::SetAside). False when the size is not positive or a single frame is
    // too large for a file, when the file can be neither truncated nor created, or when the
    // header cannot be written (the file is then closed).
    bool BeginFile(const char* fileName);
    // Appends one frame of 3 * w * h bytes read from pixels: a bottom-up 24-bit picture, rows
    // not padded. On kSizeLimit and kWriteFailed the frame is not in the file (a partly written
    // frame is cut off when finishing) and no further frames are accepted.
    AviResult WriteFrame(const void* pixels);
    // Writes the index, patches the header and closes the file. kOk when every frame offered
    // was stored and the file was completed; kWriteFailed when a write failed at any point (the
    // file still holds a valid recording of the frames written whole, as far as the disk allows);
    // kNotOpen when no file was open.
    AviResult FinishFile();

    bool IsOpen() const { return file_.IsOpen(); }
    // Frames written whole into the current (or last) file.
    uint32_t frameCount() const { return frameCount_; }

private:
    struct IndexEntry {
        uint32_t offset;  // moviSize before the chunk was written
        uint32_t length;  // S
    };

    bool Put(const void* data, size_t size);
    bool Put32(uint32_t value);
    bool PatchAt(uint64_t position, uint32_t value);
    bool WriteHeader();
    bool WriteTrailer();

    platform::OutputFile file_;
    uint64_t maxRiffSize_;
    int width_ = 0;
    int height_ = 0;
    uint32_t frameRate_ = 0;      // frames per second, for BeginFile
    uint32_t measuredRate_ = 0;   // hundredths of frames per second, for FinishFile
    uint32_t frameBytes_ = 0;     // S
    uint32_t riffSize_ = 0;       // bytes after the RIFF size field, frames written whole
    uint32_t moviSize_ = 0;       // bytes after the movi size field, frames written whole
    uint32_t moviSizePosition_ = 0;
    uint32_t frameCount_ = 0;
    bool stopped_ = false;        // a frame was refused or a write failed: no more frames
    bool writeFailed_ = false;
    std::vector<IndexEntry> index_;
};

}  // namespace lumora
