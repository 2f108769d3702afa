// The file-backed settings store: the REGEDIT4 text, hostile files, saves of two processes at
// once, and garbled files fed to the initialisation.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <random>
#include <set>

#include "lumora/LumoraSdk.h"
#include "platform/posix/registry_file.h"
#include "settings/image_filter_page.h"
#include "settings_test_support.h"

namespace lumora::test {
namespace {

using platform::RegistryFile;
using platform::SettingsStore;
using SettingsFile = SettingsHome;

constexpr char kFull[] = "HKEY_CURRENT_USER\\Software\\Vornex\\LumoraK37VQ3Sdk";
constexpr int64_t kNone = INT64_MIN;

TEST(RegistryFileTest, ReadsWhatRegistryFilesHold) {
    const std::string key = std::string("[") + kFull + "]\r\n";
    struct Case {
        const char* what;
        std::string text;
        bool parsed, damaged;
        const char* name;
        int64_t value;  // kNone: not a number
    } cases[] = {
        {"dword", "REGEDIT4\r\n\r\n" + key + "\"Size\"=dword:0000000c\r\n", true, false, "Size", 12},
        {"LF line ends, short digits", "REGEDIT4\n" + key + "\"Size\"=dword:c\n", true, false, "Size", 12},
        {"names ignore case", "REGEDIT4\n" + key + "\"size\"=dword:FFFFFFFF\n", true, false, "SIZE", -1},
        {"hex(4) of four bytes", "REGEDIT4\n" + key + "\"A\"=hex(4):0c,01,00,00\n", true, false, "A", 268},
        {"hex(4) over two lines", "REGEDIT4\n" + key + "\"A\"=hex(4):0c,01,\\\n  00,00\n", true, false, "A", 268},
        {"hex(4) of two bytes", "REGEDIT4\n" + key + "\"A\"=hex(4):0c,01\n", true, false, "A", kNone},
        {"binary", "REGEDIT4\n" + key + "\"A\"=hex:0c,00,00,00\n", true, false, "A", kNone},
        {"string", "REGEDIT4\n" + key + "\"A\"=\"12\"\n", true, false, "A", kNone},
        {"nine digits", "REGEDIT4\n" + key + "\"A\"=dword:000000001\n", true, true, "A", kNone},
        {"truncated line", "REGEDIT4\n" + key + "\"A\"=dwo", true, true, "A", kNone},
        {"truncated continuation", "REGEDIT4\n" + key + "\"A\"=hex(4):0c,\\", true, true, "A", kNone},
        {"value before any key", "REGEDIT4\n\"A\"=dword:1\n" + key, true, true, "A", kNone},
        {"garbage line keeps the rest", "REGEDIT4\n" + key + "junk\n\"A\"=dword:2\n", true, true, "A", 2},
        {"later line wins", "REGEDIT4\n" + key + "\"A\"=dword:2\n\"a\"=dword:3\n", true, false, "A", 3},
        {"deleted value", "REGEDIT4\n" + key + "\"A\"=dword:2\n\"A\"=-\n", true, false, "A", kNone},
        {"deleted key", "REGEDIT4\n" + key + "\"A\"=dword:2\n[-" + kFull + "]\n\"B\"=dword:1\n", true, false, "A", kNone},
        {"no header", key + "\"A\"=dword:2\n", false, true, "A", kNone},
        {"empty", "", false, true, "A", kNone},
        {"comments and blanks", "\r\nREGEDIT4\r\n; note\r\n" + key + "  \"A\" = dword:5\r\n", true, false, "A", 5},
        {"unterminated name", "REGEDIT4\n" + key + "\"A=dword:5\n", true, true, "A", kNone},
        {"NUL in line", "REGEDIT4\n" + key + std::string("\"A\"=dword:5\0\n", 13), true, true, "A", kNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistryFile file;
        EXPECT_EQ(file.Parse(c.text), c.parsed);
        EXPECT_EQ(file.damaged(), c.damaged);
        int32_t value = 77;
        EXPECT_EQ(file.ReadDword(kFull, c.name, &value), c.value != kNone);
        EXPECT_EQ(value, c.value == kNone ? 77 : c.value);
    }
}

TEST(RegistryFileTest, ReadsAVersion5ExportInUtf16) {
    const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[" + std::string(kFull) +
                             "\\Gain_01]\r\n\"Global\"=dword:00000046\r\n\"Name\"=\"\xC3\xA9\"\r\n\r\n";
    std::string utf16 = "\xFF\xFE";
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\xC3') {  // é as one UTF-16 unit
            utf16 += std::string("\xE9\x00", 2);
            ++i;
        } else {
            utf16 += std::string(1, text[i]) + '\0';
        }
    }
    RegistryFile file;
    ASSERT_TRUE(file.Parse(utf16));
    EXPECT_FALSE(file.damaged());
    int32_t value = 0;
    EXPECT_TRUE(file.ReadDword(std::string(kFull) + "\\Gain_01", "Global", &value));
    EXPECT_EQ(value, 70);
    EXPECT_TRUE(file.HasKey(kFull));  // implied by its sub-key
    EXPECT_NE(file.Text().find("\"Name\"=\"\xC3\xA9\""), std::string::npos);
    EXPECT_TRUE(file.Parse(utf16 + "x"));  // odd length: read, but damaged
    EXPECT_TRUE(file.damaged());
}

TEST(RegistryFileTest, WritesRegedit4ThatReadsBackTheSame) {
    RegistryFile file;
    file.CreateKey(std::string(kFull) + "\\Size_00");
    file.SetDword(std::string(kFull) + "\\Size_00", "TH", 3488);
    file.CreateKey(kFull);  // placed before its sub-key
    file.SetDword(kFull, "Size", -1);
    file.SetDword(kFull, "SIZE", 2);  // the same value
    const std::string expected = std::string("REGEDIT4\r\n\r\n[") + kFull + "]\r\n\"Size\"=dword:00000002\r\n\r\n[" +
                                 kFull + "\\Size_00]\r\n\"TH\"=dword:00000da0\r\n\r\n";
    EXPECT_EQ(file.Text(), expected);
    RegistryFile again;
    ASSERT_TRUE(again.Parse(file.Text()));
    EXPECT_EQ(again.Text(), expected);
    EXPECT_FALSE(again.HasKey(std::string(kFull) + "\\Size_0"));
    EXPECT_FALSE(again.HasKey(std::string(kFull) + "\\Size_00\\x"));
}

TEST_F(SettingsFile, SavesReplaceTheFileAndKeepAnUnparseableOneAside) {
    SettingsStore reader(SettingsStore::Mode::Read);
    EXPECT_FALSE(reader.CreateKey(kRoot));
    EXPECT_FALSE(reader.WriteValue(kRoot, "Size", 1));
    EXPECT_FALSE(std::filesystem::exists(folder));

    const std::string garbled[] = {"REGEDIT4\n" + Key("Filter") + "\"Gamma\"=dword:00000096\n\"Hue\"=dwo",
                                   "\x01\x02 not a registry file"};
    for (int round = 0; round < 2; ++round) {
        WriteStore(garbled[round]);
        FilterSettings f;
        f.hue = 5;
        ImageFilterPage page(&f);
        EXPECT_EQ(page.LoadFilterSettings(), round == 0 ? 1 : 0);
        EXPECT_EQ(f.gamma, round == 0 ? 150 : 100);
        EXPECT_EQ(f.hue, 0);
        ASSERT_EQ(page.SaveFilterSettings(), 1);
        const std::string aside = path + ".unreadable" + (round ? ".1" : "");
        EXPECT_EQ(StoreBytes(aside), garbled[round]);
        RegistryFile saved;
        ASSERT_TRUE(saved.Parse(StoreBytes()));
        EXPECT_FALSE(saved.damaged());
        EXPECT_EQ(Stored("Filter", "Gamma"), round == 0 ? 150 : 100);
    }
    // A sound file is replaced without a copy.
    FilterSettings f;
    ImageFilterPage(&f).SaveFilterSettings();
    EXPECT_FALSE(std::filesystem::exists(path + ".unreadable.2"));
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        EXPECT_EQ(entry.path().filename().string().rfind(".LumoraK37VQ3Sdk.reg.", 0), std::string::npos)
            << "temporary file left: " << entry.path();
    }
}

// Two processes saving different groups at once: every save lands whole, none is lost, and a
// reader never sees a half-written file.
TEST_F(SettingsFile, TwoProcessesSavingAtOnceNeverLeaveAHalfWrittenFile) {
    constexpr int kSaves = 150;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (int i = 1; i <= kSaves; ++i) {
            SettingsStore store(SettingsStore::Mode::Write);
            for (int k = 0; k < 20; ++k) store.WriteValue((std::string(kRoot) + "\\Child").c_str(), ("V" + std::to_string(k)).c_str(), i);
            if (!store.Commit()) _exit(1);
        }
        _exit(0);
    }
    int torn = 0, lost = 0;
    int32_t lastChild = 0;
    for (int i = 1; i <= kSaves; ++i) {
        SettingsStore store(SettingsStore::Mode::Write);
        for (int k = 0; k < 20; ++k) store.WriteValue((std::string(kRoot) + "\\Parent").c_str(), ("V" + std::to_string(k)).c_str(), i);
        ASSERT_TRUE(store.Commit());
        // Each group is either absent or written by one save as a whole.
        SettingsStore reader(SettingsStore::Mode::Read);
        for (const char* group : {"\\Child", "\\Parent"}) {
            int32_t first = -1, value = -1;
            const std::string key = std::string(kRoot) + group;
            const bool present = reader.ReadValue(key.c_str(), "V0", &first);
            for (int k = 1; k < 20; ++k) {
                torn += present != reader.ReadValue(key.c_str(), ("V" + std::to_string(k)).c_str(), &value) ||
                        value != first;
            }
        }
        // No save undoes another: the parent's values are its last, the child's never go back.
        int32_t parent = 0, child = 0;
        reader.ReadValue((std::string(kRoot) + "\\Parent").c_str(), "V7", &parent);
        reader.ReadValue((std::string(kRoot) + "\\Child").c_str(), "V7", &child);
        lost += parent != i || child < lastChild;
        lastChild = child;
        RegistryFile file;
        EXPECT_TRUE(file.Parse(StoreBytes()) && !file.damaged());
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(Stored("Child", "V19"), kSaves);
    EXPECT_EQ(Stored("Parent", "V0"), kSaves);
    EXPECT_FALSE(std::filesystem::exists(path + ".unreadable"));
}

// Garbled store files fed to the initialisation and release: no crash, no hang, and the file
// left behind is sound with the garbled one kept aside.
TEST_F(SettingsFile, GarbledStoreFilesNeverBreakInitialisation) {
    const std::string sound = std::string(kHeader) + Root(1, 3, 17, 20, 4) +
                              Preset(0, 3488, 2616, 3488, 2616, 0, 0) + Preset(1, 3488, 2616, 1920, 1080, 8, 8) +
                              Key("Filter") + Dword("Gamma", 150) + Dword("BayerMode", 0) + Key("Gray") +
                              Dword("GainR1", 300) + Key("Gain_00") + Dword("Global", 50) + "\"AutoIris\"=hex(4):01,00,00,00\r\n";
    const std::string pieces[] = {"[", "]", "\"", "=", "dword:", "hex(4):", "\\", "\r\n", "\n", ",", "@", "-",
                                  "FF", "\xFF\xFE", std::string(1, '\0'), "Size_01", "HKEY_CURRENT_USER\\"};
    std::mt19937 random(12345);
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    DiskLayer::PlaceTestCameras(1);
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
        while (Lumora_GetLastError(h) != 0) {
        }
        const int w = Lumora_Width(h), ht = Lumora_Height(h);
        EXPECT_TRUE(w >= 0 && w <= 3488 && ht >= 0 && ht <= 2616) << round;
        ASSERT_EQ(Lumora_Release(h), 1);
        RegistryFile file;
        ASSERT_TRUE(file.Parse(StoreBytes())) << round;
        EXPECT_FALSE(file.damaged()) << round;
        RegistryFile original;
        if (!original.Parse(bytes) || original.damaged()) {
            EXPECT_EQ(StoreBytes(path + ".unreadable"), bytes) << round;
        }
    }
}

