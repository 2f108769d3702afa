#include "emulator/emulated_sensor.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "emulator/emulated_scene.h"
#include "imaging/vector_support.h"

namespace lumora {

using namespace scene;

namespace {

// The noise hash of a pixel, of seed, frame, column and row of its first sample (so that a
// mirrored frame is exactly the frame mirrored), is Mix(Spread(FrameTerm ^ ColumnTerm ^ row)).
// Spread goes through XOR, so each output column's part is spread once per geometry and each
// row's once per row: a pixel costs an XOR and Mix.
uint32_t FrameTerm(uint32_t seed, uint32_t frame) { return seed * 0x9E3779B1u ^ (frame + 0x7F4A7C15u) * 0x85EBCA77u; }
uint32_t ColumnTerm(int column) { return (static_cast<uint32_t>(column) + 0x165667B1u) * 0xC2B2AE3Du; }
uint32_t Spread(uint32_t h) { return h ^ h >> 15; }
uint32_t Mix(uint32_t h) {
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

// A pixel's level before its noise is kept as the signal (capped at 256) less one, to which the
// hash adds 0, 1 or 2, or as kDark without signal, which stays 0 whatever the noise.
constexpr int16_t kDark = -256;

// Output byte of a pixel of that level whose hash before Mix is h.
uint8_t Pixel(int16_t base, uint32_t h) {
    return static_cast<uint8_t>(std::clamp(base + static_cast<int>(Mix(h) % 3), 0, 255));
}

#if LUMORA_HAVE_SSE2
// Mix(h) % 3 of eight pixels from the row's part of h and their columns' parts. The remainder
// comes from m = Mix(h) times the inverse of 3 modulo 2^32: for Mix(h) = 3q + r, m is q (at
// most 0x55555555) when r = 0, q + 0xAAAAAAAB (above 0xAAAAAAAA) when r = 1, and between when 2.
LUMORA_AVX2_FUNCTION inline __m256i RemainderAvx2(__m256i row, const __m256i* columnTerms) {
    __m256i h = _mm256_xor_si256(row, _mm256_loadu_si256(columnTerms));
    h = _mm256_mullo_epi32(h, _mm256_set1_epi32(0x2C1B3C6D));
    h = _mm256_xor_si256(h, _mm256_srli_epi32(h, 12));
    h = _mm256_mullo_epi32(h, _mm256_set1_epi32(0x297A2D39));
    h = _mm256_xor_si256(h, _mm256_srli_epi32(h, 15));
    // Unsigned comparisons as signed ones of the values with their top bit flipped.
    const __m256i top = _mm256_set1_epi32(INT32_MIN);
    const __m256i m = _mm256_xor_si256(_mm256_mullo_epi32(h, _mm256_set1_epi32(static_cast<int>(0xAAAAAAABu))), top);
    const __m256i notZero = _mm256_cmpgt_epi32(m, _mm256_xor_si256(_mm256_set1_epi32(0x55555555), top));
    const __m256i one = _mm256_cmpgt_epi32(m, _mm256_xor_si256(_mm256_set1_epi32(static_cast<int>(0xAAAAAAAAu)), top));
    // The masks are -1 where true: r = 0 is 0 - 0 - 0, r = 2 is 0 + 1 + 1, r = 1 is -1 + 1 + 1.
    return _mm256_sub_epi32(_mm256_sub_epi32(one, notZero), notZero);
}

// RenderRow 32 pixels at a time; returns how many it did.
LUMORA_AVX2_FUNCTION int RenderRowAvx2(const int16_t* base, const uint32_t* columnTerms, uint32_t rowTerm,
                                       uint8_t* out, int count) {
    const __m256i row = _mm256_set1_epi32(static_cast<int>(rowTerm));
    const auto* terms = reinterpret_cast<const __m256i*>(columnTerms);
    const auto* levels = reinterpret_cast<const __m256i*>(base);
    int x = 0;
    for (; x + 32 <= count; x += 32, terms += 4, levels += 2) {
        // The packs interleave their two sources' 128-bit lanes; the permutes put them in order.
        __m256i r = _mm256_packs_epi32(RemainderAvx2(row, terms), RemainderAvx2(row, terms + 1));
        const __m256i low = _mm256_add_epi16(_mm256_loadu_si256(levels), _mm256_permute4x64_epi64(r, 0xD8));
        r = _mm256_packs_epi32(RemainderAvx2(row, terms + 2), RemainderAvx2(row, terms + 3));
        const __m256i high = _mm256_add_epi16(_mm256_loadu_si256(levels + 1), _mm256_permute4x64_epi64(r, 0xD8));
        // Saturation makes the dark pixels 0 and caps the bright ones at 255.
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(low, high), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), bytes);
    }
    return x;
}
#endif

// count pixels of a row: their levels, their columns' parts of the hash and the row's part.
void RenderRow(const int16_t* base, const uint32_t* columnTerms, uint32_t rowTerm, uint8_t* out,
               int count, bool avx2) {
    int x = 0;
#if LUMORA_HAVE_SSE2
    if (avx2) x = RenderRowAvx2(base, columnTerms, rowTerm, out, count);
#else
    (void)avx2;
#endif
    for (; x < count; ++x) out[x] = Pixel(base[x], rowTerm ^ columnTerms[x]);
}

}  // namespace

