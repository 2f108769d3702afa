#pragma once
// The lock of one camera's disk handle: held for each transfer (a seek with its read or write,
// a register read's command write with its answer read) and for the whole of a paused sensor
// operation. Waiters take their turn in the order they came, so the acquisition thread, queued
// behind a setter, transfers before that setter's next call: setters called back to back
// cannot starve the stream. The thread that holds the lock may take it again (a paused
// operation's own transfers).
//
// Thread context: any thread; Release on the thread that acquired.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

namespace lumora {

class DeviceLock {
public:
    // Waits for this caller's turn; false (nothing held) when timeout passed first.
    bool Acquire(std::chrono::milliseconds timeout);
    // Waits for this caller's turn, however long the holder takes.
    void Acquire();
    // Ends one Acquire of the calling thread; nothing when it holds no lock.
    void Release();

private:
    // Caller holds mutex_: true when the lock was taken again by its holder.
    bool Reenter(std::thread::id self);
    // Caller holds mutex_: the first waiter becomes the holder.
    void Take(std::thread::id self);
    bool MyTurn(uint64_t ticket) const { return depth_ == 0 && queue_.front() == ticket; }

    std::mutex mutex_;
    std::condition_variable turn_;
    std::deque<uint64_t> queue_;  // the waiters' tickets, first come first
    uint64_t nextTicket_ = 0;
    std::thread::id holder_;
    int depth_ = 0;
};

// Holds a DeviceLock for one scope.
class DeviceLockScope {
public:
    explicit DeviceLockScope(DeviceLock& lock) : lock_(lock) { lock_.Acquire(); }
    ~DeviceLockScope() { lock_.Release(); }
    DeviceLockScope(const DeviceLockScope&) = delete;
    DeviceLockScope& operator=(const DeviceLockScope&) = delete;

private:
    DeviceLock& lock_;
};

}  // namespace lumora
