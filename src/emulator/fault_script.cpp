#include "emulator/fault_script.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "platform/runtime_file.h"

namespace lumora {

namespace {

constexpr const char* kWords[] = {"unplug", "replug", "stall", "unstall", "fail", "unfail"};

// A whole decimal number of 1..kMaxCamera.
bool ParseCamera(const std::string& text, int* camera) {
    if (text.size() != 1 || text[0] < '1' || text[0] > '0' + FaultScript::kMaxCamera) return false;
    *camera = text[0] - '0';
    return true;
}

// Decimal seconds, a fraction allowed, 0 up to a day; into milliseconds.
bool ParseSeconds(const std::string& text, uint32_t* ms) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos ||
        std::count(text.begin(), text.end(), '.') > 1 || text == ".") {
        return false;
    }
    const double seconds = std::strtod(text.c_str(), nullptr);
    if (seconds > 86400) return false;
    *ms = static_cast<uint32_t>(seconds * 1000 + 0.5);
    return true;
}

}  // namespace

bool FaultScript::ParseFault(const std::string& word, EmulatorFault* fault) {
    for (size_t i = 0; i < sizeof kWords / sizeof kWords[0]; ++i) {
        if (word == kWords[i]) {
            *fault = static_cast<EmulatorFault>(i);
            return true;
        }
    }
    return false;
}

const char* FaultScript::Word(EmulatorFault fault) { return kWords[static_cast<int>(fault)]; }

bool FaultScript::ParseSchedule(const std::string& text, std::vector<ScheduledFault>* items, std::string* error) {
    std::vector<ScheduledFault> parsed;
    std::istringstream in(text);
    std::string item;
    while (in >> item) {
        ScheduledFault f;
        const size_t at = item.find('@');
        const size_t colon = item.find(':');
        const std::string word = item.substr(0, std::min(at, colon));
        const bool ok = at != std::string::npos && ParseFault(word, &f.fault) &&
                        (colon == std::string::npos || (colon < at && ParseCamera(item.substr(colon + 1, at - colon - 1), &f.camera))) &&
                        ParseSeconds(item.substr(at + 1), &f.atMs);
        if (!ok) {
            if (error) *error = "\"" + item + "\" is not FAULT@SECONDS or FAULT:N@SECONDS";
            return false;
        }
        parsed.push_back(f);
    }
    std::stable_sort(parsed.begin(), parsed.end(),
                     [](const ScheduledFault& a, const ScheduledFault& b) { return a.atMs < b.atMs; });
    *items = std::move(parsed);
    return true;
}

bool FaultScript::ParseCommand(const std::string& line, EmulatorFault* fault, int* camera) {
    std::istringstream in(line);
    std::string word, number, rest;
    return static_cast<bool>(in >> word >> number) && !(in >> rest) && ParseFault(word, fault) &&
           ParseCamera(number, camera);
}

std::string FaultScript::CommandFile() {
    const std::string folder = platform::RuntimeFolder();
    return folder.empty() ? folder : folder + "/lumora-camemu-commands";
}

bool FaultScript::Send(EmulatorFault fault, int camera) {
    const std::string path = CommandFile();
    return !path.empty() && platform::AppendToFile(path, std::string(Word(fault)) + " " + std::to_string(camera) + "\n");
}

}  // namespace lumora
