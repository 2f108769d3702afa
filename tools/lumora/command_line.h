#pragma once
// The arguments of one subcommand, read left to right: options with their values and the
// positional words, every number checked against its range. A fault throws UsageError with a
// one-line message for the user.
#include <stdexcept>
#include <string>
#include <vector>

namespace lumora::tool {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class CommandLine {
public:
    CommandLine(int argc, char** argv, int first);

    bool Done() const { return next_ >= words_.size(); }
    // The next word; UsageError naming what was expected when there is none.
    std::string Take(const char* what);
    // The next word when it is the given option (and consumes it).
    bool TakeOption(const char* name);
    // True when the next word is an option (starts with '-' and is not a number).
    bool NextIsOption() const;
    // The next word as an integer in [min, max].
    int TakeInt(const char* what, int min, int max);
    // An integer word in [min, max]; decimal, or hexadecimal with 0x.
    static int ParseInt(const std::string& word, const char* what, int min, int max);
    // UsageError for the next word, which no rule took.
    [[noreturn]] void Unexpected() const;

private:
    std::vector<std::string> words_;
    size_t next_ = 0;
};

}  // namespace lumora::tool