void EmulatedSensor::ResetRegisters(uint8_t* registers) {
    std::memset(registers, 0, kRegisterCount);
    Write16(registers, 0x0202, kUnityExposure);  // exposure lines
    Write16(registers, 0x0304, 7);               // clock divider
    Write16(registers, 0x0340, 2761);            // frame length in lines
    Write16(registers, 0x0342, 7096);            // line length in clocks
    Write16(registers, 0x0344, kArrayOffset);
    Write16(registers, 0x0346, kArrayOffset);
    Write16(registers, 0x0348, kActiveWidth + kArrayOffset - 1);
    Write16(registers, 0x034A, kActiveHeight + kArrayOffset - 1);
    Write16(registers, 0x034C, kActiveWidth);
    Write16(registers, 0x034E, kActiveHeight);
    Write16(registers, 0x3040, 0x0041);
    for (uint16_t gain : {0x3056, 0x3058, 0x305A, 0x305C, 0x305E}) {
        Write16(registers, gain, static_cast<uint16_t>(0x1000 | kUnityGain));
    }
}

void EmulatedSensor::AfterWrite(uint8_t* registers, uint16_t address) {
    // The mirror bits of the read mode register (bits 14 and 15) show in bits 0 and 1 of the
    // status register 0x0100.
    if (address == 0x3040) {
        uint8_t high = registers[0x3040];
        registers[0x0101] = static_cast<uint8_t>((registers[0x0101] & ~3u) | ((high >> 6) & 1u) | ((high >> 6) & 2u));
    }
}

uint32_t EmulatedSensor::FrameBytes(const uint8_t* registers) {
    return static_cast<uint32_t>(Read16(registers, 0x034C)) * Read16(registers, 0x034E);
}

uint32_t EmulatedSensor::FramePeriodUs(const uint8_t* registers) {
    // The pixel clock is 384 MHz divided by the divider of 0x0304; a frame is frame length
    // (lines) x line length (clocks).
    uint64_t divider = std::max<uint16_t>(1, Read16(registers, 0x0304));
    uint64_t clocks = static_cast<uint64_t>(Read16(registers, 0x0340)) * Read16(registers, 0x0342);
    return static_cast<uint32_t>(std::max<uint64_t>(1, clocks * divider / 384));
}

