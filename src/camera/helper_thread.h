#pragma once
// A second thread for the thread that owns it: it takes one piece of work at a time, so that a
// frame can be processed on two cores. The thread starts on first use and ends with the object.
//
// Thread context: RunAlongside and the destructor run on the owning thread only.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace lumora {

class HelperThread {
public:
    HelperThread() = default;
    ~HelperThread();
    HelperThread(const HelperThread&) = delete;
    HelperThread& operator=(const HelperThread&) = delete;

    // Runs helperWork on the helper thread while ownWork runs on the calling thread, and
    // returns when both have ended. When the thread cannot be started, ownWork runs first and
    // helperWork after it, both on the calling thread, so helperWork must not wait for
    // something only ownWork's later part would do.
    void RunAlongside(const std::function<void()>& helperWork, const std::function<void()>& ownWork);

private:
    void Loop();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    const std::function<void()>* work_ = nullptr;  // set while a piece of work is pending or running
    bool stop_ = false;
    bool failed_ = false;
    std::thread thread_;
};

}  // namespace lumora
