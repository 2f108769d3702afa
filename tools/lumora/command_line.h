#pragma once
// The arguments of one subcommand: options with their values in any order, and the positional
// words left to right, every number checked against its range. A fault throws UsageError with
// a one-line message for the user.
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
    // Wherever it stands among the words not yet taken: the option and the word after it (its
    // value) are removed, and the value returned. False when the option is not there.
    bool TakeOptionAnywhere(const char* name, const char* what, std::string* value);
    // True when the next word is an option (starts with '-' and is not a number).
    bool NextIsOption() const;
    // The next word as a decimal integer in [min, max] (0x... also when hex is set).
    int TakeInt(const char* what, int min, int max, bool hex = false);
    // The next word as a decimal number of seconds in (0, max].
    double TakeSeconds(const char* what, double max);
    // A decimal integer word in [min, max]; leading zeros are decimal. With hex, "0x..." is
    // hexadecimal.
    static int ParseInt(const std::string& word, const char* what, int min, int max, bool hex = false);
    // UsageError for the next word, which no rule took.
    [[noreturn]] void Unexpected() const;

private:
    std::vector<std::string> words_;
    size_t next_ = 0;
};

}  // namespace lumora::tool