// Every value of a registry file as "[key]name=data" lines in ASCII lower case, sorted.
std::set<std::string> Entries(const std::string& bytes) {
    RegistryFile file;
    EXPECT_TRUE(file.Parse(bytes) && !file.damaged());
    std::set<std::string> entries;
    std::string key, text = file.Text();
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    for (size_t begin = 0, end; (end = text.find("\r\n", begin)) != std::string::npos; begin = end + 2) {
        const std::string line = text.substr(begin, end - begin);
        if (line.rfind("[", 0) == 0) {
            key = line;
        } else if (line.rfind("\"", 0) == 0) {
            entries.insert(key + line);
        }
    }
    return entries;
}

// The file the library writes is what the registry editor of the Wine run imports, unchanged;
// what that editor exports is read by the library. Skipped where Wine is not installed.
TEST_F(SettingsFile, RegistryEditorImportsTheFileUnchangedAndItsExportIsRead) {
    const char* loader = "/usr/lib/wine/wine64";
    if (::access(loader, X_OK) != 0) loader = "/usr/bin/wine";
    if (::access(loader, X_OK) != 0) GTEST_SKIP() << "no Wine here";
    auto cameras = DiskLayer::PlaceTestCameras(1);
    LumoraHandle h = Lumora_Initialize(nullptr);
    ASSERT_EQ(Lumora_SetFilterValue(h, 1, -20), 1);
    ASSERT_EQ(Lumora_SetFilterValue(h, 18, 4321), 1);
    ASSERT_EQ(Lumora_SetMirrorH(h, 1), 1);
    ASSERT_EQ(Lumora_Release(h), 1);
    const std::string written = StoreBytes();
    ASSERT_EQ(Entries(written).size(), 5u + 7u + 10u + 9u + 9u);

    // The prefix is kept in the build folder: only its first creation takes long.
    const std::string run = "cd '" + home + "' && WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' "
                            "WINEPREFIX='" LUMORA_TEST_WINEPREFIX "' timeout 240 " + loader + " regedit ";
    std::ofstream(home + "/clear.reg") << "REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER\\Software\\Vornex]\r\n";
    std::filesystem::copy_file(path, home + "/written.reg");
    const int imported = std::system((run + "/S clear.reg >>wine.log 2>&1 && " + run + "/S written.reg >>wine.log 2>&1 && " +
                                      run + "/E export.reg 'HKEY_CURRENT_USER\\Software\\Vornex\\LumoraK37VQ3Sdk' >>wine.log 2>&1")
                                         .c_str());
    const int stopped = std::system("WINEPREFIX='" LUMORA_TEST_WINEPREFIX "' timeout 30 wineserver -k >/dev/null 2>&1");
    (void)stopped;  // a server that already ended is as good
    ASSERT_EQ(imported, 0) << StoreBytes(home + "/wine.log");
    const std::string exported = StoreBytes(home + "/export.reg");
    EXPECT_EQ(Entries(exported), Entries(written));

    // The export, as the store file, gives the same camera back.
    WriteStore(exported);
    cameras = DiskLayer::PlaceTestCameras(1);
    h = Lumora_Initialize(nullptr);
    EXPECT_EQ(Lumora_GetLastError(h), 0);
    int ok = 0;
    EXPECT_EQ(Lumora_GetFilterValue(h, 1, &ok), -20);
    EXPECT_EQ(Lumora_GetFilterValue(h, 18, &ok), 4321);
    EXPECT_EQ(Lumora_GetFilterValue(h, 12, &ok), 1);  // phase 3 moved by the horizontal mirror
    EXPECT_EQ(Lumora_GetMirrorH(h), 1);
    Lumora_Release(h);
}

}  // namespace
}  // namespace lumora::test
