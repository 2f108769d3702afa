#pragma once
// A manual-reset event: stays signalled from Set until Reset; any number of waiters.
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace lumora {

class ManualResetEvent {
public:
    // Any thread.
    void Set();
    void Reset();
    // Waits until the event is signalled or timeoutMs milliseconds have passed; true when
    // signalled.
    bool Wait(uint32_t timeoutMs);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_ = false;
};

}  // namespace lumora
