#include "output/frame_index_writer.h"

#include <cinttypes>
#include <cstdio>

namespace lumora {

std::string FrameIndexWriter::IndexPath(const char* aviPath) {
    return std::string(aviPath ? aviPath : "") + ".frames.csv";
}

bool FrameIndexWriter::Begin(const char* aviPath) {
    Finish();
    failed_ = false;
    if (aviPath == nullptr || !file_.Open(IndexPath(aviPath).c_str())) {
        failed_ = true;
        return false;
    }
    return Write("avi_frame,number,timestamp_us,skipped_before,exposure_lines,exposure_us,global_gain,"
                 "gain_red,gain_green1,gain_green2,gain_blue\n");
}

bool FrameIndexWriter::Add(uint32_t aviFrame, const FrameDetails& d) {
    if (failed_ || !file_.IsOpen()) return false;
    char line[192];
    const SensorShadow& s = d.sensor;
    std::snprintf(line, sizeof line, "%" PRIu32 ",%" PRIu32 ",%" PRIu64 ",%" PRIu32 ",%u,%" PRIu32 ",%u,%u,%u,%u,%u\n",
                  aviFrame, d.number, d.timestampUs, d.skippedBefore, unsigned{s.exposureLines},
                  s.ExposureMicroseconds(), unsigned{s.globalGain}, unsigned{s.gainRed}, unsigned{s.gainGreen1},
                  unsigned{s.gainGreen2}, unsigned{s.gainBlue});
    return Write(line);
}

bool FrameIndexWriter::Write(const std::string& text) {
    if (!file_.Write(text.data(), text.size())) failed_ = true;
    return !failed_;
}

bool FrameIndexWriter::Finish() {
    if (!file_.IsOpen()) return !failed_;
    const bool closed = file_.Close();
    return closed && !failed_;
}

}  // namespace lumora
