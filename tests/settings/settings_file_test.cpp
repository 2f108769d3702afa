// The file-backed settings store: the REGEDIT4 text, hostile files, saves of two processes at
// once, garbled files fed to the initialisation, and the registry editor of the Wine run.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <random>
#include <set>

#include "platform/posix/registry_file.h"
#include "settings/image_filter_page.h"
#include "settings_test_support.h"

namespace lumora::test {
namespace {

using platform::RegistryFile;
using platform::SettingsStore;
using SettingsFile = SettingsHome;
using stored_tree::FirstRun;
using stored_tree::Values;

constexpr char kFull[] = "HKEY_CURRENT_USER\\Software\\Vornex\\LumoraK37VQ3Sdk";

TEST(RegistryFileTest, ReadsWhatRegistryFilesHold) {
    const std::string key = std::string("REGEDIT4\n[") + kFull + "]\n";
    struct Case {
        std::string text;
        bool parsed, damaged;
        long long value;  // of "A"; -1: none
        bool utf16 = false;
    } cases[] = {
        {"Windows Registry Editor Version 5.00\r\n\r\n[" + std::string(kFull) + "]\r\n\"A\"=dword:0000000c\r\n", true,
         false, 12, true},
        {key + "\"A\"=dword:0000000c\r\n", true, false, 12},
        {"\r\n" + key + "; note\n  \"a\" = dword:c\n", true, false, 12},
        {key + "\"A\"=hex(4):0c,01,\\\n  00,00\n", true, false, 268},
        {key + "junk\n\"A\"=dword:2\n", true, true, 2},
        {key + "\"A\"=hex(4):0c,01\n", true, false, -1},
        {key + "\"A\"=hex:0c,00,00,00\n", true, false, -1},
        {key + "\"A\"=\"12\"\n", true, false, -1},
        {key + "\"A\"=dword:2\n\"A\"=-\n", true, false, -1},
        {key + "\"A\"=dword:2\n[-" + kFull + "]\n\"A\"=dword:1\n", true, false, -1},
        {key + "\"A\"=dword:000000001\n", true, true, -1},
        {key + "\"A\"=dwo", true, true, -1},
        {key + "\"A=dword:5\n", true, true, -1},
        {key + std::string("\"A\"=dword:5\0\n", 13), true, true, -1},
        {"REGEDIT4\n\"A\"=dword:1\n[" + std::string(kFull) + "]\n", true, true, -1},
        {key.substr(9) + "\"A\"=dword:2\n", false, true, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string bytes = c.utf16 ? "\xFF\xFE" : "";
        for (char ch : c.text) bytes += c.utf16 ? std::string(1, ch) + '\0' : std::string(1, ch);
        RegistryFile file;
        EXPECT_EQ(file.Parse(bytes), c.parsed);
        EXPECT_EQ(file.damaged(), c.damaged);
        int32_t value = -1;
        EXPECT_EQ(file.ReadDword(kFull, "A", &value), c.value != -1);
        EXPECT_EQ(value, c.value);
    }
}

// Tens of thousands of keys, values and deletions: every line is one lookup by name.
TEST(RegistryFileTest, LargeFilesKeepEveryKeyAndValue) {
    std::string text = "REGEDIT4\n";
    for (int i = 0; i < 40000; ++i) {
        text += "[K\\" + std::to_string(i) + "]\n\"V\"=dword:1\n[-k\\" + std::to_string(i / 2) + "]\n";
    }
    text += std::string("[") + kFull + "]\n";
    for (int i = 0; i < 40000; ++i) text += "\"V" + std::to_string(i) + "\"=dword:" + std::to_string(i % 10) + "\n";
    RegistryFile file;
    ASSERT_TRUE(file.Parse(text));
    int32_t value = 0;
    EXPECT_TRUE(file.ReadDword(kFull, "v39999", &value) && value == 9);
    EXPECT_TRUE(file.HasKey("K") && file.HasKey("K\\39999") && !file.HasKey("K\\19999"));
    const std::string written = file.Text();
    size_t keys = 0;
    for (size_t at = 0; (at = written.find("\r\n[K\\", at)) != std::string::npos; ++at) ++keys;
    EXPECT_EQ(keys, 20000u);  // keys 20000 .. 39999: each lower one was deleted after it was added
}

TEST_F(SettingsFile, SavesKeepAnUnparseableFileAsideAndLeaveNoTemporaryFile) {
    SettingsStore reader(SettingsStore::Mode::Read);
    EXPECT_FALSE(reader.CreateKey(kRoot) || reader.WriteValue(kRoot, "Size", 1));
    const std::string garbled[] = {TreeText(Values("Filter", {{"Gamma", 150}})) + "\"Hue\"=dwo", "\x01 not a registry file"};
    for (int round = 0; round < 2; ++round) {
        WriteStore(garbled[round]);
        FilterSettings f;
        f.hue = 5;
        ImageFilterPage page(&f);
        EXPECT_EQ(page.LoadFilterSettings(), 1 - round);
        EXPECT_EQ(f.gamma, round == 0 ? 150 : 100);
        EXPECT_EQ(f.hue, 0);
        ASSERT_EQ(page.SaveFilterSettings(), 1);
        EXPECT_EQ(StoreBytes(path + ".unreadable" + (round ? ".1" : "")), garbled[round]);
        RegistryFile saved;
        EXPECT_TRUE(saved.Parse(StoreBytes()) && !saved.damaged());
        EXPECT_FALSE(saved.HasKey(std::string(kFull) + "\\Filte") || saved.HasKey(std::string(kFull) + "\\Filter\\x"));
    }
    FilterSettings f;
    ImageFilterPage(&f).SaveFilterSettings();  // a sound file is replaced without a copy
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) files += !entry.path().empty();
    EXPECT_EQ(files, 4);  // the file, its lock and the two kept aside
}

// Two processes saving different groups at once: every save lands whole and none undoes another.
TEST_F(SettingsFile, TwoProcessesSavingAtOnceNeverLeaveAHalfWrittenFile) {
    constexpr int kSaves = 150;
    auto save = [](const char* group, int i) {
        SettingsStore store(SettingsStore::Mode::Write);
        const std::string key = std::string(kRoot) + group;
        for (int k = 0; k < 20; ++k) store.WriteValue(key.c_str(), ("V" + std::to_string(k)).c_str(), i);
        return store.Commit();
    };
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (int i = 1; i <= kSaves; ++i) {
            if (!save("\\Child", i)) _exit(1);
        }
        _exit(0);
    }
    int torn = 0, lost = 0, lastChild = -1;
    for (int i = 1; i <= kSaves; ++i) {
        ASSERT_TRUE(save("\\Parent", i));
        SettingsStore reader(SettingsStore::Mode::Read);  // one reading of the file
        int32_t values[2][20];
        for (int g = 0; g < 2; ++g) {
            const std::string key = std::string(kRoot) + (g ? "\\Child" : "\\Parent");
            for (int k = 0; k < 20; ++k) {
                values[g][k] = -1;
                reader.ReadValue(key.c_str(), ("V" + std::to_string(k)).c_str(), &values[g][k]);
            }
            torn += std::count(values[g], values[g] + 20, values[g][0]) != 20;
        }
        lost += values[0][0] != i || values[1][0] < lastChild;
        lastChild = values[1][0];
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(Stored("Child", "V19"), kSaves);
}

// Garbled store files fed to initialisation and release: no crash, no hang, and the file left
// behind is sound, with a garbled one kept aside.
TEST_F(SettingsFile, GarbledStoreFilesNeverBreakInitialisation) {
    const std::string sound = TreeText(stored_tree::Root(1) + stored_tree::Preset(0, 3488, 2616) +
                                       stored_tree::Preset(1, 1920, 1080, 8, 8) + Values("Filter", {{"Gamma", 150}}) +
                                       Values("Gain_00", {{"Global", 50}}) + Values("Gray", {{"Mode", 1}}, stored_tree::Kind::TwoBytes));
    const std::string pieces[] = {"[", "]", "\"", "=", "dword:", "hex(4):", "\\", "\r\n", "\n", ",", "-",
                                  "\xFF\xFE", std::string(1, '\0'), "Size_01", "HKEY_CURRENT_USER\\"};
    std::mt19937 random(12345);
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    for (int round = 0; round < 400; ++round) {
        std::string bytes = sound;
        for (int edits = 1 + static_cast<int>(pick(6)); edits > 0; --edits) {
            const size_t at = pick(bytes.size() + 1);
            switch (pick(4)) {
                case 0: bytes.resize(at); break;
                case 1: if (at < bytes.size()) bytes[at] = static_cast<char>(random()); break;
                case 2: bytes.insert(at, pieces[pick(std::size(pieces))]); break;
                default: bytes.erase(at, pick(40)); break;
            }
        }
        std::filesystem::remove_all(folder);
        WriteStore(bytes);
        LumoraHandle h = Lumora_Initialize(nullptr);
        ASSERT_NE(h, 0);
        EXPECT_TRUE(Lumora_Width(h) <= 3488 && Lumora_Height(h) <= 2616) << round;
        ASSERT_EQ(Lumora_Release(h), 1);
        RegistryFile file, original;
        EXPECT_TRUE(file.Parse(StoreBytes()) && !file.damaged()) << round;
        if (!original.Parse(bytes) || original.damaged()) {
            EXPECT_EQ(StoreBytes(path + ".unreadable"), bytes) << round;
        }
    }
}

// Every value of a registry file as "[key]name=data" in ASCII lower case.
std::set<std::string> Entries(const std::string& bytes) {
    RegistryFile file;
    EXPECT_TRUE(file.Parse(bytes) && !file.damaged());
    std::string key, text = file.Text(), line;
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::set<std::string> entries;
    for (std::istringstream lines(text); std::getline(lines, line);) {
        if (line[0] == '[') key = line;
        if (line[0] == '"') entries.insert(key + line);
    }
    return entries;
}

// The file the library writes is imported unchanged by the registry editor of the Wine run, and
// what that editor exports is read by the library. Skipped where Wine is not installed.
TEST_F(SettingsFile, RegistryEditorImportsTheFileUnchangedAndItsExportIsRead) {
    const char* loader = "/usr/lib/wine/wine64";
    if (::access(loader, X_OK) != 0) loader = "/usr/bin/wine";
    if (::access(loader, X_OK) != 0) GTEST_SKIP() << "no Wine here";
    LumoraHandle h = Lumora_Initialize(nullptr);
    ASSERT_EQ(Lumora_SetFilterValue(h, 18, 4321) + Lumora_SetMirrorH(h, 1), 2);
    ASSERT_EQ(Lumora_Release(h), 1);
    const std::string written = StoreBytes();
    ASSERT_EQ(Entries(written).size(), 5u + 7u + 10u + 9u + 9u);

    // The prefix stays in the build folder: only its first creation takes long.
    const std::string run = "cd '" + home + "' && WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' WINEPREFIX='" +
                            LUMORA_TEST_WINEPREFIX + "' timeout 240 " + loader + " regedit ";
    std::ofstream(home + "/clear.reg") << "REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER\\Software\\Vornex]\r\n";
    std::filesystem::copy_file(path, home + "/written.reg");
    const int imported = std::system((run + "/S clear.reg >>wine.log 2>&1 && " + run + "/S written.reg >>wine.log 2>&1 && " + run +
                                      "/E export.reg 'HKEY_CURRENT_USER\\Software\\Vornex\\LumoraK37VQ3Sdk' >>wine.log 2>&1").c_str());
    const int stopped = std::system("WINEPREFIX='" LUMORA_TEST_WINEPREFIX "' timeout 30 wineserver -k >/dev/null 2>&1");
    (void)stopped;  // a server that has ended already is as good
    ASSERT_EQ(imported, 0) << StoreBytes(home + "/wine.log");
    const std::string exported = StoreBytes(home + "/export.reg");
    EXPECT_EQ(Entries(exported), Entries(written));

    WriteStore(exported);  // the export, as the store file, is read by the library
    EXPECT_TRUE(Stored("Gain_00", "Exposure") == 4321 && Stored("Gain_00", "H_Mirror") == 1 &&
                Stored("Filter", "BayerMode") == 1 && Stored("Size_00", "EV") == 2616);
}

}  // namespace
}  // namespace lumora::test