// What the chart looks like in one readout geometry, kept between frames.
//
// Cost model. A pixel is the sum of its samples' chart levels (binning sums up to 32 x 32),
// scaled by exposure and gains (a 64-bit division), plus a noise hashed from the seed, the frame
// and the pixel's place. Worked out afresh for every pixel of every frame, a full frame took
// some 70 ms, more than the library's whole processing of it. But the chart stands still:
// output rows whose samples fall on the same rows of the chart in the same numbers (the same
// RowKey) have the same sums, so these are worked out once per geometry for each distinct row,
// a line, when a row of it is first read (a full frame has ten lines); a change of exposure
// or gain redoes only the lines' levels (a division per run of equal sums). A row of a frame
// then costs its noise hash (with AVX2 32 pixels a step) and the pixels of the moving disc and
// the hot pixels, which are worked out as before. The cache holds one geometry: a vector per
// output row and column, and the lines, a few dozen at most (two colours times the runs of rows
// outside the array, on the background and on each row of patches, and the bins across their
// edges). It belongs to one sensor, so to one camera, and the sensor's lock guards it.
struct EmulatedSensor::Scene {
    struct Line {
        uint64_t key;
        int firstRow;                // the first sample row of one of its output rows
        std::vector<uint32_t> sums;  // of the samples' levels, without the disc
        std::vector<int16_t> base;   // levels at the current exposure and gains (see kDark)
    };

    std::array<uint16_t, 5> geometry;  // width, height, first column and row, read mode
    int width, height;
    Axis columns, rows;
    int samples;                        // per pixel
    std::vector<uint32_t> columnTerms;  // each output column's part of the hash
    std::vector<int> lineOfRow;         // index into lines; -1 until the row is first read
    std::vector<Line> lines;
    uint64_t scale[4] = {};  // exposure x global gain x colour gain of each channel
    uint64_t divisor;        // unity exposure and gains x samples per pixel
    uint32_t memoSum[4] = {UINT32_MAX, UINT32_MAX, UINT32_MAX, UINT32_MAX};  // no sum reaches it
    int16_t memoBase[4] = {};

    static std::array<uint16_t, 5> Geometry(const uint8_t* r) {
        return {Read16(r, 0x034C), Read16(r, 0x034E), Read16(r, 0x0344), Read16(r, 0x0346), Read16(r, 0x3040)};
    }

    explicit Scene(const uint8_t* r) : geometry(Geometry(r)), width(geometry[0]), height(geometry[1]) {
        uint16_t mode = geometry[4];
        bool binning = (mode & 0x0400) != 0;
        columns = MapAxis(geometry[2] - kArrayOffset, width, Factor((mode >> 6) & 7), binning, (mode & 0x4000) != 0);
        rows = MapAxis(geometry[3] - kArrayOffset, height, Factor(mode & 0x3F), binning, (mode & 0x8000) != 0);
        samples = rows.count * columns.count;
        for (int ax0 : columns.first) columnTerms.push_back(Spread(ColumnTerm(ax0)));
        lineOfRow.assign(static_cast<size_t>(height), -1);
        divisor = static_cast<uint64_t>(kUnityExposure) * kUnityGain * kUnityGain * static_cast<uint64_t>(samples);
    }

    // Takes the exposure and gains of the registers, redoing the lines' levels if they changed.
    void SetResponse(const uint8_t* r) {
        static constexpr uint16_t kGainRegister[4] = {0x305A, 0x3056, 0x305C, 0x3058};
        uint64_t exposureAndGain = static_cast<uint64_t>(Read16(r, 0x0202)) * (Read16(r, 0x305E) & 0x7F);
        uint64_t next[4];
        for (int c = 0; c < 4; ++c) next[c] = exposureAndGain * (Read16(r, kGainRegister[c]) & 0x7F);
        if (std::equal(next, next + 4, scale)) return;
        std::copy(next, next + 4, scale);
        std::fill(memoSum, memoSum + 4, UINT32_MAX);
        for (Line& line : lines) Levels(line);
    }

    static bool InDisc(int ax, int ay, int movingX) {
        int dx = ax - movingX, dy = ay - kMovingCenterY;
        return dx * dx + dy * dy < kMovingRadius * kMovingRadius;
    }

