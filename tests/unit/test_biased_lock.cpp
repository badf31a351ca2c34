// The library lock: exclusive and re-entrant whether it is biased to its first user or not, and a
// second thread takes it only after the first user is out.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "util/biasedLock.h"

namespace {

TEST(BiasedLockTest, ASecondThreadWaitsUntilTheBiasedOwnerIsOut) {
    BiasedLock lock;
    const bool biasedAtStart = lock.biased();
    std::atomic<bool> entered{false};
    long shared = 0;

    lock.lock();
    lock.lock();  // nested: still one hold
    lock.unlock();
    EXPECT_EQ(lock.biased(), biasedAtStart);  // one thread alone keeps the bias
    std::thread other([&] {
        std::lock_guard<BiasedLock> guard(lock);
        entered = true;
        EXPECT_EQ(shared, 42);  // the owner's writes are seen
        shared++;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered);
    {
        std::lock_guard<BiasedLock> nested(lock);  // nested while the newcomer waits
        shared = 42;
    }
    EXPECT_FALSE(entered);
    lock.unlock();
    other.join();
    EXPECT_TRUE(entered);
    EXPECT_FALSE(lock.biased());
    std::lock_guard<BiasedLock> again(lock);  // the first user goes through the mutex now
    EXPECT_EQ(shared, 43);
}

TEST(BiasedLockTest, ThreadsCountingUnderTheLockLoseNoIncrement) {
    BiasedLock lock;
    long count = 0;
    constexpr int kThreads = 4;
    constexpr long kIncrements = 100000;
    auto work = [&] {
        for (long i = 0; i < kIncrements; i++) {
            std::lock_guard<BiasedLock> guard(lock);
            std::lock_guard<BiasedLock> nested(lock);
            count++;
        }
    };
    work();  // the first user alone, by the bias where there is one
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) threads.emplace_back(work);
    work();  // and again beside the others
    for (std::thread &t : threads) t.join();
    EXPECT_EQ(count, (kThreads + 2) * kIncrements);
    EXPECT_FALSE(lock.biased());
}

}  // namespace
