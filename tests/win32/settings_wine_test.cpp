// The stored-tree cases of the native tests, run on the DLL (LUMORA_CAMEMU=2) against the
// registry. Exit code 0 when everything holds.
#include <windows.h>

#include <cstdio>

#include "../settings/stored_tree_cases.h"
#include "settings_tree.h"

namespace {

class Registry : public stored_tree::Platform {
public:
    void Write(const stored_tree::Tree& tree) override {
        RegDeleteTreeA(HKEY_CURRENT_USER, settings_tree::Path("").c_str());
        for (const stored_tree::Entry& e : tree) {
            const DWORD types[] = {REG_DWORD, REG_SZ, REG_DWORD, REG_BINARY};
            const std::string text = std::to_string(e.value);
            const bool isText = e.kind == stored_tree::Kind::Text;
            const DWORD size = isText ? static_cast<DWORD>(text.size() + 1) : e.kind == stored_tree::Kind::TwoBytes ? 2 : 4;
            settings_tree::SetRaw(e.sub, e.name, types[static_cast<int>(e.kind)],
                                  isText ? static_cast<const void*>(text.c_str()) : &e.value, size);
        }
    }
    long long Stored(const std::string& sub, const char* name) override { return settings_tree::Get(sub, name); }
    void Fail(int line, const std::string& what) override {
        ++failed;
        std::printf("FAILED stored_tree_cases.h:%d: %s\n", line, what.c_str());
    }
    int failed = 0;
};

}  // namespace

int main() {
    SetEnvironmentVariableA("LUMORA_CAMEMU", "2");
    HMODULE dll = LoadLibraryA(LUMORA_DLL);
    if (dll == nullptr) {
        std::printf("cannot load %s (error %lu)\n", LUMORA_DLL, GetLastError());
        return 1;
    }
    stored_tree::Api api{};
    int missing = 0;
#define LUMORA_RESOLVE(name)                                                                \
    api.name = reinterpret_cast<decltype(&::name)>(reinterpret_cast<void*>(GetProcAddress(dll, #name))); \
    missing += api.name == nullptr;
    LUMORA_STORED_TREE_EXPORTS(LUMORA_RESOLVE)
#undef LUMORA_RESOLVE
    Registry registry;
    if (missing == 0) stored_tree::RunAll(api, registry);
    settings_tree::WriteFirstRun();
    FreeLibrary(dll);
    std::printf("stored tree cases: %d missing exports, %d failed\n", missing, registry.failed);
    return missing == 0 && registry.failed == 0 ? 0 : 1;
}
