// A re-entrant lock that costs the thread that uses it first no atomic operation.
//
// A Java program usually calls the library from one thread, and every native call takes the
// library lock: a mutex's two atomic operations per call are half the cost of a cheap call. This
// lock is biased to its first user: that thread enters and leaves with plain stores. When another
// thread asks for the lock, the bias is revoked once: the newcomer takes the mutex inside, clears
// the bias, makes every thread of the process pass a full memory barrier (the membarrier system
// call), and waits until the first user is out. From then on every thread, the first included,
// uses the mutex. Where the kernel does not offer the expedited barrier, the lock is the mutex
// from the start.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

class BiasedLock {
public:
    BiasedLock();
    BiasedLock(const BiasedLock &) = delete;
    BiasedLock &operator=(const BiasedLock &) = delete;

    void lock();
    void unlock();

    // Whether the first user still enters without atomic operations.
    bool biased() const { return biased_.load(std::memory_order_relaxed); }

private:
    void revokeBias();

    std::recursive_mutex mutex_;
    std::atomic<bool> biased_{false};
    std::atomic<uintptr_t> owner_{0};  // the thread the bias belongs to; 0 until the first lock
    std::atomic<bool> ownerInside_{false};  // written by the owner: it holds the lock by the bias
    int ownerDepth_ = 0;                // the owner's nesting depth; read and written by it alone
};
