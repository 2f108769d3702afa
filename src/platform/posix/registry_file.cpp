#include "platform/posix/registry_file.h"

#include <cstdio>
#include <cstdlib>

namespace lumora::platform {

namespace {

constexpr char kHeader4[] = "REGEDIT4";
constexpr char kHeader5[] = "Windows Registry Editor Version 5.00";

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    size_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        if (i >= text.size() || Lower(text[i]) != Lower(prefix[i])) return false;
    }
    return true;
}

std::string TrimRight(const std::string& s) {
    size_t end = s.size();
    while (end > 0 && (s[end - 1] == ' ' || s[end - 1] == '\t' || s[end - 1] == '\r')) --end;
    return s.substr(0, end);
}

std::string TrimLeft(const std::string& s) {
    size_t begin = 0;
    while (begin < s.size() && (s[begin] == ' ' || s[begin] == '\t')) ++begin;
    return s.substr(begin);
}

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Appends code point cp as UTF-8.
void AppendUtf8(uint32_t cp, std::string* out) {
    if (cp < 0x80) {
        out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// UTF-16LE (after its byte-order mark) to UTF-8; unpaired surrogates become U+FFFD. False when
// the byte count is odd.
bool Utf16ToUtf8(const std::string& bytes, size_t begin, std::string* out) {
    if ((bytes.size() - begin) % 2 != 0) return false;
    out->clear();
    for (size_t i = begin; i + 1 < bytes.size(); i += 2) {
        uint32_t unit = static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8;
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            uint32_t low = static_cast<uint8_t>(bytes[i + 2]) | static_cast<uint8_t>(bytes[i + 3]) << 8;
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
                i += 2;
                continue;
            }
        }
        AppendUtf8(unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit, out);
    }
    return true;
}

// Reads a quoted string starting at text[*pos] == '"'; *pos ends after the closing quote.
bool ParseQuoted(const std::string& text, size_t* pos, std::string* out) {
    out->clear();
    size_t i = *pos + 1;
    for (; i < text.size(); ++i) {
        if (text[i] == '\\') {
            if (++i >= text.size()) return false;
            out->push_back(text[i]);
        } else if (text[i] == '"') {
            *pos = i + 1;
            return true;
        } else {
            out->push_back(text[i]);
        }
    }
    return false;
}

std::string Quote(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

// "hex:" or "hex(N):" followed by comma-separated two-digit bytes; the bytes go to *bytes.
bool ParseHexData(const std::string& data, int* type, std::vector<uint8_t>* bytes) {
    size_t pos;
    if (StartsWithNoCase(data, "hex:")) {
        *type = 3;
        pos = 4;
    } else if (StartsWithNoCase(data, "hex(")) {
        size_t close = data.find(')');
        if (close == std::string::npos || close == 4 || close > 12 || close + 1 >= data.size() ||
            data[close + 1] != ':') {
            return false;
        }
        for (size_t i = 4; i < close; ++i) {
            if (!IsHex(data[i])) return false;
        }
        *type = static_cast<int>(std::strtoul(data.substr(4, close - 4).c_str(), nullptr, 16));
        pos = close + 2;
    } else {
        return false;
    }
    bytes->clear();
    std::string rest = data.substr(pos);
    size_t i = 0;
    while (i < rest.size()) {
        while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\t')) ++i;
        if (i == rest.size()) break;
        if (i + 1 >= rest.size() || !IsHex(rest[i]) || !IsHex(rest[i + 1])) return false;
        bytes->push_back(static_cast<uint8_t>(std::strtoul(rest.substr(i, 2).c_str(), nullptr, 16)));
        i += 2;
        while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\t')) ++i;
        if (i < rest.size()) {
            if (rest[i] != ',') return false;
            ++i;
        }
    }
    return true;
}

// "dword:" with one to eight hex digits.
bool ParseDwordData(const std::string& data, uint32_t* value) {
    if (!StartsWithNoCase(data, "dword:")) return false;
    const std::string digits = data.substr(6);
    if (digits.empty() || digits.size() > 8) return false;
    for (char c : digits) {
        if (!IsHex(c)) return false;
    }
    *value = static_cast<uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
    return true;
}

// The forms of value data a registry file may hold.
bool IsValidData(const std::string& data) {
    if (data.empty()) return false;
    if (data[0] == '"') {
        size_t pos = 0;
        std::string text;
        return ParseQuoted(data, &pos, &text) && pos == data.size();
    }
    uint32_t number;
    int type;
    std::vector<uint8_t> bytes;
    return ParseDwordData(data, &number) || ParseHexData(data, &type, &bytes);
}

}  // namespace

std::string RegistryFile::Folded(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) c = Lower(c);
    return folded;
}

RegistryFile::Key* RegistryFile::FindKey(const std::string& path) {
    auto it = byPath_.find(Folded(path));
    return it == byPath_.end() ? nullptr : &keys_[it->second];
}

const RegistryFile::Key* RegistryFile::FindKey(const std::string& path) const {
    auto it = byPath_.find(Folded(path));
    return it == byPath_.end() ? nullptr : &keys_[it->second];
}

size_t RegistryFile::AddKey(const std::string& path) {
    auto found = byPath_.emplace(Folded(path), keys_.size());
    if (found.second) keys_.push_back(Key{path, {}, {}, false});
    return found.first->second;
}

void RegistryFile::DeleteKey(const std::string& path) {
    const std::string folded = Folded(path), below = folded + "\\";
    auto it = byPath_.find(folded);
    if (it != byPath_.end()) {
        keys_[it->second].removed = true;
        byPath_.erase(it);
    }
    // Keys below path sort together, right after "path\".
    for (it = byPath_.lower_bound(below); it != byPath_.end() && it->first.compare(0, below.size(), below) == 0;) {
        keys_[it->second].removed = true;
        it = byPath_.erase(it);
    }
}

