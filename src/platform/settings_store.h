#pragma once
// The settings tree of the current user: keys named by backslash-separated paths below
// HKEY_CURRENT_USER, each holding 32-bit values.
//
// On Windows the tree is the registry: every call opens the keys it needs (read access for
// reading; created with all access, non-volatile and an empty class for writing) and closes them
// before it returns, so changes land as they are made. Elsewhere the tree is one REGEDIT4 text
// file, ${XDG_CONFIG_HOME:-$HOME/.config}/Vornex/LumoraK37VQ3Sdk.reg, with the same key paths and
// value names: a reading store reads the file once when it is constructed; a writing store takes
// an advisory lock (the file's name with ".lock"), reads the file, collects its changes, and
// Commit replaces the file atomically (temporary file, flush, rename), so that a save lands whole
// or not at all, whatever another process does at the same time. A file that cannot be parsed
// completely is kept beside it (its name with ".unreadable", then ".unreadable.1", ...) before a
// save replaces it.
//
// One store object is one operation on the tree (a group's load or save): construct it, read or
// change, Commit, drop it.
//
// Thread context: any thread; a store object belongs to the thread that made it. Stores of
// several threads and processes may exist at the same time.
#include <cstdint>
#include <memory>
#include <string>

namespace lumora::platform {

class SettingsStore {
public:
    enum class Mode { Read, Write };

    explicit SettingsStore(Mode mode);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // True when key exists (opens for reading).
    bool HasKey(const char* key);
    // Reads value name of key into *value. False, leaving *value unchanged, when the key or the
    // value is missing or the value is not a 4-byte number (REG_DWORD).
    bool ReadValue(const char* key, const char* name, int32_t* value);
    // Creates key and the keys above it where missing. False when that fails, and always on a
    // reading store.
    bool CreateKey(const char* key);
    // Writes value name of key as a REG_DWORD, creating the key where missing. False when that
    // fails, and always on a reading store.
    bool WriteValue(const char* key, const char* name, int32_t value);
    // Makes the changes lasting; false when they could not be stored (the file is then left as it
    // was). True without changes.
    bool Commit();

    // Where the file-backed tree lives ("" on Windows, and where no home folder is known).
    static std::string FilePath();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace lumora::platform
