#pragma once
// The values of the settings root: the selected capture-window preset and the stream format.

namespace lumora {

struct StreamSettings {
    int size = 0;       // "Size": number NN of the selected preset Size_NN
    int color = 0;      // "Color": colour mode 0..5
    int subSample = 0;  // "SubSample": 0, 1, 2, 17 or 18
    int waitTime = 10;  // "WaitTime": preview pause between frame polls, ms
    int clock = 0;      // "Clock": clock setting 0..5
};

}  // namespace lumora
