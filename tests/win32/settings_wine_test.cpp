// The persisted settings of the DLL against the registry, with LUMORA_CAMEMU=2: first run,
// presets, groups and their defaults, values of another type, gains per camera number, and a
// second handle that leaves the first one's camera alone. Exit code 0 when everything holds.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "lumora/LumoraSdk.h"
#include "settings_tree.h"

namespace {

namespace tree = settings_tree;

int passed = 0, failed = 0;

void Check(bool ok, const char* what, int line, const char* scope) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAILED line %d (%s): %s\n", line, scope, what);
    }
}
const char* scope = "";
#define CHECK(cond) Check((cond), #cond, __LINE__, scope)

HMODULE dll;
template <typename F>
F Get(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}
#define FN(name) decltype(&::name) name = Get<decltype(&::name)>(#name)

struct Api {
    FN(Lumora_Initialize);
    FN(Lumora_Release);
    FN(Lumora_GetLastError);
    FN(Lumora_GetColorMode);
    FN(Lumora_SetCaptureWindow);
    FN(Lumora_GetCaptureWindowEx);
    FN(Lumora_SetDeviceNumber);
    FN(Lumora_SetFilterValue);
    FN(Lumora_GetFilterValue);
    FN(Lumora_SetMirrorV);
    FN(Lumora_GetMirrorV);
    FN(Lumora_SetAutoIris);
    FN(Lumora_GetAutoIris);
};

std::vector<int> Errors(const Api& api, LumoraHandle h) {
    std::vector<int> codes;
    for (int code; (code = api.Lumora_GetLastError(h)) != 0;) codes.insert(codes.begin(), code);
    return codes;
}

// hTotal, hStart, hEffective, vTotal, vStart, vEffective.
std::vector<int> Window(const Api& api, LumoraHandle h) {
    std::vector<int> w(6);
    api.Lumora_GetCaptureWindowEx(h, &w[0], &w[1], &w[2], &w[3], &w[4], &w[5]);
    return w;
}
const std::vector<int> kFull = {3488, 0, 3488, 2616, 0, 2616};

int Filter(const Api& api, LumoraHandle h, int index) {
    int ok = 0;
    return api.Lumora_GetFilterValue(h, index, &ok);
}

void FirstRun(const Api& api) {
    scope = "first run";
    tree::Delete();
    LumoraHandle h = api.Lumora_Initialize(nullptr);
    CHECK(Errors(api, h) == std::vector<int>{CAMERR_STORAGE});
    CHECK(api.Lumora_GetColorMode(h) == 24);
    CHECK(Window(api, h) == kFull);
    const char* root[] = {"Size", "Color", "SubSample", "WaitTime", "Clock"};
    const int rootValues[] = {0, 2, 0, 10, 0};
    for (int i = 0; i < 5; ++i) CHECK(tree::Get("", root[i]) == rootValues[i]);
    const char* preset[] = {"TH", "TV", "EH", "EV", "EHS", "EVS", "Buf"};
    const int presetValues[] = {3488, 2616, 3488, 2616, 0, 0, 10};
    for (int i = 0; i < 7; ++i) CHECK(tree::Get("Size_00", preset[i]) == presetValues[i]);
    CHECK(!tree::Exists("Filter") && !tree::Exists("Gain_00"));
    CHECK(api.Lumora_Release(h) == 1);
    CHECK(tree::Get("Filter", "Gamma") == 100 && tree::Get("Gray", "GainR1") == 128 &&
          tree::Get("Gain_00", "Exposure") == 2600);
}

void Presets(const Api& api) {
    struct Case {
        const char* what;
        int size;
        std::vector<std::vector<int>> presets;  // NN, EH, EV, EHS, EVS
        std::vector<int> initErrors;
        int width, height, result;
        std::vector<int> setErrors, window;
    } cases[] = {
        {"Size 3 of three presets", 3, {{0, 3488, 2616, 0, 0}, {1, 1920, 1080, 0, 0}, {2, 640, 480, 0, 0}},
         {CAMERR_STORAGE}, 0, 0, 0, {}, kFull},
        {"a gap hides the later presets", 0, {{0, 3488, 2616, 0, 0}, {1, 640, 480, 0, 0}, {3, 800, 600, 0, 0}},
         {}, 800, 600, 0, {CAMERR_WINDOW}, kFull},
        {"two presets of one size", 0, {{0, 3488, 2616, 0, 0}, {1, 1920, 1080, 100, 200}, {2, 1920, 1080, 8, 8}},
         {}, 1920, 1080, 1, {}, {3488, 100, 1920, 2616, 200, 1080}},
        {"EH 3000 at EHS 600", 0, {{0, 3488, 2616, 0, 0}, {1, 3000, 2000, 600, 0}},
         {}, 3000, 2000, 1, {CAMERR_CAPTURE_WINDOW}, kFull},
    };
    for (const Case& c : cases) {
        scope = c.what;
        tree::Delete();
        tree::SetRoot(c.size);
        for (const auto& p : c.presets) tree::SetPreset(p[0], 3488, 2616, p[1], p[2], p[3], p[4]);
        LumoraHandle h = api.Lumora_Initialize(nullptr);
        CHECK(Errors(api, h) == c.initErrors);
        if (c.width != 0) {
            CHECK(api.Lumora_SetCaptureWindow(h, c.width, c.height) == c.result);
            CHECK(Errors(api, h) == c.setErrors);
        }
        CHECK(Window(api, h) == c.window);
        api.Lumora_Release(h);
    }
}

