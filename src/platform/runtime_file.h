#pragma once
// Small files that processes of one user share while they run: a folder of the user's own and
// appending and reading text files in it.
//
// Thread context: any thread.
#include <cstdint>
#include <string>

namespace lumora::platform {

// The user's folder for such files, without a trailing separator. Linux: $XDG_RUNTIME_DIR when
// it is set and not empty, else /tmp/lumora-<uid> (made, private to the user, when missing).
// Windows: the user's temporary folder. Empty when there is none.
std::string RuntimeFolder();
// Appends text to the file at path, made when missing, in one write (lines written so by
// several processes do not mix). False when it cannot be written.
bool AppendToFile(const std::string& path, const std::string& text);
// The size of the file at path in bytes; 0 when it does not exist.
uint64_t FileSize(const std::string& path);
// The file's bytes from offset on (at most 64 KiB of them) into *text; false when the file
// cannot be read.
bool ReadFileFrom(const std::string& path, uint64_t offset, std::string* text);

}  // namespace lumora::platform
