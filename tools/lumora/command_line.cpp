#include "command_line.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace lumora::tool {

CommandLine::CommandLine(int argc, char** argv, int first) {
    for (int i = first; i < argc; ++i) words_.emplace_back(argv[i]);
}

std::string CommandLine::Take(const char* what) {
    if (Done()) throw UsageError(std::string("missing ") + what);
    return words_[next_++];
}

bool CommandLine::TakeOption(const char* name) {
    if (Done() || words_[next_] != name) return false;
    ++next_;
    return true;
}

bool CommandLine::TakeOptionAnywhere(const char* name, const char* what, std::string* value) {
    for (size_t i = next_; i < words_.size(); ++i) {
        if (words_[i] != name) continue;
        if (i + 1 >= words_.size()) throw UsageError(std::string("missing ") + what);
        *value = words_[i + 1];
        words_.erase(words_.begin() + static_cast<std::ptrdiff_t>(i),
                     words_.begin() + static_cast<std::ptrdiff_t>(i + 2));
        return true;
    }
    return false;
}

bool CommandLine::NextIsOption() const {
    if (Done()) return false;
    const std::string& w = words_[next_];
    return w.size() > 1 && w[0] == '-' && !(w[1] >= '0' && w[1] <= '9');
}

int CommandLine::TakeInt(const char* what, int min, int max, bool hex) {
    return ParseInt(Take(what), what, min, max, hex);
}

double CommandLine::TakeSeconds(const char* what, double max) {
    const std::string word = Take(what);
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(word.c_str(), &end);
    // Decimal only: strtod would also take hexadecimal, "inf" and "nan".
    const bool decimal = word.find_first_not_of("0123456789.") == std::string::npos;
    if (word.empty() || !decimal || *end != '\0' || errno != 0 || !std::isfinite(value)) {
        throw UsageError(std::string("not a number of seconds for ") + what + ": '" + word + "'");
    }
    if (!(value > 0) || value > max) {
        throw UsageError(std::string(what) + " must be above 0 and at most " +
                         std::to_string(static_cast<long>(max)) + ", not " + word);
    }
    return value;
}

int CommandLine::ParseInt(const std::string& word, const char* what, int min, int max, bool hex) {
    const bool isHex = hex && word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
    const char* text = word.c_str() + (isHex ? 2 : 0);
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, isHex ? 16 : 10);
    // strtol would skip leading blanks and take a sign after "0x": a digit (or a sign before
    // decimal digits) must come first.
    const auto digit = [isHex](char c) {
        return isHex ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : c >= '0' && c <= '9';
    };
    const bool clean = digit(text[0]) || (!isHex && (text[0] == '-' || text[0] == '+') && digit(text[1]));
    if (!clean || *end != '\0' || errno != 0) {
        throw UsageError(std::string("not a number for ") + what + ": '" + word + "'");
    }
    if (value < min || value > max) {
        throw UsageError(std::string(what) + " must be " + std::to_string(min) + " to " +
                         std::to_string(max) + ", not " + word);
    }
    return static_cast<int>(value);
}

void CommandLine::Unexpected() const {
    throw UsageError("unexpected argument '" + words_[next_] + "'");
}

}  // namespace lumora::tool