void Groups(const Api& api) {
    scope = "Filter without Gray, values of other types";
    tree::WriteFirstRun();
    tree::Set("Filter", "Gamma", 150);
    tree::Set("Filter", "Brightness", static_cast<DWORD>(-20));
    tree::SetRaw("Filter", "Hue", REG_SZ, "30", 3);
    const WORD shortValue = 5;
    tree::SetRaw("Filter", "Contrast", REG_DWORD, &shortValue, sizeof shortValue);
    const DWORD binary = 99;
    tree::SetRaw("Gain_00", "Global", REG_BINARY, &binary, sizeof binary);
    tree::Set("Gain_00", "Exposure", 700);
    LumoraHandle h = api.Lumora_Initialize(nullptr);
    CHECK(Errors(api, h).empty());
    const int index[] = {11, 1, 3, 2, 12, 19, 20, 21, 22, 23, 24, 25, 26, 27, 13, 18};
    const int value[] = {150, -20, 0, 0, 3, 0, 128, 128, 128, 128, 0, 0, 0, 0, 32, 700};
    for (int i = 0; i < 16; ++i) CHECK(Filter(api, h, index[i]) == value[i]);
    api.Lumora_Release(h);

    scope = "values changed through the exports come back";
    tree::WriteFirstRun();
    h = api.Lumora_Initialize(nullptr);
    const int setIndex[] = {1, 5, 9, 11, 20, 27, 14, 18};
    const int setValue[] = {-30, 7, 250, 180, 200, -7, 77, 1234};
    for (int i = 0; i < 8; ++i) CHECK(api.Lumora_SetFilterValue(h, setIndex[i], setValue[i]) == 1);
    CHECK(api.Lumora_SetMirrorV(h, 1) == 1);
    CHECK(api.Lumora_SetAutoIris(h, 2) == 1);
    CHECK(api.Lumora_Release(h) == 1);
    CHECK(tree::Get("Filter", "Brightness") == -30 && tree::Get("Gray", "OffsetB1") == -7 &&
          tree::Get("Gain_00", "ColorR") == 77 && tree::Get("Gain_00", "AutoIris") == 2);
    h = api.Lumora_Initialize(nullptr);
    CHECK(Errors(api, h).empty());
    for (int i = 0; i < 8; ++i) CHECK(Filter(api, h, setIndex[i]) == setValue[i]);
    CHECK(Filter(api, h, 12) == 2);
    CHECK(api.Lumora_GetMirrorV(h) == 1);
    int ok = 0;
    CHECK(api.Lumora_GetAutoIris(h, &ok) == 2);
    api.Lumora_Release(h);
}

void TwoCameras(const Api& api) {
    scope = "gains per camera number, second handle";
    tree::WriteFirstRun();
    tree::Set("Gain_00", "Global", 40);
    tree::Set("Gain_01", "Global", 70);
    LumoraHandle a = api.Lumora_Initialize(nullptr);
    CHECK(Filter(api, a, 13) == 40);
    CHECK(api.Lumora_SetFilterValue(a, 13, 90) == 1);
    LumoraHandle b = api.Lumora_Initialize(nullptr);
    CHECK(Filter(api, a, 13) == 90);  // b wrote nothing to a's camera
    CHECK(api.Lumora_SetDeviceNumber(b, 1) == 1);
    CHECK(Filter(api, b, 13) == 40);  // b's gains, loaded from Gain_00, went to camera 2
    CHECK(api.Lumora_SetFilterValue(b, 13, 55) == 1);
    CHECK(api.Lumora_Release(b) == 1);
    CHECK(tree::Get("Gain_01", "Global") == 55);
    CHECK(tree::Get("Gain_00", "Global") == 40);
    CHECK(api.Lumora_Release(a) == 1);
    CHECK(tree::Get("Gain_00", "Global") == 90);
}

}  // namespace

int main() {
    SetEnvironmentVariableA("LUMORA_CAMEMU", "2");
    dll = LoadLibraryA(LUMORA_DLL);
    if (dll == nullptr) {
        std::printf("cannot load %s (error %lu)\n", LUMORA_DLL, GetLastError());
        return 1;
    }
    {
        Api api;
        FirstRun(api);
        Presets(api);
        Groups(api);
        TwoCameras(api);
    }
    tree::WriteFirstRun();
    FreeLibrary(dll);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