void RegistryFile::SetValue(Key* key, const std::string& name, const std::string& data) {
    auto found = key->byName.emplace(Folded(name), key->values.size());
    if (found.second) {
        key->values.push_back({name, data, false});
    } else {
        key->values[found.first->second].data = data;
    }
}

bool RegistryFile::ParseValue(const std::string& line, Key* key) {
    std::string name;
    size_t pos = 0;
    if (line[0] == '@') {
        pos = 1;
    } else if (!ParseQuoted(line, &pos, &name) || name.find('\0') != std::string::npos) {
        return false;
    }
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos >= line.size() || line[pos] != '=') return false;
    const std::string data = TrimLeft(line.substr(pos + 1));
    if (key == nullptr) return true;  // inside a deleted key: nothing to keep
    if (data == "-") {
        auto it = key->byName.find(Folded(name));
        if (it != key->byName.end()) {
            key->values[it->second].removed = true;
            key->byName.erase(it);
        }
        return true;
    }
    if (!IsValidData(data)) return false;
    SetValue(key, name, data);
    return true;
}

bool RegistryFile::Parse(const std::string& bytes) {
    keys_.clear();
    byPath_.clear();
    damaged_ = false;
    std::string text;
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF &&
        static_cast<uint8_t>(bytes[1]) == 0xFE) {
        if (!Utf16ToUtf8(bytes, 2, &text)) {
            damaged_ = true;  // an odd byte at the end: the rest is read
            Utf16ToUtf8(bytes.substr(0, bytes.size() - 1), 2, &text);
        }
    } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        text = bytes.substr(3);
    } else {
        text = bytes;
    }

    std::vector<std::string> lines;
    for (size_t begin = 0; begin <= text.size();) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        lines.push_back(TrimRight(text.substr(begin, end - begin)));
        begin = end + 1;
    }

    size_t i = 0;
    while (i < lines.size() && TrimLeft(lines[i]).empty()) ++i;
    if (i == lines.size() || (lines[i] != kHeader4 && lines[i] != kHeader5)) {
        damaged_ = true;
        return false;
    }
    // Index of the key that values go to; -1 before any key, -2 inside a deleted key.
    long current = -1;
    for (++i; i < lines.size(); ++i) {
        std::string line = TrimLeft(lines[i]);
        if (line.empty() || line[0] == ';') continue;
        if (line.find('\0') != std::string::npos) {
            damaged_ = true;
            continue;
        }
        if (line[0] == '[') {
            std::string path = line.size() >= 2 && line.back() == ']' ? line.substr(1, line.size() - 2) : "";
            const bool remove = !path.empty() && path[0] == '-';
            if (remove) path.erase(0, 1);
            if (path.empty() || path.front() == '\\' || path.back() == '\\' ||
                path.find("\\\\") != std::string::npos) {
                damaged_ = true;
                current = -1;
                continue;
            }
            if (remove) {
                DeleteKey(path);
                current = -2;
                continue;
            }
            current = static_cast<long>(AddKey(path));
            continue;
        }
        if (line[0] == '"' || line[0] == '@') {
            // Hex data goes on over lines that end in a backslash.
            bool complete = true;
            while (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos) {
                line.pop_back();
                if (++i >= lines.size()) {
                    complete = false;
                    break;
                }
                line += TrimLeft(lines[i]);
            }
            if (!complete || current == -1 ||
                !ParseValue(line, current >= 0 ? &keys_[static_cast<size_t>(current)] : nullptr)) {
                damaged_ = true;
            }
            continue;
        }
        damaged_ = true;
    }
    return true;
}

std::string RegistryFile::Text() const {
    std::string out = std::string(kHeader4) + "\r\n";
    for (const Key& key : keys_) {
        if (key.removed) continue;
        out += "\r\n[" + key.path + "]\r\n";
        for (const Value& v : key.values) {
            if (!v.removed) out += (v.name.empty() ? std::string("@") : Quote(v.name)) + "=" + v.data + "\r\n";
        }
    }
    return out + "\r\n";
}

bool RegistryFile::HasKey(const std::string& key) const {
    const std::string folded = Folded(key), below = folded + "\\";
    if (byPath_.count(folded) != 0) return true;
    auto it = byPath_.lower_bound(below);
    return it != byPath_.end() && it->first.compare(0, below.size(), below) == 0;
}

bool RegistryFile::ReadDword(const std::string& key, const std::string& name, int32_t* value) const {
    const Key* k = FindKey(key);
    if (k == nullptr) return false;
    auto it = k->byName.find(Folded(name));
    if (it == k->byName.end()) return false;
    const std::string& data = k->values[it->second].data;
    uint32_t number = 0;
    int type = 0;
    std::vector<uint8_t> bytes;
    if (ParseHexData(data, &type, &bytes) && type == 4 && bytes.size() == 4) {
        number = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    } else if (!ParseDwordData(data, &number)) {
        return false;
    }
    *value = static_cast<int32_t>(number);
    return true;
}

void RegistryFile::CreateKey(const std::string& key) { AddKey(key); }

void RegistryFile::SetDword(const std::string& key, const std::string& name, int32_t value) {
    char data[16];
    std::snprintf(data, sizeof data, "dword:%08x", static_cast<uint32_t>(value));
    SetValue(&keys_[AddKey(key)], name, data);
}

}  // namespace lumora::platform
