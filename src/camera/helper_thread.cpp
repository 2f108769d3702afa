#include "camera/helper_thread.h"

#include <system_error>

namespace lumora {

HelperThread::~HelperThread() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void HelperThread::RunAlongside(const std::function<void()>& helperWork,
                                const std::function<void()>& ownWork) {
    if (!thread_.joinable() && !failed_) {
        try {
            thread_ = std::thread(&HelperThread::Loop, this);
        } catch (const std::system_error&) {
            failed_ = true;
        }
    }
    if (failed_) {
        ownWork();
        helperWork();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        work_ = &helperWork;
    }
    wake_.notify_one();
    ownWork();
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return work_ == nullptr; });
}

void HelperThread::Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || work_ != nullptr; });
        if (work_ == nullptr) return;  // stopping with nothing pending
        const std::function<void()>* work = work_;
        lock.unlock();
        (*work)();
        lock.lock();
        work_ = nullptr;
        done_.notify_one();
    }
}

}  // namespace lumora
