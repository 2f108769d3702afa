#include "api/error_history.h"

#include <algorithm>

namespace lumora {

void ErrorHistory::Record(int code) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::copy_backward(entries_.begin(), entries_.end() - 1, entries_.end());
    entries_[0] = code;
}

int ErrorHistory::Pop() {
    std::lock_guard<std::mutex> lock(mutex_);
    int newest = entries_[0];
    std::copy(entries_.begin() + 1, entries_.end(), entries_.begin());
    entries_[kSize - 1] = 0;
    return newest;
}

}  // namespace lumora
