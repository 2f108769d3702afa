// lumora: the camera from the command line, on the library's public interface alone.
//
//   lumora list | info | snap | record | stream | view | get | set | reset | reg | repair
//   (--help for each; lumora --version)
//
// The words mean what the library's functions mean: --mode is the bits Lumora_SetColorMode
// takes, --subsample the mode of Lumora_SetSubSample. Options may come in any order after the
// subcommand; numbers are decimal (register addresses and values also 0x hexadecimal).
//
// Exit status: 0 success, 1 the library or the camera failed (the message names the error
// code), 2 the command line is wrong.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "camera/camera_tables.h"
#include "output/avi_repair.h"

#include "camera_session.h"
#include "command_line.h"
#include "frame_counter.h"
#include "setting_table.h"
#include "view_window.h"

namespace lumora::tool {
namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> interrupted{false};
extern "C" void OnInterrupt(int) { interrupted = true; }

// Pauses for ms milliseconds, or less when the user interrupts, delivering window messages.
void Pause(int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!interrupted && Clock::now() < end) {
        PumpWindowMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// -d N, the camera number, wherever it stands; 0 without it.
int TakeDevice(CommandLine& args) {
    std::string number;
    if (!args.TakeOptionAnywhere("-d", "camera number after -d", &number)) return 0;
    return CommandLine::ParseInt(number, "camera number (-d)", 0, 9);
}

// --seconds S: decimal seconds, fractions too, up to the longest recording the library takes.
double TakeSeconds(CommandLine& args) {
    return args.TakeSeconds("--seconds", LUMORA_RECORD_MAX_MS / 1000.0);
}

// The subsampling modes of Lumora_SetSubSample in words.
const char* SubsamplingText(int mode) {
    switch (mode) {
        case 0: return "full size";
        case 1: return "half size, skipping";
        case 2: return "quarter size, skipping";
        case 17: return "half size, binning";
        case 18: return "quarter size, binning";
        default: return "unknown";
    }
}

// ---- list, info ----

int List(CommandLine& args) {
    if (!args.Done()) args.Unexpected();
    const LumoraHandle h = Lumora_Initialize(nullptr);
    if (h == 0) throw SdkError("Lumora_Initialize failed: no camera object", CAMERR_MEMORY);
    char names[10][256];
    const int count = Lumora_EnumDevice(h, names);
    Lumora_Release(h);
    if (count <= 0) throw SdkError("no camera found (set LUMORA_CAMEMU=1 to use the built-in emulator)", CAMERR_NO_DEVICE);
    for (int i = 0; i < count; ++i) std::printf("%d  %s\n", i, names[i]);
    return 0;
}

int Info(CommandLine& args) {
    const int device = TakeDevice(args);
    if (!args.Done()) args.Unexpected();
    CameraSession cam(device);
    const LumoraHandle h = cam.Handle();
    const unsigned version = static_cast<unsigned>(Lumora_GetDllVersion());
    std::printf("library version      %u.%u.%u.%u\n", version >> 24, (version >> 16) & 0xFF,
                (version >> 8) & 0xFF, version & 0xFF);
    char name[256] = {};
    cam.Check(Lumora_GetDeviceName(h, device, name, sizeof name), "Lumora_GetDeviceName");
    std::printf("camera               %d  %s\n", device, name);
    CameraInfo info{};
    info.size = sizeof info;
    cam.Check(Lumora_GetCameraInfo(h, &info), "Lumora_GetCameraInfo");
    std::printf("sensor               %d x %d, gains %d..%d, exposure %d..%d lines\n", info.width,
                info.height, info.globalGainMin, info.globalGainMax, info.exposureMin, info.exposureMax);
    int width = 0, height = 0, bits = 0;
    const int bytes = LumoraPictureSize(h, &width, &height, &bits);
    std::printf("colour mode          %d bits per pixel\n", bits);
    int th, hs, he, tv, vs, ve;
    Lumora_GetCaptureWindowEx(h, &th, &hs, &he, &tv, &vs, &ve);
    std::printf("capture window       %d x %d at (%d, %d) sensor pixels\n", he, ve, hs, vs);
    const int sub = Lumora_GetSubSample(h);
    std::printf("subsampling          %d (%s)\n", sub, SubsamplingText(sub));
    std::printf("frame size           %d x %d, %d bytes\n", width, height, bytes);
    std::printf("clock setting        %d\n", Lumora_GetHalfClock(h));
    int ok = 0;
    const int us = Lumora_GetRealExposureTime(h, &ok);
    std::printf("real exposure time   %d us (at the last acquisition's line timing)\n", us);
    for (const Setting& s : Settings()) {
        int value = 0;
        if (ReadSetting(h, s, &value)) {
            std::printf("%-20s %d\n", s.name, value);
        } else {
            std::printf("%-20s unavailable\n", s.name);
        }
    }
    return 0;
}

// ---- snap ----

struct Extension {
    const char* suffix;
    int format;  // LUMORA_IMAGE_*; JPEG is refined by --quality
};

int FormatOf(const std::string& path, int quality) {
    static const Extension kExtensions[] = {
        {".bmp", LUMORA_IMAGE_BMP}, {".raw", LUMORA_IMAGE_RAW},   {".jpg", LUMORA_IMAGE_JPEG_FINE},
        {".jpeg", LUMORA_IMAGE_JPEG_FINE}, {".png", LUMORA_IMAGE_PNG}, {".tif", LUMORA_IMAGE_TIFF},
        {".tiff", LUMORA_IMAGE_TIFF},
    };
    std::string lower = path;
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    for (const Extension& e : kExtensions) {
        const size_t n = std::strlen(e.suffix);
        if (lower.size() > n && lower.compare(lower.size() - n, n, e.suffix) == 0) {
            if (e.format != LUMORA_IMAGE_JPEG_FINE) return e.format;
            return quality == 100 ? LUMORA_IMAGE_JPEG_FINE : quality == 70 ? LUMORA_IMAGE_JPEG_NORMAL
                                                                           : LUMORA_IMAGE_JPEG_ECONOMY;
        }
    }
    throw UsageError("cannot write '" + path + "': the extension must be .bmp .raw .jpg .jpeg .png .tif or .tiff");
}

// ---- what a frame looks like: the options of snap, record and stream ----

struct FrameOptions {
    int mode = 0;  // bits for Lumora_SetColorMode; 0: as stored
    int width = 0, height = 0, x = -1, y = -1;  // width 0: the stored window
    int subsample = -1;  // mode for Lumora_SetSubSample; -1: as stored
    int clock = -1;  // -1: as stored

    static constexpr const char* kUsage =
        "[--mode 8|16|24|32|48|64] [--window W H [X Y]] [--subsample 0|1|2|17|18] [--clock 0..9]";

    // Takes one frame option when it comes next.
    bool Take(CommandLine& args) {
        if (args.TakeOption("--mode")) {
            mode = args.TakeInt("--mode", 8, 64);
            bool known = false;
            for (const ColorModeInfo& m : kColorModes) known = known || m.bits == mode;
            if (!known) throw UsageError("--mode must be 8, 16, 24, 32, 48 or 64");
        } else if (args.TakeOption("--window")) {
            width = args.TakeInt("window width", 4, 3488);
            height = args.TakeInt("window height", 3, 2616);
            if (!args.Done() && !args.NextIsOption()) {
                x = args.TakeInt("window x", 0, 3488);
                y = args.TakeInt("window y", 0, 2616);
            }
        } else if (args.TakeOption("--subsample")) {
            subsample = args.TakeInt("--subsample", 0, 18);
            if (!IsSubsamplingMode(subsample)) throw UsageError("--subsample must be 0, 1, 2, 17 or 18");
        } else if (args.TakeOption("--clock")) {
            clock = args.TakeInt("--clock", 0, 9);
        } else {
            return false;
        }
        return true;
    }

    // Sets the camera up for these frames.
    void Apply(const CameraSession& cam) const {
        const LumoraHandle h = cam.Handle();
        if (mode != 0) cam.Check(Lumora_SetColorMode(h, mode), "Lumora_SetColorMode");
        if (subsample >= 0) cam.Check(Lumora_SetSubSample(h, subsample), "Lumora_SetSubSample");
        if (clock >= 0) cam.Check(Lumora_SetHalfClock(h, clock), "Lumora_SetHalfClock");
        if (width != 0) {
            int left = x, top = y;
            if (left < 0) {  // centred on the sensor, on even coordinates so the colours stay in place
                left = (3488 - width) / 2 & ~1;
                top = (2616 - height) / 2 & ~1;
            }
            cam.Check(Lumora_SetCaptureWindowEx(h, 3488, left, width, 2616, top, height),
                      "Lumora_SetCaptureWindowEx");
        }
    }
};

// ---- snap ----

int Snap(CommandLine& args) {
    const int device = TakeDevice(args);
    FrameOptions frame;
    int quality = 100;
    std::string output;
    while (!args.Done()) {
        if (frame.Take(args)) continue;
        if (args.TakeOption("--quality")) {
            quality = args.TakeInt("--quality", 20, 100);
            if (quality != 100 && quality != 70 && quality != 20) throw UsageError("--quality must be 100, 70 or 20");
        } else if (args.TakeOption("-o")) {
            output = args.Take("output file after -o");
        } else {
            args.Unexpected();
        }
    }
    if (output.empty()) throw UsageError("missing -o FILE");
    const int format = FormatOf(output, quality);

    CameraSession cam(device);
    const LumoraHandle h = cam.Handle();
    frame.Apply(cam);
    cam.Check(Lumora_SnapShot(h, nullptr, 0, 1), "Lumora_SnapShot");
    cam.Check(Lumora_SaveImage(h, output.c_str(), format), "Lumora_SaveImage");
    int width = 0, height = 0, bits = 0;
    LumoraPictureSize(h, &width, &height, &bits);
    std::printf("%s: %d x %d, %d bits per pixel\n", output.c_str(), width, height, bits);
    return 0;
}

// ---- record ----

// A 32-bit little-endian field of a file; 0 when it cannot be read.
uint32_t Field32(std::FILE* f, long offset) {
    unsigned char b[4] = {};
    if (std::fseek(f, offset, SEEK_SET) != 0 || std::fread(b, 1, 4, f) != 4) return 0;
    return b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
}

long FileSize(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return 0;
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fclose(f);
    return size;
}

int Record(CommandLine& args) {
    const int device = TakeDevice(args);
    FrameOptions frame;
    double seconds = -1;
    std::string output;
    while (!args.Done()) {
        if (frame.Take(args)) continue;
        if (args.TakeOption("--seconds")) {
            seconds = TakeSeconds(args);
        } else if (args.TakeOption("-o")) {
            output = args.Take("output file after -o");
        } else {
            args.Unexpected();
        }
    }
    if (seconds < 0) throw UsageError("missing --seconds S");
    if (output.size() < 5 || (output.compare(output.size() - 4, 4, ".avi") != 0 &&
                              output.compare(output.size() - 4, 4, ".AVI") != 0)) {
        throw UsageError("missing -o FILE.avi");
    }
    CameraSession cam(device);
    const LumoraHandle h = cam.Handle();
    frame.Apply(cam);
    int width = 0, height = 0;
    LumoraPictureSize(h, &width, &height, nullptr);
    const long frameBytes = 8L + 3L * width * height;  // one chunk of 24-bit pixels
    const int durationMs = static_cast<int>(seconds * 1000 + 0.5);
    cam.Check(Lumora_Record(h, output.c_str(), durationMs, 0), "Lumora_Record");
    const bool terminal = isatty(fileno(stdout)) != 0;
    const auto start = Clock::now();
    double elapsed = 0;
    long lastSecond = -1;
    // The recording ends by itself after its duration; half a second more lets the file finish.
    while (!interrupted && elapsed < seconds + 0.5) {
        Pause(200);
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        const long size = FileSize(output);
        const long frames = size > 232 ? (size - 232) / frameBytes : 0;
        if (terminal) {
            std::printf("\r%5.1f s  %6ld frames  %5.1f fps  %8.1f MB", elapsed, frames,
                        elapsed > 0 ? frames / elapsed : 0.0, size / 1e6);
            std::fflush(stdout);
        } else if (static_cast<long>(elapsed) != lastSecond) {
            lastSecond = static_cast<long>(elapsed);
            std::printf("%.1f s  %ld frames  %.1f fps  %.1f MB\n", elapsed, frames,
                        elapsed > 0 ? frames / elapsed : 0.0, size / 1e6);
        }
    }
    if (terminal) std::printf("\n");
    cam.Check(Lumora_StopPreview(h), "Lumora_StopPreview");
    std::FILE* f = std::fopen(output.c_str(), "rb");
    if (f == nullptr) throw SdkError("the recording " + output + " is missing", CAMERR_STORAGE);
    const uint32_t frames = Field32(f, 48), scale = Field32(f, 128), rate = Field32(f, 132);
    std::fclose(f);
    std::printf("%s: %u frames at %.2f fps, %.1f MB\n", output.c_str(), frames,
                scale != 0 ? static_cast<double>(rate) / scale : 0.0, FileSize(output) / 1e6);
    return 0;
}

// ---- stream, view ----

// The stream statistics of h; all zero when the library cannot give them.
LumoraExStreamStatistics StreamStatistics(LumoraHandle h) {
    LumoraExStreamStatistics s{};
    s.size = sizeof s;
    if (!LumoraEx_GetStreamStatistics(h, &s)) s = LumoraExStreamStatistics{};
    return s;
}

int Stream(CommandLine& args) {
    const int device = TakeDevice(args);
    FrameOptions frame;
    double seconds = -1;
    bool json = false;
    while (!args.Done()) {
        if (frame.Take(args)) continue;
        if (args.TakeOption("--seconds")) {
            seconds = TakeSeconds(args);
        } else if (args.TakeOption("--json")) {
            json = true;
        } else {
            args.Unexpected();
        }
    }
    if (seconds < 0) throw UsageError("missing --seconds S");
    CameraSession cam(device);
    const LumoraHandle h = cam.Handle();
    frame.Apply(cam);
    std::vector<unsigned char> buffer(static_cast<size_t>(LumoraPictureSize(h, nullptr, nullptr, nullptr)));
    FrameCounter counter;
    cam.Check(Lumora_CallBackPreview(h, counter.Target(), buffer.data(), static_cast<int>(buffer.size()), 1),
              "Lumora_CallBackPreview");
    const auto start = Clock::now();
    // On a terminal the statistics so far once a second; the JSON form prints only the end.
    const bool terminal = !json && isatty(fileno(stdout)) != 0;
    for (int second = 1; second < seconds + 1 && !interrupted; ++second) {
        const double until = second < seconds ? second : seconds;
        Pause(static_cast<int>(1000 * until - std::chrono::duration<double, std::milli>(Clock::now() - start).count() + 0.5));
        if (!terminal || second > seconds) continue;
        const LumoraExStreamStatistics s = StreamStatistics(h);
        std::printf("\r%5d s  completed %7u  delivered %7u  skipped %6u  failed %4u", second, s.completed,
                    s.delivered, s.skipped, s.failed);
        std::fflush(stdout);
    }
    if (terminal) std::printf("\n");
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    cam.Check(Lumora_StopPreview(h), "Lumora_StopPreview");
    const FrameCounter::Counts n = counter.Take();
    const LumoraExStreamStatistics s = StreamStatistics(h);
    if (json) {
        std::printf("{\"completed\": %u, \"delivered\": %u, \"skipped\": %u, \"failed\": %u, "
                    "\"skipped_by_cause\": {\"consumer_busy\": %u, \"wrong_size\": %u, \"stream_end\": %u}}\n",
                    s.completed, s.delivered, s.skipped, s.failed, s.skippedConsumerBusy, s.skippedWrongSize,
                    s.skippedStreamEnd);
        return n.frames > 0 ? 0 : 1;
    }
    std::printf("frames delivered     %ld\n", n.frames);
    std::printf("failed frames        %ld (last code %d)\n", n.failures, n.lastFailure);
    std::printf("measured rate        %.2f fps over %.2f s\n", n.frames / elapsed, elapsed);
    std::printf("camera's rate        %.1f fps\n", n.fpsTimes10 / 10.0);
    if (n.frames > 1) std::printf("time between frames  %.2f ms\n", 1000.0 * elapsed / n.frames);
    std::printf("frames completed     %u by the camera\n", s.completed);
    std::printf("frames skipped       %u: %u consumer busy, %u wrong size, %u at the end\n", s.skipped,
                s.skippedConsumerBusy, s.skippedWrongSize, s.skippedStreamEnd);
    std::printf("failed transfers     %u, stalls %u\n", s.failed, s.stalls);
    LumoraExFrameDetails last{};
    last.size = sizeof last;
    if (LumoraEx_GetFrameDetails(h, &last)) {
        std::printf("last frame           number %u at %llu us, exposure %u lines (%u us), gains %u "
                    "(red %u, green %u/%u, blue %u)\n",
                    last.number, last.timestamp, last.exposureLines, last.exposureMicroseconds, last.globalGain,
                    last.gainRed, last.gainGreen1, last.gainGreen2, last.gainBlue);
    }
    return n.frames > 0 ? 0 : 1;
}

// The live picture in a window of the tool's, scaled to fit the screen (or --size W H), until
// the window is closed, the user interrupts, or --seconds have passed.
int View(CommandLine& args) {
    const int device = TakeDevice(args);
    FrameOptions frame;
    int width = 0, height = 0;
    double seconds = 0;  // 0: until stopped
    while (!args.Done()) {
        if (frame.Take(args)) continue;
        if (args.TakeOption("--size")) {
            width = args.TakeInt("view width", 16, 16384);
            height = args.TakeInt("view height", 16, 16384);
        } else if (args.TakeOption("--seconds")) {
            seconds = TakeSeconds(args);
        } else {
            args.Unexpected();
        }
    }
    ViewWindow window;
    std::string why;
    if (!window.OpenDisplay(&why)) throw SdkError("no display could be opened (" + why + ")", CAMERR_WINDOW);
    CameraSession cam(device);
    const LumoraHandle h = cam.Handle();
    frame.Apply(cam);
    int frameWidth = 0, frameHeight = 0;
    LumoraPictureSize(h, &frameWidth, &frameHeight, nullptr);
    if (width == 0) {
        int screenWidth = 0, screenHeight = 0;
        window.ScreenSize(&screenWidth, &screenHeight);
        ViewWindow::FitToScreen(frameWidth, frameHeight, screenWidth, screenHeight, &width, &height);
    }
    char name[256] = {};
    Lumora_GetDeviceName(h, device, name, sizeof name);
    char title[512];
    std::snprintf(title, sizeof title, "lumora view: %s, %d x %d at %d%%", name, frameWidth, frameHeight,
                  frameWidth > 0 ? static_cast<int>(100.0 * width / frameWidth + 0.5) : 100);
    if (!window.Create(title, width, height)) throw SdkError("the view window could not be made", CAMERR_WINDOW);
    cam.Check(Lumora_SetPreviewWindow(h, window.Parent(), 0, 0, width, height), "Lumora_SetPreviewWindow");
    cam.Check(Lumora_Preview(h), "Lumora_Preview");
    std::printf("%s: %d x %d frames in a %d x %d window; close it or interrupt (Ctrl+C) to stop\n", name,
                frameWidth, frameHeight, width, height);
    std::fflush(stdout);
    const auto end = Clock::now() + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    while (!interrupted && !window.Closed() && (seconds == 0 || Clock::now() < end)) Pause(50);
    Lumora_Close(h);
    return 0;
}

// ---- get, set, reset, reg ----

// The setting named by the next word.
const Setting& TakeSetting(CommandLine& args) {
    const std::string name = args.Take("setting name");
    const Setting* s = FindSetting(name);
    if (s == nullptr) throw UsageError("unknown setting '" + name + "' (lumora get lists them)");
    return *s;
}

int Get(CommandLine& args) {
    const int device = TakeDevice(args);
    std::vector<const Setting*> wanted;
    if (args.Done()) {
        for (const Setting& s : Settings()) wanted.push_back(&s);
    } else {
        wanted.push_back(&TakeSetting(args));
        if (!args.Done()) args.Unexpected();
    }
    CameraSession cam(device);
    for (const Setting* s : wanted) {
        int value = 0, min = 0, max = 0;
        if (!ReadSetting(cam.Handle(), *s, &value)) cam.Fail(s->name);
        if (!SettingRange(cam.Handle(), *s, &min, &max)) cam.Fail("Lumora_GetCameraInfo");
        if (wanted.size() == 1) {
            std::printf("%d\n", value);
        } else {
            std::printf("%-16s %6d   %d..%d, %s\n", s->name, value, min, max, s->meaning);
        }
    }
    return 0;
}

// Writes value to s and prints what the camera holds afterwards.
void Store(const CameraSession& cam, const Setting& s, int value) {
    if (!WriteSetting(cam.Handle(), s, value)) cam.Fail(s.name);
    int stored = 0;
    if (!ReadSetting(cam.Handle(), s, &stored)) cam.Fail(s.name);
    std::printf("%s = %d\n", s.name, stored);
}

int Set(CommandLine& args) {
    const int device = TakeDevice(args);
    const Setting& s = TakeSetting(args);
    const std::string word = args.Take(s.name);
    if (!args.Done()) args.Unexpected();
    CameraSession cam(device);
    int min = 0, max = 0;
    if (!SettingRange(cam.Handle(), s, &min, &max)) cam.Fail("Lumora_GetCameraInfo");
    Store(cam, s, CommandLine::ParseInt(word, s.name, min, max));
    return 0;
}

// Every setting back to what a new installation starts with (the mirrors first: they move the
// Bayer phase, which follows them).
int Reset(CommandLine& args) {
    const int device = TakeDevice(args);
    if (!args.Done()) args.Unexpected();
    CameraSession cam(device);
    for (bool filters : {false, true}) {
        for (const Setting& s : Settings()) {
            if ((s.filterIndex != 0) == filters) Store(cam, s, s.defaultValue);
        }
    }
    return 0;
}

int Reg(CommandLine& args) {
    const int device = TakeDevice(args);
    const std::string verb = args.Take("read or write");
    if (verb != "read" && verb != "write") throw UsageError("reg takes read or write, not '" + verb + "'");
    const int address = args.TakeInt("register address", 0, 0xFFFF, true);
    const int value = verb == "write" ? args.TakeInt("register value", 0, 0xFFFF, true) : 0;
    if (!args.Done()) args.Unexpected();
    CameraSession cam(device);
    if (verb == "write") {
        cam.Check(Lumora_WriteRegisterEx(cam.Handle(), address, value), "Lumora_WriteRegisterEx");
        return 0;
    }
    int ok = 0;
    const int read = Lumora_ReadRegisterEx(cam.Handle(), address, &ok);
    if (!ok) cam.Fail("Lumora_ReadRegisterEx");
    std::printf("0x%04X = 0x%04X (%d)\n", address, read, read);
    return 0;
}

// ---- repair ----

// A recording cut off by a crash, kept to its whole frames; needs no camera.
int Repair(CommandLine& args) {
    const std::string path = args.Take("FILE.avi");
    if (!args.Done()) args.Unexpected();
    const AviRepairReport r = AviRepair::Repair(path.c_str());
    switch (r.result) {
        case AviRepairResult::kRepaired:
            std::printf("%s: repaired, %u whole frames kept, %llu bytes after them dropped\n", path.c_str(),
                        r.frames, static_cast<unsigned long long>(r.droppedBytes));
            return 0;
        case AviRepairResult::kIntact:
            std::printf("%s: complete, %u frames; nothing to repair\n", path.c_str(), r.frames);
            return 0;
        case AviRepairResult::kNotRecording:
            std::fprintf(stderr, "lumora repair: %s: no such file, or not a recording made by this library\n", path.c_str());
            return 1;
        case AviRepairResult::kFailed:
            break;
    }
    std::fprintf(stderr, "lumora repair: %s: could not be read or rewritten\n", path.c_str());
    return 1;
}

// ---- the subcommands ----

struct Command {
    const char* name;
    int (*run)(CommandLine&);
    const char* usage;
    const char* summary;
};

const Command kCommands[] = {
    {"list", List, "lumora list", "the cameras and their numbers"},
    {"info", Info, "lumora info [-d N]", "camera information, library version and the current settings"},
    {"snap", Snap,
     "lumora snap [-d N] [FRAME OPTIONS] [--quality 100|70|20] -o FILE.{bmp,raw,jpg,jpeg,png,tif,tiff}",
     "one frame into a file; the format comes from the extension"},
    {"record", Record, "lumora record [-d N] [FRAME OPTIONS] --seconds S -o FILE.avi",
     "an AVI recording with a progress line"},
    {"stream", Stream, "lumora stream [-d N] [FRAME OPTIONS] --seconds S [--json]",
     "frames into memory without a window; prints how many arrived, how fast, and the frames "
     "skipped by cause (every second on a terminal; --json: the final counts as one JSON object)"},
    {"view", View, "lumora view [-d N] [FRAME OPTIONS] [--size W H] [--seconds S]",
     "the live picture, scaled to fit the screen (or W x H), until the window is closed or interrupted"},
    {"get", Get, "lumora get [-d N] [NAME]", "one setting, or all of them with their ranges"},
    {"set", Set, "lumora set [-d N] NAME VALUE", "changes a setting (kept for the next start) and prints what is stored"},
    {"reset", Reset, "lumora reset [-d N]", "every setting back to its default (kept for the next start)"},
    {"reg", Reg, "lumora reg [-d N] read|write ADDRESS [VALUE]", "a sensor register (numbers decimal or 0x hexadecimal)"},
    {"repair", Repair, "lumora repair FILE.avi",
     "keeps the whole frames of a recording cut off by a crash and makes it playable again"},
};

void PrintUsage(std::FILE* to) {
    std::fprintf(to, "usage: lumora COMMAND [ARGUMENTS]   (lumora COMMAND --help for one command)\n\n");
    for (const Command& c : kCommands) std::fprintf(to, "  %-8s %s\n", c.name, c.summary);
    std::fprintf(to, "\nWithout a camera, LUMORA_CAMEMU=1 (up to 4) gives emulated cameras.\n");
}

}  // namespace
}  // namespace lumora::tool

