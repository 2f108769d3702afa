#include "command_line.h"

#include <cerrno>
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

bool CommandLine::NextIsOption() const {
    if (Done()) return false;
    const std::string& w = words_[next_];
    return w.size() > 1 && w[0] == '-' && !(w[1] >= '0' && w[1] <= '9');
}

int CommandLine::TakeInt(const char* what, int min, int max) {
    return ParseInt(Take(what), what, min, max);
}

int CommandLine::ParseInt(const std::string& word, const char* what, int min, int max) {
    const char* text = word.c_str();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 0);
    if (word.empty() || *end != '\0' || errno != 0) {
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
