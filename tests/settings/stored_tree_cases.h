#pragma once
// The cases of the stored settings tree, run through the exported functions against the store of
// the platform: the settings file in the native tests, the registry in the Wine run. The caller
// gives the exports (linked, or resolved from the DLL) and the Platform that writes and reads the
// tree; failures are reported through Platform::Fail. Two emulated cameras are attached.
#include <cstdio>
#include <string>
#include <vector>

#include "lumora/LumoraSdk.h"

namespace stored_tree {

#define LUMORA_STORED_TREE_EXPORTS(X)                                                         \
    X(Lumora_Initialize) X(Lumora_Release) X(Lumora_GetLastError) X(Lumora_GetColorMode)       \
    X(Lumora_SetCaptureWindow) X(Lumora_GetCaptureWindowEx) X(Lumora_SetDeviceNumber)          \
    X(Lumora_SetFilterValue) X(Lumora_GetFilterValue) X(Lumora_SetMirrorV) X(Lumora_SetMirrorH) \
    X(Lumora_GetMirrorV) X(Lumora_GetMirrorH) X(Lumora_SetAutoIris) X(Lumora_GetAutoIris)  \
    X(Lumora_GetSubSample) X(Lumora_GetWaitTime) X(Lumora_GetHalfClock)

struct Api {
#define LUMORA_STORED_TREE_MEMBER(name) decltype(&::name) name;
    LUMORA_STORED_TREE_EXPORTS(LUMORA_STORED_TREE_MEMBER)
#undef LUMORA_STORED_TREE_MEMBER
};

// How a value is stored: a number, or what the loader must not take for one.
enum class Kind { Dword, Text, TwoBytes, Binary };
struct Entry {
    std::string sub;  // below the root; "" for the root
    const char* name;
    int value;
    Kind kind;
};
using Tree = std::vector<Entry>;

class Platform {
public:
    virtual ~Platform() = default;
    // The tree holds exactly these values (nothing at all for an empty list).
    virtual void Write(const Tree& tree) = 0;
    // The stored number, -1 when missing.
    virtual long long Stored(const std::string& sub, const char* name) = 0;
    // Cameras whose registers hold nothing from earlier cases, where the platform can.
    virtual void FreshCameras() {}
    virtual void Fail(int line, const std::string& what) = 0;
};

inline Tree operator+(Tree a, const Tree& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
inline Tree Values(const std::string& sub, std::vector<std::pair<const char*, int>> values, Kind kind = Kind::Dword) {
    Tree tree;
    for (auto& v : values) tree.push_back({sub, v.first, v.second, kind});
    return tree;
}
inline Tree Root(int size) {
    return Values("", {{"Size", size}, {"Color", 2}, {"SubSample", 0}, {"WaitTime", 10}, {"Clock", 0}});
}
inline Tree Preset(int n, int eh, int ev, int ehs = 0, int evs = 0) {
    char sub[16];
    std::snprintf(sub, sizeof sub, "Size_%02d", n);
    return Values(sub, {{"TH", 3488}, {"TV", 2616}, {"EH", eh}, {"EV", ev}, {"EHS", ehs}, {"EVS", evs}, {"Buf", 10}});
}
inline Tree FirstRun() { return Root(0) + Preset(0, 3488, 2616); }

#define TREE_CHECK(cond) ((cond) ? (void)0 : p.Fail(__LINE__, std::string(what) + ": " #cond))

inline std::vector<int> Errors(const Api& api, LumoraHandle h) {
    std::vector<int> codes;
    for (int code; (code = api.Lumora_GetLastError(h)) != 0;) codes.insert(codes.begin(), code);
    return codes;
}
// hTotal, hStart, hEffective, vTotal, vStart, vEffective.
inline std::vector<int> Window(const Api& api, LumoraHandle h) {
    std::vector<int> w(6);
    api.Lumora_GetCaptureWindowEx(h, &w[0], &w[1], &w[2], &w[3], &w[4], &w[5]);
    return w;
}
inline int Filter(const Api& api, LumoraHandle h, int index) {
    int ok = 0;
    return api.Lumora_GetFilterValue(h, index, &ok);
}

inline void RunAll(const Api& api, Platform& p) {
    const std::vector<int> full = {3488, 0, 3488, 2616, 0, 2616};
    const char* what = "first run";
    {
        p.Write({});
        p.FreshCameras();
        LumoraHandle h = api.Lumora_Initialize(nullptr);
        TREE_CHECK(Errors(api, h) == std::vector<int>{CAMERR_STORAGE});
        TREE_CHECK(api.Lumora_GetColorMode(h) == 24 && Window(api, h) == full);
        for (const Entry& e : FirstRun()) TREE_CHECK(p.Stored(e.sub, e.name) == e.value);
        TREE_CHECK(p.Stored("Filter", "Gamma") == -1 && p.Stored("Gain_00", "Global") == -1);
        TREE_CHECK(Filter(api, h, 11) == 100 && Filter(api, h, 13) == 32);
        TREE_CHECK(api.Lumora_Release(h) == 1);
        TREE_CHECK(p.Stored("Filter", "BayerMode") == 3 && p.Stored("Gray", "GainG2") == 128 &&
                   p.Stored("Gain_00", "Exposure") == 2600);
        h = api.Lumora_Initialize(nullptr);
        TREE_CHECK(Errors(api, h).empty());
        api.Lumora_Release(h);
    }

    const Tree three = Preset(0, 3488, 2616) + Preset(1, 1920, 1080, 100, 200) + Preset(2, 1920, 1080, 8, 8);
    struct PresetCase {
        const char* what;
        Tree tree;
        std::vector<int> initErrors;
        int width, height, result;  // Lumora_SetCaptureWindow when width is not 0
        std::vector<int> setErrors, window;
    } presetCases[] = {
        {"Size 3 of three presets", Root(3) + three, {CAMERR_STORAGE}, 0, 0, 0, {}, full},
        {"Size 1 selects its preset", Root(1) + three, {}, 0, 0, 0, {}, {3488, 100, 1920, 2616, 200, 1080}},
        {"Size above 99", Root(100) + three, {CAMERR_STORAGE}, 0, 0, 0, {}, full},
        {"Size missing", Values("", {{"Color", 2}}) + three, {CAMERR_STORAGE}, 0, 0, 0, {}, full},
        {"two presets of one size", Root(0) + three, {}, 1920, 1080, 1, {}, {3488, 100, 1920, 2616, 200, 1080}},
        {"a gap hides the later presets", FirstRun() + Preset(1, 640, 480) + Preset(3, 800, 600), {}, 800, 600, 0,
         {CAMERR_WINDOW}, full},
        {"the preset before the gap", FirstRun() + Preset(1, 640, 480, 4, 6) + Preset(3, 800, 600), {}, 640, 480, 1,
         {}, {3488, 4, 640, 2616, 6, 480}},
        {"EH 3000 at EHS 600", FirstRun() + Preset(1, 3000, 2000, 600), {}, 3000, 2000, 1, {CAMERR_CAPTURE_WINDOW}, full},
        {"a preset the sensor cannot read out", FirstRun() + Preset(1, 2, 2), {}, 2, 2, 0, {CAMERR_CAPTURE_WINDOW},
         full},  // the previous window stays
        {"an invalid stored preset", Root(1) + Preset(0, 3488, 2616) + Preset(1, 100, 100, -1), {CAMERR_CAPTURE_WINDOW},
         0, 0, 0, {}, full},
    };
    for (const PresetCase& c : presetCases) {
        what = c.what;
        p.Write(c.tree);
        LumoraHandle h = api.Lumora_Initialize(nullptr);
        TREE_CHECK(Errors(api, h) == c.initErrors);
        if (c.width != 0) {
            TREE_CHECK(api.Lumora_SetCaptureWindow(h, c.width, c.height) == c.result);
            TREE_CHECK(Errors(api, h) == c.setErrors);
        }
        TREE_CHECK(Window(api, h) == c.window);
        api.Lumora_Release(h);
    }

    // Stored groups; a missing key or value, or a value that is not a 4-byte number, gives the
    // default. Expected: GetFilterValue index, value.
    struct GroupCase {
        const char* what;
        Tree tree;
        std::vector<std::pair<int, int>> expected;
    } groupCases[] = {
        {"Filter without Gray", Values("Filter", {{"Brightness", -20}, {"Gamma", 150}, {"BayerMode", 1}}),
         {{1, -20}, {11, 150}, {12, 1}, {19, 0}, {20, 128}, {21, 128}, {22, 128}, {23, 128}, {24, 0}, {27, 0}}},
        {"Gray without Filter", Values("Gray", {{"Mode", 2}, {"OffsetB1", -5}}),
         {{19, 2}, {27, -5}, {20, 128}, {7, 100}, {11, 100}, {12, 3}}},
        {"a value missing from Filter", Values("Filter", {{"Contrast", 9}}), {{2, 9}, {9, 100}, {11, 100}, {12, 3}}},
        {"values of other types", Values("Filter", {{"Hue", 30}}, Kind::Text) + Values("Filter", {{"Contrast", 5}}, Kind::TwoBytes) +
                                      Values("Gain_00", {{"Global", 99}}, Kind::Binary) + Values("Gain_00", {{"Exposure", 700}}),
         {{3, 0}, {2, 0}, {13, 32}, {18, 700}}},
    };
    for (const GroupCase& c : groupCases) {
        what = c.what;
        p.Write(FirstRun() + c.tree);
        LumoraHandle h = api.Lumora_Initialize(nullptr);
        TREE_CHECK(Errors(api, h).empty());
        for (auto& e : c.expected) {
            if (Filter(api, h, e.first) != e.second) p.Fail(__LINE__, std::string(what) + ": index " + std::to_string(e.first));
        }
        api.Lumora_Release(h);
    }

    what = "a stored mirror of 7 counts as on";
    {
        p.Write(FirstRun() + Values("Gain_00", {{"V_Mirror", 7}}));
        LumoraHandle h = api.Lumora_Initialize(nullptr);
        TREE_CHECK(api.Lumora_SetMirrorV(h, 1) == 1 && Filter(api, h, 12) == 3);  // no phase change
        TREE_CHECK(api.Lumora_GetMirrorV(h) == 1);
        api.Lumora_Release(h);
    }

    what = "stream values that no setter takes";
    for (int round = 0; round < 2; ++round) {
        const int color[] = {5, 6}, sub[] = {18, 3}, wait[] = {0, -5}, clock[] = {9, 10};
        p.Write(Values("", {{"Size", 0}, {"Color", color[round]}, {"SubSample", sub[round]}, {"WaitTime", wait[round]},
                            {"Clock", clock[round]}}) + Preset(0, 3488, 2616));
        LumoraHandle h = api.Lumora_Initialize(nullptr);
        TREE_CHECK(Errors(api, h).empty());
        TREE_CHECK(api.Lumora_GetColorMode(h) == (round ? 8 : 60) && api.Lumora_GetSubSample(h) == (round ? 0 : 18));
        TREE_CHECK(api.Lumora_GetWaitTime(h) == (round ? 10 : 0) && api.Lumora_GetHalfClock(h) == (round ? 0 : 9));
        api.Lumora_Release(h);
    }

    what = "values changed through the exports come back";
    {
        p.Write(FirstRun());
        LumoraHandle h = api.Lumora_Initialize(nullptr);
        const std::vector<std::pair<int, int>> set = {{1, -30}, {5, 7}, {9, 250}, {11, 180}, {20, 200}, {27, -7}, {14, 77}, {18, 1234}};
        for (auto& s : set) TREE_CHECK(api.Lumora_SetFilterValue(h, s.first, s.second) == 1);
        TREE_CHECK(api.Lumora_SetMirrorV(h, 1) == 1 && api.Lumora_SetAutoIris(h, 2) == 1);
        TREE_CHECK(api.Lumora_Release(h) == 1);
        TREE_CHECK(p.Stored("Filter", "Brightness") == -30 && p.Stored("Gray", "OffsetB1") == -7 &&
                   p.Stored("Gain_00", "ColorR") == 77 && p.Stored("Gain_00", "V_Mirror") == 1);
        p.FreshCameras();
        h = api.Lumora_Initialize(nullptr);
        TREE_CHECK(Errors(api, h).empty());
        for (auto& s : set) TREE_CHECK(Filter(api, h, s.first) == s.second);
        int ok = 0;
        TREE_CHECK(Filter(api, h, 12) == 2 && api.Lumora_GetMirrorV(h) == 1 && api.Lumora_GetAutoIris(h, &ok) == 2);
        api.Lumora_Release(h);
    }

    what = "gains per camera number; a second handle leaves the first one's camera alone";
    {
        p.Write(FirstRun() + Values("Gain_00", {{"Global", 40}, {"Exposure", 500}}) + Values("Gain_01", {{"Global", 70}}));
        LumoraHandle a = api.Lumora_Initialize(nullptr);
        TREE_CHECK(api.Lumora_SetFilterValue(a, 13, 90) == 1 && api.Lumora_SetMirrorH(a, 1) == 1);
        LumoraHandle b = api.Lumora_Initialize(nullptr);  // Gain_00: global 40, exposure 500
        TREE_CHECK(Filter(api, a, 13) == 90 && api.Lumora_GetMirrorH(a) == 1);
        TREE_CHECK(api.Lumora_SetDeviceNumber(b, 1) == 1);
        TREE_CHECK(Filter(api, b, 13) == 40 && Filter(api, b, 18) == 500 && api.Lumora_GetMirrorH(b) == 0);
        TREE_CHECK(api.Lumora_SetFilterValue(b, 13, 55) == 1);
        TREE_CHECK(api.Lumora_Release(b) == 1);
        TREE_CHECK(p.Stored("Gain_01", "Global") == 55 && p.Stored("Gain_00", "Global") == 40);
        TREE_CHECK(api.Lumora_Release(a) == 1);
        TREE_CHECK(p.Stored("Gain_00", "Global") == 90 && p.Stored("Gain_00", "H_Mirror") == 1);
    }
}

#undef TREE_CHECK

}  // namespace stored_tree
