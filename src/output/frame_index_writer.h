#pragma once
// The frame index of a recording: a text file beside the AVI (its name with ".frames.csv"
// appended) with one line per recorded frame, in the order of the AVI's frames, saying which
// device frame it was, when the device read it and with which sensor settings. The first line
// names the columns:
//   avi_frame,number,timestamp_us,skipped_before,exposure_lines,exposure_us,global_gain,
//   gain_red,gain_green1,gain_green2,gain_blue
// avi_frame counts from 0; a gap between consecutive numbers is frames the device completed
// that the recording does not hold (skipped before delivery, or delivered while the recorder
// was still writing the one before).
//
// Thread context: the recording's threads one after another (Begin on the application's
// thread before the recording thread starts, Add and Finish on the recording thread).
#include <cstdint>
#include <string>

#include "device/frame_details.h"
#include "platform/output_file.h"

namespace lumora {

class FrameIndexWriter {
public:
    // The index's file name for a recording's file name.
    static std::string IndexPath(const char* aviPath);
    // Opens the index of aviPath (replacing an older one) and writes the column names; false
    // when the file cannot be written (the index is then left out, the recording goes on).
    bool Begin(const char* aviPath);
    // One line for AVI frame aviFrame; false (and nothing more is written) once a write fails.
    bool Add(uint32_t aviFrame, const FrameDetails& details);
    // Closes the index; false when it was not stored whole. Safe when nothing is open.
    bool Finish();

private:
    bool Write(const std::string& text);

    platform::OutputFile file_;
    bool failed_ = false;
};

}  // namespace lumora