    // Nominal level of one active-array sample, with the disc centred on movingX if disc.
    static int Level(int ax, int ay, int channel, bool disc, int movingX) {
        if (ax < 0 || ay < 0 || ax >= kActiveWidth || ay >= kActiveHeight) return 0;
        if (disc && InDisc(ax, ay, movingX)) return kMovingLevel;
        int column = PatchIndex(ax, kChartLeft, kPatchWidth, kChartColumns);
        int row = PatchIndex(ay, kChartTop, kPatchHeight, kChartRows);
        if (column < 0 || row < 0) return kBackground;
        return kChart[row][column][kRgb[channel]];
    }

    // Sum of the levels of the samples of the pixel whose first sample is (ax0, ay0).
    uint32_t Sum(int ax0, int ay0, bool disc, int movingX) const {
        int channel = Channel(ax0, ay0);
        int sum = 0;
        for (int j = 0; j < rows.count; ++j) {
            for (int i = 0; i < columns.count; ++i) sum += Level(ax0 + 2 * i, ay0 + 2 * j, channel, disc, movingX);
        }
        return static_cast<uint32_t>(sum);
    }

    // The same with the disc, and -1 when the disc covers none of the samples.
    int64_t DiscSum(int ax0, int ay0, int movingX) const {
        int covered = 0;
        for (int j = 0; j < rows.count; ++j) {
            for (int i = 0; i < columns.count; ++i) {
                int ax = ax0 + 2 * i, ay = ay0 + 2 * j;
                covered += ax >= 0 && ay >= 0 && ax < kActiveWidth && ay < kActiveHeight && InDisc(ax, ay, movingX);
            }
        }
        if (covered == 0) return -1;
        return covered == samples ? kMovingLevel * samples : Sum(ax0, ay0, true, movingX);
    }

    // Level of a sum in a channel (see kDark). Sums come in runs, so the last one of each
    // channel is remembered.
    int16_t Base(uint32_t sum, int channel) {
        if (memoSum[channel] != sum) {
            memoSum[channel] = sum;
            uint64_t signal = (static_cast<uint64_t>(sum) * scale[channel] + divisor / 2) / divisor;
            memoBase[channel] = signal == 0 ? kDark : static_cast<int16_t>(std::min<uint64_t>(signal, 256) - 1);
        }
        return memoBase[channel];
    }

    void Levels(Line& line) {
        for (size_t i = 0; i < line.sums.size(); ++i) {
            line.base[i] = Base(line.sums[i], Channel(columns.first[i], line.firstRow));
        }
    }

    // Output rows of the same key see the same chart: the same colours (the parity of their
    // first sample row) and as many sample rows outside the array, on the background and on
    // each row of patches (at most 32 each).
    uint64_t RowKey(int ay0) const {
        uint64_t key = static_cast<uint64_t>(ay0 & 1);
        for (int j = 0; j < rows.count; ++j) {
            int ay = ay0 + 2 * j;
            int category = ay < 0 || ay >= kActiveHeight ? 0 : 2 + PatchIndex(ay, kChartTop, kPatchHeight, kChartRows);
            key += uint64_t(1) << (1 + 6 * category);
        }
        return key;
    }

    const Line& LineOf(int oy) {
        int& index = lineOfRow[static_cast<size_t>(oy)];
        if (index < 0) {
            int ay0 = rows.first[static_cast<size_t>(oy)];
            uint64_t key = RowKey(ay0);
            auto found = std::find_if(lines.begin(), lines.end(), [&](const Line& line) { return line.key == key; });
            index = static_cast<int>(found - lines.begin());
            if (found == lines.end()) {
                Line line{key, ay0, std::vector<uint32_t>(), std::vector<int16_t>(static_cast<size_t>(width))};
                for (int ax0 : columns.first) line.sums.push_back(Sum(ax0, ay0, false, 0));
                Levels(line);
                lines.push_back(std::move(line));
            }
        }
        return lines[static_cast<size_t>(index)];
    }
};

EmulatedSensor::EmulatedSensor(uint32_t seed) : seed_(seed) {}
EmulatedSensor::~EmulatedSensor() = default;

