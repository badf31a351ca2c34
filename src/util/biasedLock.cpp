// The biased library lock: the owner's plain stores, the revocation with a process-wide barrier.
#include "util/biasedLock.h"

#include <linux/membarrier.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace {

// The calling thread's handle, which no other live thread shares; read from the thread pointer
// (a thread-local variable of a loaded library would cost a call on every lock and unlock).
uintptr_t currentThread() { return static_cast<uintptr_t>(pthread_self()); }

int membarrier(int command) { return static_cast<int>(syscall(SYS_membarrier, command, 0, 0)); }

}  // namespace

BiasedLock::BiasedLock() {
    // The bias needs the expedited barrier, which a process registers for once.
    biased_.store(membarrier(MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED) == 0,
                  std::memory_order_relaxed);
}

void BiasedLock::lock() {
    const uintptr_t me = currentThread();
    uintptr_t owner = owner_.load(std::memory_order_relaxed);
    // a nested lock inside a biased hold, also one the revoker is waiting out
    if (owner == me && ownerDepth_ > 0) {
        ownerDepth_++;
        return;
    }
    if (biased_.load(std::memory_order_acquire)) {
        if (owner == 0 && owner_.compare_exchange_strong(owner, me)) owner = me;
        if (owner != me) {
            revokeBias();
            return;
        }
        // Dekker with an asymmetric barrier: the owner announces itself, then checks the bias. A
        // revoker clears the bias, then runs the barrier, which orders the owner's store before
        // its check, then reads the announcement: one of the two sees the other.
        ownerInside_.store(true, std::memory_order_relaxed);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        if (biased_.load(std::memory_order_acquire)) {
            ownerDepth_ = 1;
            return;
        }
        ownerInside_.store(false, std::memory_order_release);
    }
    mutex_.lock();
}

void BiasedLock::unlock() {
    if (owner_.load(std::memory_order_relaxed) == currentThread() && ownerDepth_ > 0) {
        if (--ownerDepth_ == 0) ownerInside_.store(false, std::memory_order_release);
        return;
    }
    mutex_.unlock();
}

// Returns holding the mutex, with the bias gone and its owner out of the lock.
void BiasedLock::revokeBias() {
    mutex_.lock();
    if (!biased_.load(std::memory_order_relaxed)) return;  // an earlier newcomer revoked it
    biased_.store(false, std::memory_order_relaxed);
    if (membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED) != 0) membarrier(MEMBARRIER_CMD_GLOBAL);
    // The owner may be inside for as long as an operation runs: wait without spinning hard.
    while (ownerInside_.load(std::memory_order_acquire)) {
        const timespec pause{0, 50000};
        nanosleep(&pause, nullptr);
    }
}