int main(int argc, char** argv) {
    using namespace lumora::tool;
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        PrintUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        const unsigned v = static_cast<unsigned>(Lumora_GetDllVersion());
        std::printf("lumora %d.%d.%d.%d (library %u.%u.%u.%u)\n", LUMORA_VERSION_MAJOR, LUMORA_VERSION_MINOR,
                    LUMORA_VERSION_PATCH, LUMORA_VERSION_BUILD, v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
        return 0;
    }
    const Command* command = nullptr;
    for (const Command& c : kCommands) {
        if (std::strcmp(argv[1], c.name) == 0) command = &c;
    }
    if (command == nullptr) {
        std::fprintf(stderr, "lumora: unknown command '%s' (lumora --help lists them)\n", argv[1]);
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("usage: %s\n\n%s\n", command->usage, command->summary);
            if (std::strstr(command->usage, "FRAME OPTIONS") != nullptr) {
                std::printf("\nframe options: %s\n  (the window in sensor pixels, centred unless X Y are given;"
                            " --clock 1..5 are the faster pixel clocks)\n", FrameOptions::kUsage);
            }
            if (command->run == Get || command->run == Set) {
                std::printf("\nsettings:\n");
                for (const Setting& s : Settings()) {
                    if (RangeFromCamera(s)) {
                        std::printf("  %-16s %-10s %s\n", s.name, "(camera)", s.meaning);
                    } else {
                        std::printf("  %-16s %d..%-6d %s\n", s.name, s.min, s.max, s.meaning);
                    }
                }
                std::printf("  (camera): the range the camera reports, shown by lumora get and lumora info\n");
            }
            return 0;
        }
    }
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    try {
        CommandLine args(argc, argv, 2);
        return command->run(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "lumora %s: %s\nusage: %s  (--help for more)\n", command->name, e.what(), command->usage);
        return 2;
    } catch (const SdkError& e) {
        std::fprintf(stderr, "lumora %s: %s\n", command->name, e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lumora %s: %s\n", command->name, e.what());
        return 1;
    }
}
