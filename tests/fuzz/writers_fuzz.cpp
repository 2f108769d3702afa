// The still writers and the AVI writer fed any sizes, bit counts, formats, rates and limits, and
// the recording repair fed any file: no crash, no write outside a buffer, and a repaired file is
// complete.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "imaging/image_buffer.h"
#include "output/avi_repair.h"
#include "output/avi_writer.h"
#include "output/still_image_writer.h"

using namespace lumora;

namespace {

constexpr int64_t kMaxBytes = 4 << 20;  // pictures larger than this are only offered, not made

void Stills(fuzz::FuzzInput& in, const std::string& path) {
    const int width = in.Int(), height = in.Int(), bits = in.Int();
    ImageBuffer image;
    if (width <= 0 || height <= 0 || int64_t{width} * height <= kMaxBytes / 8) {
        image.Create(width, height, bits);
    }
    const unsigned format = static_cast<unsigned>(in.Int());
    WriteStillImage(in.Choose() ? path.c_str() : nullptr, in.Choose() ? &image : nullptr, format);
}

void Recording(fuzz::FuzzInput& in, const std::string& path) {
    AviWriter writer(in.Choose() ? in.U32() : AviWriter::kMaxRiffSize);
    const int width = in.Int(), height = in.Int();
    writer.SetFrameSize(width, height);
    writer.SetFrameRate(in.U32());
    if ((width <= 0 || height <= 0 || int64_t{width} * height <= kMaxBytes / 3) && writer.BeginFile(path.c_str())) {
        std::vector<uint8_t> frame(static_cast<size_t>(3 * int64_t{width} * height), in.U8());
        for (int n = in.U8() % 4; n > 0; --n) writer.WriteFrame(in.Choose() ? frame.data() : nullptr);
        writer.SetMeasuredRate(in.U32());
        writer.FinishFile();
        if (AviRepair::Repair(path.c_str()).result != AviRepairResult::kIntact) std::abort();
    }
}

void Repair(fuzz::FuzzInput& in, const std::string& path) {
    const std::string bytes = in.Rest();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    const AviRepairReport r = AviRepair::Repair(path.c_str());
    if (r.result == AviRepairResult::kRepaired && AviRepair::Repair(path.c_str()).result != AviRepairResult::kIntact) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput in(data, size);
    const std::string path = fuzz::FuzzFolder() + "/out";
    switch (in.U8() % 3) {
        case 0: Stills(in, path); break;
        case 1: Recording(in, path); break;
        default: Repair(in, path); break;
    }
    std::remove(path.c_str());
    return 0;
}
