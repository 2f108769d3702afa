#include "device/device_lock.h"

#include <algorithm>

namespace lumora {

bool DeviceLock::Reenter(std::thread::id self) {
    if (depth_ == 0 || holder_ != self) return false;
    ++depth_;
    return true;
}

void DeviceLock::Take(std::thread::id self) {
    queue_.pop_front();
    holder_ = self;
    depth_ = 1;
}

bool DeviceLock::Acquire(std::chrono::milliseconds timeout) {
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(mutex_);
    if (Reenter(self)) return true;
    const uint64_t ticket = nextTicket_++;
    queue_.push_back(ticket);
    if (!turn_.wait_for(lock, timeout, [&] { return MyTurn(ticket); })) {
        queue_.erase(std::find(queue_.begin(), queue_.end(), ticket));
        turn_.notify_all();  // the next waiter may now be first
        return false;
    }
    Take(self);
    return true;
}

void DeviceLock::Acquire() {
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(mutex_);
    if (Reenter(self)) return;
    const uint64_t ticket = nextTicket_++;
    queue_.push_back(ticket);
    turn_.wait(lock, [&] { return MyTurn(ticket); });
    Take(self);
}

void DeviceLock::Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (depth_ == 0 || holder_ != std::this_thread::get_id() || --depth_ > 0) return;
    holder_ = std::thread::id();
    turn_.notify_all();
}

}  // namespace lumora
