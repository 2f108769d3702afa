// The soak run of bench/soak.sh: two emulated cameras at their full rate for MINUTES, one in a
// callback preview, the other recording back to back (RECORD_SECONDS each, the file replaced each
// time); every SAMPLE_SECONDS a line with frames delivered and dropped, resident memory and open
// descriptors, and at the end the figures at the start (after the first recording) and the end.
//
// Usage: lumora_soak MINUTES FOLDER (LUMORA_CAMEMU=2 in the environment).
#include <dirent.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "device/disk_layer.h"
#include "lumora/LumoraSdk.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRecordSeconds = 10;
constexpr int kSampleSeconds = 60;

std::atomic<uint64_t> delivered{0}, failed{0};

void Count(void*, unsigned msg, uintptr_t wParam, intptr_t) {
    if (msg != CAMMSG_FRAME) return;
    (wParam != 0 ? delivered : failed)++;
}

long ResidentKiB() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int OpenDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n - 3;  // ".", ".." and the listing's own
}

struct Sample {
    double minutes;
    uint64_t camera, delivered, failed;
    LumoraExStreamStatistics stream;  // the preview's statistics
    uint32_t recordings;
    long residentKiB;
    int descriptors;
};

LumoraHandle Open(int device) {
    const LumoraHandle h = Lumora_Initialize(nullptr);
    if (h == 0 || Lumora_SetDeviceNumber(h, device) != 1 || Lumora_SetColorMode(h, 24) != 1 ||
        Lumora_SetSubSample(h, 2) != 1 || Lumora_SetHalfClock(h, 5) != 1) {
        std::fprintf(stderr, "camera %d cannot be opened\n", device);
        std::exit(1);
    }
    return h;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: lumora_soak MINUTES FOLDER\n");
        return 2;
    }
    const double minutes = std::atof(argv[1]);
    const std::string clip = std::string(argv[2]) + "/soak.avi";
    const auto cameras = lumora::DiskLayer::EnvironmentCameras();
    if (cameras.size() < 2) {
        std::fprintf(stderr, "needs LUMORA_CAMEMU=2\n");
        return 2;
    }
    LumoraNotifier notifier{LUMORA_NOTIFIER_TAG, Count, nullptr};
    const LumoraHandle preview = Open(0), recorder = Open(1);
    std::vector<uint8_t> buffer(3488 / 2 * 2616 / 2 * 3);
    if (Lumora_CallBackPreview(preview, &notifier, buffer.data(), static_cast<int>(buffer.size()), 1) != 1) return 1;

    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double, std::ratio<60>>(minutes);
    const uint64_t cameraStart = cameras[0]->FramesDelivered();
    uint32_t recordings = 0;
    std::vector<Sample> samples;
    auto sample = [&] {
        LumoraExStreamStatistics stream{};
        stream.size = sizeof stream;
        LumoraEx_GetStreamStatistics(preview, &stream);
        samples.push_back({std::chrono::duration<double, std::ratio<60>>(Clock::now() - start).count(),
                           cameras[0]->FramesDelivered() - cameraStart, delivered.load(), failed.load(), stream,
                           recordings, ResidentKiB(), OpenDescriptors()});
        const Sample& s = samples.back();
        std::printf("%7.2f min  camera %9llu  delivered %9llu  dropped %7llu  failed %llu  recordings %4u"
                    "  resident %7ld KiB  descriptors %d\n",
                    s.minutes, static_cast<unsigned long long>(s.camera), static_cast<unsigned long long>(s.delivered),
                    static_cast<unsigned long long>(s.camera - s.delivered), static_cast<unsigned long long>(s.failed),
                    s.recordings, s.residentKiB, s.descriptors);
        std::printf("             skipped %u: consumer busy %u, wrong size %u, stream end %u; failed transfers %u,"
                    " stalls %u\n",
                    s.stream.skipped, s.stream.skippedConsumerBusy, s.stream.skippedWrongSize,
                    s.stream.skippedStreamEnd, s.stream.failed, s.stream.stalls);
        std::fflush(stdout);
    };
    auto nextSample = start;
    while (Clock::now() < end) {
        if (Lumora_Record(recorder, clip.c_str(), kRecordSeconds * 1000, 0) != 1) {
            std::fprintf(stderr, "recording %u failed (code %d)\n", recordings, Lumora_GetLastError(recorder));
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::seconds(kRecordSeconds) + std::chrono::milliseconds(200));
        Lumora_Close(recorder);
        ++recordings;
        if (recordings == 1 || Clock::now() >= nextSample) {
            sample();
            nextSample = Clock::now() + std::chrono::seconds(kSampleSeconds);
        }
    }
    sample();
    Lumora_Close(preview);
    LumoraExStreamStatistics total{};
    total.size = sizeof total;
    LumoraEx_GetStreamStatistics(preview, &total);
    Lumora_Release(preview);
    Lumora_Release(recorder);
    const Sample& first = samples.front();
    const Sample& last = samples.back();
    std::printf("\nsoak of %.1f min: frames delivered %llu, dropped %llu (of %llu the camera gave), failed %llu,"
                " %u recordings\nresident memory %ld KiB at start, %ld KiB at end (%+ld KiB)\n"
                "open descriptors %d at start, %d at end\n",
                last.minutes, static_cast<unsigned long long>(last.delivered),
                static_cast<unsigned long long>(last.camera - last.delivered), static_cast<unsigned long long>(last.camera),
                static_cast<unsigned long long>(last.failed), last.recordings, first.residentKiB, last.residentKiB,
                last.residentKiB - first.residentKiB, first.descriptors, last.descriptors);
    std::printf("preview stream: completed %u, delivered %u, skipped %u (consumer busy %u, wrong size %u,"
                " stream end %u), failed transfers %u, stalls %u\n",
                total.completed, total.delivered, total.skipped, total.skippedConsumerBusy, total.skippedWrongSize,
                total.skippedStreamEnd, total.failed, total.stalls);
    return 0;
}
