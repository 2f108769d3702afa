#pragma once
// Test helpers: a settings tree of the test's own (XDG_CONFIG_HOME in a fresh folder), written
// as the store file from a stored_tree::Tree and read back through the store.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "device/disk_layer.h"
#include "platform/settings_store.h"
#include "stored_tree_cases.h"

namespace lumora::test {

constexpr char kRoot[] = "Software\\Vornex\\LumoraK37VQ3Sdk";

// The tree as a REGEDIT4 file: keys in order of first appearance.
inline std::string TreeText(const stored_tree::Tree& tree) {
    using stored_tree::Kind;
    std::vector<std::string> subs;
    for (const auto& e : tree) {
        if (std::find(subs.begin(), subs.end(), e.sub) == subs.end()) subs.push_back(e.sub);
    }
    std::string text = "REGEDIT4\r\n";
    for (const std::string& sub : subs) {
        text += "\r\n[HKEY_CURRENT_USER\\" + std::string(kRoot) + (sub.empty() ? "" : "\\" + sub) + "]\r\n";
        for (const auto& e : tree) {
            if (e.sub != sub) continue;
            const uint32_t v = static_cast<uint32_t>(e.value);
            char data[64];
            if (e.kind == Kind::Dword) std::snprintf(data, sizeof data, "dword:%08x", v);
            if (e.kind == Kind::Text) std::snprintf(data, sizeof data, "\"%d\"", e.value);
            if (e.kind == Kind::TwoBytes) std::snprintf(data, sizeof data, "hex(4):%02x,%02x", v & 255, v >> 8 & 255);
            if (e.kind == Kind::Binary) {
                std::snprintf(data, sizeof data, "hex:%02x,%02x,%02x,%02x", v & 255, v >> 8 & 255, v >> 16 & 255, v >> 24);
            }
            text += "\"" + std::string(e.name) + "\"=" + data + "\r\n";
        }
    }
    return text;
}

class SettingsHome : public ::testing::Test, public stored_tree::Platform {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumora-home-XXXXXX").string();
        ASSERT_NE(::mkdtemp(&pattern[0]), nullptr);
        home = pattern;
        ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
        folder = home + "/Vornex";
        path = folder + "/LumoraK37VQ3Sdk.reg";
        DiskLayer::PlaceTestCameras(2);
    }
    void TearDown() override {
        DiskLayer::ClearTestDrives();
        std::filesystem::remove_all(home);
    }

    void Write(const stored_tree::Tree& tree) override {
        std::filesystem::remove_all(folder);
        if (!tree.empty()) WriteStore(TreeText(tree));
    }
    long long Stored(const std::string& sub, const char* name) override {
        platform::SettingsStore store(platform::SettingsStore::Mode::Read);
        const std::string key = std::string(kRoot) + (sub.empty() ? "" : "\\" + sub);
        int32_t value = 0;
        return store.ReadValue(key.c_str(), name, &value) ? value : -1;
    }
    void FreshCameras() override { DiskLayer::PlaceTestCameras(2); }
    void Fail(int line, const std::string& what) override {
        ADD_FAILURE_AT("stored_tree_cases.h", line) << what;
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

    std::string home, folder, path;
};

}  // namespace lumora::test