void EmulatedSensor::Render(const uint8_t* registers, uint32_t frame, bool still, uint8_t* out,
                            uint32_t offset, uint32_t length) const {
    // Only the rows that meet [offset, offset + length) are rendered, so that a small read
    // never costs a whole frame, whatever size the registers give.
    uint32_t bytes = FrameBytes(registers);
    if (offset >= bytes || length == 0) {
        std::memset(out, 0, length);
        return;
    }
    uint32_t end = static_cast<uint32_t>(std::min<uint64_t>(bytes, static_cast<uint64_t>(offset) + length));
    std::memset(out + (end - offset), 0, length - (end - offset));
    if (still) frame = 0;

    std::lock_guard<std::mutex> lock(mutex_);
    if (!scene_ || scene_->geometry != Scene::Geometry(registers)) {
        scene_.reset();
        scene_ = std::make_unique<Scene>(registers);
    }
    Scene& scene = *scene_;
    scene.SetResponse(registers);
    const int width = scene.width;
    const Axis& columns = scene.columns;

    // The output columns and the rows that the moving disc may cover in this frame.
    int movingX = static_cast<int>((frame * kMovingStep) % (kActiveWidth + 2 * kMovingRadius)) - kMovingRadius;
    std::vector<int> discColumns;
    for (int ox = 0; ox < width; ++ox) {
        int ax0 = columns.first[static_cast<size_t>(ox)];
        if (ax0 + 2 * (columns.count - 1) > movingX - kMovingRadius && ax0 < movingX + kMovingRadius) {
            discColumns.push_back(ox);
        }
    }
    auto discRow = [&](int ay0) {
        int last = ay0 + 2 * (scene.rows.count - 1);
        return last > kMovingCenterY - kMovingRadius && ay0 < kMovingCenterY + kMovingRadius;
    };
    std::vector<int16_t> discLevels;

    const bool avx2 = Avx2RoutinesEnabled();
    const uint32_t frameTerm = FrameTerm(seed_, frame);
    int firstRow = static_cast<int>(offset / static_cast<uint32_t>(width));
    int lastRow = static_cast<int>((end - 1) / static_cast<uint32_t>(width));
    for (int oy = firstRow; oy <= lastRow; ++oy) {
        // The part [x0, x1) of this row inside the read goes to row.
        uint32_t rowStart = static_cast<uint32_t>(oy) * static_cast<uint32_t>(width);
        uint32_t from = std::max(rowStart, offset);
        int x0 = static_cast<int>(from - rowStart);
        int x1 = static_cast<int>(std::min(rowStart + static_cast<uint32_t>(width), end) - rowStart);
        uint8_t* row = out + (from - offset);
        int ay0 = scene.rows.first[static_cast<size_t>(oy)];
        const int16_t* base = scene.LineOf(oy).base.data();
        if (!discColumns.empty() && discRow(ay0)) {
            // The line's levels with those of the disc's pixels.
            discLevels.assign(base, base + width);
            for (int ox : discColumns) {
                int ax0 = columns.first[static_cast<size_t>(ox)];
                int64_t sum = scene.DiscSum(ax0, ay0, movingX);
                if (sum < 0) continue;
                discLevels[static_cast<size_t>(ox)] = scene.Base(static_cast<uint32_t>(sum), Channel(ax0, ay0));
            }
            base = discLevels.data();
        }
        uint32_t rowTerm = Spread(frameTerm ^ static_cast<uint32_t>(ay0));
        RenderRow(base + x0, scene.columnTerms.data() + x0, rowTerm, row, x1 - x0, avx2);
        // Hot pixels stay bright whatever the exposure.
        for (const auto& hot : kHotPixels) {
            if (scene.samples != 1 || ay0 != hot[1]) continue;
            for (int ox = x0; ox < x1; ++ox) {
                if (columns.first[static_cast<size_t>(ox)] == hot[0]) row[ox - x0] = 255;
            }
        }
    }
}

}  // namespace lumora
