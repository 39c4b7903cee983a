#include "TrimPool.h"

#include "AppEnv.h"
#include "AppError.h"
#include "RegistryAPI.h"
#include "Settings.h"

#include <algorithm>
#include <chrono>

#include <unistd.h>

namespace brevita {

namespace {
constexpr int kMaxSlots = 64;
// How often the window is painted while the oldest trim runs.
constexpr auto kPaintEvery = std::chrono::milliseconds(20);
} // namespace

int ParallelTrims() {
    int32_t stored = 0;
    try {
        stored = RegValueLong(
            GetRegistryValue(HKEY_LOCAL_MACHINE, kSettingsKey, "ParallelTrims", REG_DWORD, 0));
    } catch (const AppError &) {
        // A value of another type counts as none.
    }
    if (stored >= 1 && stored <= kMaxSlots) {
        return stored;
    }
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return static_cast<int>(std::clamp<long>(online, 1, kMaxSlots));
}

TrimPool::TrimPool(int slotCount) : slots_(std::clamp(slotCount, 1, kMaxSlots)) {
    if (slots_ > 1) {
        for (int slot = 0; slot < slots_; ++slot) {
            threads_.emplace_back([this, slot] { Work(slot); });
        }
    }
}

TrimPool::~TrimPool() {
    {
        const std::lock_guard held(lock_);
        // The jobs not started yet never will be.
        closing_ = true;
    }
    changed_.notify_all();
    for (std::thread &t : threads_) {
        t.join();
    }
}

void TrimPool::Add(Job job) {
    if (threads_.empty()) {
        Entry e(std::move(job));
        try {
            e.job(0);
        } catch (...) {
            e.failure = std::current_exception();
        }
        e.done = true;
        jobs_.push_back(std::move(e));
        return;
    }
    {
        const std::lock_guard held(lock_);
        jobs_.emplace_back(std::move(job));
    }
    changed_.notify_all();
}

void TrimPool::Work(int slot) {
    std::unique_lock held(lock_);
    while (!closing_) {
        auto next =
            std::find_if(jobs_.begin(), jobs_.end(), [](const Entry &e) { return !e.started; });
        if (next == jobs_.end()) {
            changed_.wait(held);
            continue;
        }
        next->started = true;
        // A deque keeps its elements in place while others are added at
        // its end, and none is removed before it is done.
        Entry &e = *next;
        held.unlock();
        try {
            e.job(slot);
        } catch (...) {
            e.failure = std::current_exception();
        }
        held.lock();
        e.done = true;
        changed_.notify_all();
    }
}

void TrimPool::TakeOldest() {
    if (jobs_.empty()) {
        return;
    }
    std::unique_lock held(lock_, std::defer_lock);
    if (!threads_.empty()) {
        held.lock();
        while (!jobs_.front().done) {
            if (!changed_.wait_for(held, kPaintEvery, [this] { return jobs_.front().done; })) {
                held.unlock();
                ProcessPendingEvents();
                held.lock();
            }
        }
    }
    const std::exception_ptr failure = jobs_.front().failure;
    jobs_.pop_front();
    if (held.owns_lock()) {
        held.unlock();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

} // namespace brevita
