#pragma once
// Helpers of the output tests: temporary paths, file bytes, and the external readers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "output_check.h"

namespace lumora::test {

// A file name of this test process in the temporary folder (the process id keeps builds and
// engineers running the same tests at once apart). The files are removed when the process ends.
inline std::string TempPath(const std::string& name) {
    static std::vector<std::string> made;
    static const bool cleanup = std::atexit([] {
        for (const std::string& path : made) std::remove(path.c_str());
    }) == 0;
    (void)cleanup;
    const std::string path =
        ::testing::TempDir() + "lumora-output-" + std::to_string(getpid()) + "-" + name;
    made.push_back(path);
    return path;
}

inline bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// A full disk, simulated by a file-size limit on this process (writes past it fail with EFBIG
// instead of raising SIGXFSZ). Lifted again by Lift() or at the end of the scope.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit r = saved_;
        r.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &r) == 0;
    }
    ~FileSizeLimit() {
        Lift();
        signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool active() const { return active_; }
    void Lift() {
        if (active_) setrlimit(RLIMIT_FSIZE, &saved_);
        active_ = false;
    }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
    bool active_ = false;
};

// Everything a command prints on its standard output.
inline std::string Run(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

struct VideoInfo {
    int frames = -1;
    int width = 0;
    int height = 0;
    double fps = 0;
};

// What ffprobe reads from the first video stream, counting the frames it can decode.
inline VideoInfo ProbeVideo(const std::string& path) {
    const std::string out =
        Run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
            "stream=width,height,r_frame_rate,nb_read_frames -of default=nw=1 '" + path + "'");
    VideoInfo v;
    size_t pos = 0;
    while (pos < out.size()) {
        size_t end = out.find('\n', pos);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(pos, end - pos);
        pos = end + 1;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "width") v.width = std::atoi(value.c_str());
        if (key == "height") v.height = std::atoi(value.c_str());
        if (key == "nb_read_frames") v.frames = std::atoi(value.c_str());
        if (key == "r_frame_rate") {
            const size_t slash = value.find('/');
            const double num = std::atof(value.c_str());
            const double den = slash == std::string::npos ? 1 : std::atof(value.c_str() + slash + 1);
            v.fps = den != 0 ? num / den : 0;
        }
    }
    return v;
}

// Every frame of a movie as top-down blue-green-red rows, decoded by ffmpeg.
inline std::vector<uint8_t> DecodeBgr24(const std::string& path) {
    const std::string out =
        Run("ffmpeg -v error -i '" + path + "' -f rawvideo -pix_fmt bgr24 -");
    return std::vector<uint8_t>(out.begin(), out.end());
}

}  // namespace lumora::test
