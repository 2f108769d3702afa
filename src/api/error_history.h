#pragma once
// The last error codes of one camera, newest first.
#include <array>
#include <mutex>

namespace lumora {

class ErrorHistory {
public:
    static constexpr int kSize = 20;

    // Pushes code as the newest entry; the oldest of more than kSize entries is dropped.
    // Any thread.
    void Record(int code);
    // Removes and returns the newest code; 0 when none is left. Any thread.
    int Pop();

private:
    mutable std::mutex mutex_;
    std::array<int, kSize> entries_{};
};

}  // namespace lumora
