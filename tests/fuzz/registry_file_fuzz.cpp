// The settings store's file parser on any bytes: no crash, and the text it writes for a tree is
// read back to the same tree.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/posix/registry_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lumora::platform::RegistryFile tree;
    tree.Parse(std::string(reinterpret_cast<const char*>(data), size));
    const std::string text = tree.Text();
    lumora::platform::RegistryFile again;
    if (!again.Parse(text) || again.damaged() || again.Text() != text) std::abort();
    int32_t value = 0;
    again.ReadDword("HKEY_CURRENT_USER\\Software\\Vornex", "Mode", &value);
    again.SetDword("HKEY_CURRENT_USER\\Software\\Vornex\\K37VQ", "Mode", value);
    again.HasKey("HKEY_CURRENT_USER");
    return 0;
}
