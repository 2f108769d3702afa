#pragma once
// Test helpers: a settings tree of the test's own (XDG_CONFIG_HOME in a fresh folder), written
// and read as the store file, with emulated cameras on the disk layer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "device/disk_layer.h"
#include "platform/settings_store.h"

namespace lumora::test {

constexpr char kRoot[] = "Software\\Vornex\\LumoraK37VQ3Sdk";
constexpr char kHeader[] = "REGEDIT4\r\n\r\n";

inline std::string Key(const std::string& sub = "") {
    return std::string("[HKEY_CURRENT_USER\\") + kRoot + (sub.empty() ? "" : "\\" + sub) + "]\r\n";
}

inline std::string Dword(const char* name, uint32_t value) {
    char line[80];
    std::snprintf(line, sizeof line, "\"%s\"=dword:%08x\r\n", name, value);
    return line;
}

// A preset key with its seven values.
inline std::string Preset(int n, int th, int tv, int eh, int ev, int ehs, int evs, int buf = 10) {
    char name[16];
    std::snprintf(name, sizeof name, "Size_%02d", n);
    return Key(name) + Dword("TH", th) + Dword("TV", tv) + Dword("EH", eh) + Dword("EV", ev) +
           Dword("EHS", ehs) + Dword("EVS", evs) + Dword("Buf", buf);
}

// The root with its five values.
inline std::string Root(int size, int color = 2, int sub = 0, int wait = 10, int clock = 0) {
    return Key() + Dword("Size", size) + Dword("Color", color) + Dword("SubSample", sub) +
           Dword("WaitTime", wait) + Dword("Clock", clock);
}

class SettingsHome : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumora-home-XXXXXX").string();
        ASSERT_NE(::mkdtemp(&pattern[0]), nullptr);
        home = pattern;
        ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
        folder = home + "/Vornex";
        path = folder + "/LumoraK37VQ3Sdk.reg";
    }
    void TearDown() override {
        DiskLayer::ClearTestDrives();
        std::filesystem::remove_all(home);
    }
    void WriteStore(const std::string& bytes) {
        std::filesystem::create_directories(folder);
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::string StoreBytes(const std::string& file = "") {
        std::ifstream in(file.empty() ? path : file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // The value name of the root's sub-key (or the root), -1 when missing.
    static int64_t Stored(const std::string& sub, const char* name) {
        platform::SettingsStore store(platform::SettingsStore::Mode::Read);
        const std::string key = std::string(kRoot) + (sub.empty() ? "" : "\\" + sub);
        int32_t value = 0;
        return store.ReadValue(key.c_str(), name, &value) ? value : -1;
    }
    static bool HasKey(const std::string& sub) {
        platform::SettingsStore store(platform::SettingsStore::Mode::Read);
        return store.HasKey((std::string(kRoot) + (sub.empty() ? "" : "\\" + sub)).c_str());
    }

    std::string home, folder, path;
};

}  // namespace lumora::test
