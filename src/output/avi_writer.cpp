#include "output/avi_writer.h"

#include <algorithm>
#include <cstring>

#include "output/avi_repair.h"

namespace lumora {

namespace {

constexpr uint32_t kMoviSizePosition = 224;
constexpr uint32_t kIndexFlagKeyFrame = 0x10;

// Little-endian field writer over a byte array.
class Bytes {
public:
    explicit Bytes(uint8_t* out) : out_(out) {}
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) *out_++ = static_cast<uint8_t>(v >> (8 * i));
    }
    void U16(uint16_t v) {
        *out_++ = static_cast<uint8_t>(v);
        *out_++ = static_cast<uint8_t>(v >> 8);
    }
    void Tag(const char (&fourcc)[5]) {
        std::memcpy(out_, fourcc, 4);
        out_ += 4;
    }
    void Zeros(int words) {
        for (int i = 0; i < words; ++i) U32(0);
    }

private:
    uint8_t* out_;
};

uint32_t Saturate32(uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(v); }

// Timing fields for a rate of rate / divisor frames per second. A rate of 0 is taken as the
// slowest rate the unit can express (1), so the header never divides by zero.
struct Timing {
    uint32_t microsecondsPerFrame;
    uint32_t scale;  // over a fixed rate of 10000000
    uint32_t maxBytesPerSecond;
};

Timing MakeTiming(uint32_t rate, uint32_t divisor, uint32_t chunkBytes) {
    const uint64_t r = std::max<uint32_t>(rate, 1);
    return Timing{static_cast<uint32_t>(uint64_t{1000000} * divisor / r),
                  std::max<uint32_t>(static_cast<uint32_t>(uint64_t{10000000} * divisor / r), 1),
                  Saturate32(uint64_t{chunkBytes} * r / divisor)};
}

}  // namespace

AviWriter::AviWriter(uint64_t maxRiffSize) : maxRiffSize_(std::min(maxRiffSize, kMaxRiffSize)) {}

AviWriter::~AviWriter() {
    if (IsOpen()) FinishFile();
}

void AviWriter::SetFrameSize(int width, int height) {
    width_ = width;
    height_ = height;
}

void AviWriter::SetFrameRate(uint32_t framesPerSecond) { frameRate_ = framesPerSecond; }

void AviWriter::SetMeasuredRate(uint32_t hundredthsPerSecond) { measuredRate_ = hundredthsPerSecond; }

bool AviWriter::Put(const void* data, size_t size) { return file_.Write(data, size); }

bool AviWriter::Put32(uint32_t value) {
    uint8_t b[4];
    Bytes(b).U32(value);
    return Put(b, 4);
}

bool AviWriter::PatchAt(uint64_t position, uint32_t value) {
    return file_.Seek(position) && Put32(value);
}

bool AviWriter::BeginFile(const char* fileName) {
    if (IsOpen()) FinishFile();
    index_.clear();
    riffSize_ = moviSize_ = moviSizePosition_ = 0;
    frameCount_ = 0;
    stopped_ = writeFailed_ = false;

    if (width_ <= 0 || height_ <= 0) return false;
    const uint64_t frameBytes = uint64_t{3} * static_cast<uint64_t>(width_) *
                                static_cast<uint64_t>(height_);
    // A file must at least hold one frame with its index entry.
    if (kHeaderSize - 8 + frameBytes + 8 + 8 + 16 > maxRiffSize_) return false;
    frameBytes_ = static_cast<uint32_t>(frameBytes);
    measuredRate_ = Saturate32(uint64_t{frameRate_} * 100);

    // An unfinished recording left at this name by a process that died while recording keeps its
    // frames under a name of its own instead of being overwritten.
    AviRepair::SetAside(fileName);
    if (!file_.Open(fileName)) return false;
    if (!WriteHeader()) {
        file_.Close();
        platform::OutputFile::Remove(fileName);
        return false;
    }
    riffSize_ = kHeaderSize - 8;
    moviSize_ = 4;
    moviSizePosition_ = kMoviSizePosition;
    return true;
}

