#pragma once
// A registry tree as a .reg text file holds it: keys by full path ("HKEY_CURRENT_USER\...") in
// file order, each with its values in order, every value kept as the text after its '='.
//
// Parse reads REGEDIT4 files and the version 5 files that registry editors export (UTF-16LE with
// a byte-order mark, or UTF-8); Text writes REGEDIT4 with CRLF line ends. Lines that are not
// well-formed are skipped and make the file damaged; key and value names compare without regard
// to ASCII case, as the registry's do.
//
// Thread context: a plain value; no shared state.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace lumora::platform {

class RegistryFile {
public:
    // Replaces the tree by the one in bytes. False when bytes are not a registry file at all
    // (the tree is then empty); damaged() tells whether any line had to be skipped.
    bool Parse(const std::string& bytes);
    bool damaged() const { return damaged_; }
    // The tree as a REGEDIT4 file.
    std::string Text() const;

    // True when key or a key below it is in the tree.
    bool HasKey(const std::string& key) const;
    // The value as a 32-bit number: "dword:" with one to eight hex digits, or "hex(4):" with
    // exactly four bytes. False for anything else.
    bool ReadDword(const std::string& key, const std::string& name, int32_t* value) const;
    // Adds key, last, when it is not listed yet.
    void CreateKey(const std::string& key);
    // Sets name to a dword, creating the key where missing.
    void SetDword(const std::string& key, const std::string& name, int32_t value);

private:
    // Keys and values stay in file order; deleted ones are only marked. The maps find them by
    // their name in lower case, so that no file makes a lookup slower than logarithmic.
    struct Value {
        std::string name;  // "" for the key's default value (written as @)
        std::string data;  // the text after '=', continuation lines joined
        bool removed;
    };
    struct Key {
        std::string path;
        std::vector<Value> values;
        std::map<std::string, size_t> byName;
        bool removed;
    };

    static std::string Folded(const std::string& name);
    Key* FindKey(const std::string& path);
    const Key* FindKey(const std::string& path) const;
    // The index of key path, added last when it is not listed.
    size_t AddKey(const std::string& path);
    // Removes path and every key below it.
    void DeleteKey(const std::string& path);
    void SetValue(Key* key, const std::string& name, const std::string& data);
    // Parses one value line ("name"=data or @=data) into key; false when malformed.
    bool ParseValue(const std::string& line, Key* key);

    std::vector<Key> keys_;
    std::map<std::string, size_t> byPath_;  // live keys only
    bool damaged_ = false;
};

}  // namespace lumora::platform
