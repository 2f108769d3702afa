#include "output/avi_repair.h"

#include <cstring>
#include <string>
#include <vector>

#include "output/avi_writer.h"
#include "platform/output_file.h"

namespace lumora {

namespace {

constexpr uint32_t kMoviSizePosition = 224;
constexpr uint64_t kMaxRiff = 0xFFFFFFFFu;

uint32_t Get32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
bool Is(const uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

// The header fields of AviWriter's layout; false for any other file.
struct Layout {
    uint32_t riffSize = 0;
    uint32_t frameBytes = 0;  // S
};
bool ReadLayout(const uint8_t* h, Layout* layout) {
    const struct { uint32_t at; const char* tag; } tags[] = {
        {0, "RIFF"}, {8, "AVI "}, {12, "LIST"}, {20, "hdrl"}, {24, "avih"}, {88, "LIST"}, {96, "strl"},
        {100, "strh"}, {108, "vids"}, {112, "DIB "}, {172, "strf"}, {220, "LIST"}, {228, "movi"}};
    for (const auto& t : tags) {
        if (!Is(h + t.at, t.tag)) return false;
    }
    const uint64_t width = Get32(h + 184), height = Get32(h + 188);
    if (Get32(h + 16) != 200 || Get32(h + 92) != 124 || Get32(h + 176) != 40 || h[194] != 24 || h[195] != 0 ||
        width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) {
        return false;
    }
    const uint64_t frameBytes = 3 * width * height;
    if (AviWriter::kHeaderSize + 8 + frameBytes + 24 > kMaxRiff) return false;
    layout->riffSize = Get32(h + 4);
    layout->frameBytes = static_cast<uint32_t>(frameBytes);
    return true;
}

bool ReadHeader(platform::OutputFile& file, const char* path, uint8_t* header, Layout* layout) {
    return file.OpenExisting(path) && file.Read(header, AviWriter::kHeaderSize) && ReadLayout(header, layout);
}

}  // namespace

bool AviRepair::IsUnfinished(const char* path) {
    platform::OutputFile file;
    uint8_t header[AviWriter::kHeaderSize];
    Layout layout;
    return ReadHeader(file, path, header, &layout) && layout.riffSize == 0;
}

AviRepairReport AviRepair::Repair(const char* path) {
    AviRepairReport report;
    platform::OutputFile file;
    uint8_t header[AviWriter::kHeaderSize];
    Layout layout;
    uint64_t length = 0;
    if (!ReadHeader(file, path, header, &layout)) {
        report.result = AviRepairResult::kNotRecording;
        return report;
    }
    if (!file.Length(&length)) return report;

    // The frames written whole: "00db" chunks of S bytes back to back after the header, as many
    // as the file holds and a finished file (with their index) could carry.
    const uint64_t chunk = uint64_t{layout.frameBytes} + 8;
    uint64_t end = AviWriter::kHeaderSize;
    uint32_t frames = 0;
    uint8_t head[8];
    while (end + chunk <= length && end + chunk + 8 + 16 * (uint64_t{frames} + 1) <= kMaxRiff + 8 &&
           file.Seek(end) && file.Read(head, 8) && Is(head, "00db") && Get32(head + 4) == layout.frameBytes) {
        ++frames;
        end += chunk;
    }

    std::vector<uint8_t> index(8 + 16 * size_t{frames});
    std::memcpy(index.data(), "idx1", 4);
    Put32(index.data() + 4, 16 * frames);
    for (uint32_t i = 0; i < frames; ++i) {
        uint8_t* e = index.data() + 8 + 16 * size_t{i};
        std::memcpy(e, "00db", 4);
        Put32(e + 4, 0x10);  // key frame
        Put32(e + 8, static_cast<uint32_t>(4 + i * chunk));
        Put32(e + 12, layout.frameBytes);
    }
    const uint32_t riffSize = static_cast<uint32_t>(end + index.size() - 8);
    const uint32_t moviSize = static_cast<uint32_t>(end - kMoviSizePosition - 4);
    const struct { uint32_t at, value; } fields[] = {{4, riffSize}, {kMoviSizePosition, moviSize}, {48, frames}, {140, frames}};

    report.frames = frames;
    bool intact = length == end + index.size();
    for (const auto& f : fields) intact = intact && Get32(header + f.at) == f.value;
    if (intact) {
        std::vector<uint8_t> stored(index.size());
        intact = file.Seek(end) && file.Read(stored.data(), stored.size()) && stored == index;
    }
    if (intact) {
        report.result = AviRepairResult::kIntact;
        return report;
    }

    report.droppedBytes = length - end;
    bool ok = file.Truncate(end) && file.Write(index.data(), index.size());
    for (const auto& f : fields) {
        uint8_t value[4];
        Put32(value, f.value);
        ok = ok && file.Seek(f.at) && file.Write(value, 4);
    }
    ok = file.Close() && ok;
    report.result = ok ? AviRepairResult::kRepaired : AviRepairResult::kFailed;
    return report;
}

bool AviRepair::SetAside(const char* path) {
    if (!IsUnfinished(path)) return false;
    if (Repair(path).result != AviRepairResult::kRepaired) return false;
    std::string base(path);
    if (base.size() > 4) {
        std::string ext = base.substr(base.size() - 4);
        for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (ext == ".avi") base.resize(base.size() - 4);
    }
    for (int n = 1; n <= 99; ++n) {
        const std::string name = base + "-recovered" + (n == 1 ? "" : "-" + std::to_string(n)) + ".avi";
        if (platform::OutputFile::RenameNew(path, name.c_str())) return true;
    }
    return false;
}

}  // namespace lumora