bool AviWriter::WriteHeader() {
    const uint32_t chunk = frameBytes_ + 8;
    const Timing t = MakeTiming(frameRate_, 1, chunk);
    uint8_t header[kHeaderSize];
    Bytes b(header);
    b.Tag("RIFF"); b.U32(0); b.Tag("AVI ");
    b.Tag("LIST"); b.U32(200); b.Tag("hdrl");
    // avih
    b.Tag("avih"); b.U32(56);
    b.U32(t.microsecondsPerFrame);
    b.U32(t.maxBytesPerSecond);
    b.U32(0);            // padding granularity
    b.U32(0x00010010);   // has index, interleaved
    b.U32(0);            // total frames, patched
    b.U32(0);            // initial frames
    b.U32(1);            // streams
    b.U32(chunk);        // suggested buffer size
    b.U32(static_cast<uint32_t>(width_));
    b.U32(static_cast<uint32_t>(height_));
    b.Zeros(4);
    // strl: strh
    b.Tag("LIST"); b.U32(124); b.Tag("strl");
    b.Tag("strh"); b.U32(64);
    b.Tag("vids"); b.Tag("DIB ");
    b.U32(0);            // flags
    b.U16(0); b.U16(0);  // priority, language
    b.U32(0);            // initial frames
    b.U32(t.scale);
    b.U32(10000000);     // rate
    b.U32(0);            // start
    b.U32(0);            // length, patched
    b.U32(chunk);        // suggested buffer size
    b.U32(0);            // quality
    b.U32(0);            // sample size
    b.Zeros(4);          // frame rectangle
    // strf: BITMAPINFOHEADER of a bottom-up 24-bit picture
    b.Tag("strf"); b.U32(40);
    b.U32(40);
    b.U32(static_cast<uint32_t>(width_));
    b.U32(static_cast<uint32_t>(height_));
    b.U16(1); b.U16(24);
    b.U32(0); b.U32(0);  // compression, image size
    b.Zeros(4);          // resolution, colours
    b.Tag("LIST"); b.U32(0); b.Tag("movi");
    return Put(header, sizeof header);
}

AviResult AviWriter::WriteFrame(const void* pixels) {
    if (!IsOpen()) return AviResult::kNotOpen;
    if (pixels == nullptr) return AviResult::kBadFrame;
    if (stopped_) return writeFailed_ ? AviResult::kWriteFailed : AviResult::kSizeLimit;

    const uint32_t chunk = frameBytes_ + 8;
    // The size the finished file would carry with this frame and its index entry.
    const uint64_t finished = uint64_t{riffSize_} + chunk + 8 + 16 * (uint64_t{frameCount_} + 1);
    if (finished > maxRiffSize_) {
        stopped_ = true;
        return AviResult::kSizeLimit;
    }

    index_.push_back(IndexEntry{moviSize_, frameBytes_});
    uint8_t head[8];
    Bytes b(head);
    b.Tag("00db");
    b.U32(frameBytes_);
    if (!Put(head, sizeof head) || !Put(pixels, frameBytes_)) {
        index_.pop_back();
        stopped_ = writeFailed_ = true;
        return AviResult::kWriteFailed;
    }
    riffSize_ += chunk;
    moviSize_ += chunk;
    ++frameCount_;
    return AviResult::kOk;
}

bool AviWriter::WriteTrailer() {
    std::vector<uint8_t> trailer(8 + 16 * size_t{frameCount_});
    Bytes b(trailer.data());
    b.Tag("idx1");
    b.U32(16 * frameCount_);
    for (uint32_t i = 0; i < frameCount_; ++i) {
        b.Tag("00db");
        b.U32(kIndexFlagKeyFrame);
        b.U32(index_[i].offset);
        b.U32(index_[i].length);
    }
    return Put(trailer.data(), trailer.size());
}

AviResult AviWriter::FinishFile() {
    if (!IsOpen()) return AviResult::kNotOpen;
    bool ok = !writeFailed_;
    const uint32_t chunk = frameBytes_ + 8;

    // The frames written whole end at riffSize_ + 8; anything after them (a frame cut off by a
    // failed write) is dropped. When the index does not fit (disk full), frames are given up
    // from the end until it does.
    bool haveIndex = false;
    for (;;) {
        const uint64_t dataEnd = uint64_t{riffSize_} + 8;
        if (file_.Truncate(dataEnd) && WriteTrailer()) {
            haveIndex = true;
            break;
        }
        ok = false;
        if (frameCount_ == 0) {
            file_.Truncate(dataEnd);
            break;
        }
        --frameCount_;
        index_.pop_back();
        riffSize_ -= chunk;
        moviSize_ -= chunk;
    }

    const uint32_t riffSize = riffSize_ + (haveIndex ? 8 + 16 * frameCount_ : 0);
    const Timing t = MakeTiming(measuredRate_, 100, chunk);
    ok = PatchAt(4, riffSize) && ok;
    ok = PatchAt(moviSizePosition_, moviSize_) && ok;
    ok = PatchAt(48, frameCount_) && ok;
    ok = PatchAt(140, frameCount_) && ok;
    ok = PatchAt(32, t.microsecondsPerFrame) && ok;
    ok = PatchAt(36, t.maxBytesPerSecond) && ok;
    ok = PatchAt(128, t.scale) && ok;
    ok = file_.Close() && ok;
    return ok ? AviResult::kOk : AviResult::kWriteFailed;
}

}  // namespace lumora
