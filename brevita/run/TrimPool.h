#pragma once
// The trims of a batch stage, run on several threads at once and taken
// back in the order they were handed in, so that the batch can write its
// results as a serial run would.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace brevita {

// The slots a batch trims in: the registry value "ParallelTrims" under the
// program's key when it is 1 to 64, otherwise the processors online.
int ParallelTrims();

class TrimPool {
  public:
    using Job = std::function<void(int slot)>;

    // With one slot every job runs at once, on the caller's thread, when it
    // is handed in: the serial run.
    explicit TrimPool(int slotCount);
    // Waits for the jobs still running; their results are dropped.
    ~TrimPool();
    TrimPool(const TrimPool &) = delete;
    TrimPool &operator=(const TrimPool &) = delete;

    int Slots() const { return slots_; }
    // Runs job on the first free slot, with the slot's number (0 to
    // Slots() - 1), which no other running job has.
    void Add(Job job);
    // Jobs worth handing in at a time: enough that no slot waits while the
    // oldest is taken back; one for the serial run, so that each file is
    // taken back before the next is read.
    size_t Depth() const { return slots_ == 1 ? 1 : 4 * static_cast<size_t>(slots_); }
    // Waits for the oldest job to end, keeping the window painted, and
    // takes it back; what it threw is thrown here.
    void TakeOldest();

  private:
    struct Entry {
        explicit Entry(Job j) : job(std::move(j)) {}
        Job job;
        bool started = false;
        bool done = false;
        std::exception_ptr failure;
    };
    void Work(int slot);

    const int slots_;
    std::deque<Entry> jobs_; // oldest first; guarded by lock_ once threads run
    std::mutex lock_;
    std::condition_variable changed_;
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

} // namespace brevita
