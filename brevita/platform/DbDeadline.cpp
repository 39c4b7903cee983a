#include "DbDeadline.h"

#include "AppError.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

namespace brevita {

namespace {

DbTimeouts timeouts;
constexpr const char kStillWaiting[] = "The database has not answered an earlier call";
constexpr const char kDidNotAnswer[] = "The database did not answer within ";
// Calls abandoned by RunWithDeadline that have not returned yet.
std::atomic<int> stuckCalls{0};

} // namespace

void SetDbTimeouts(DbTimeouts t) {
    timeouts = t;
}

DbTimeouts CurrentDbTimeouts() {
    return timeouts;
}

bool AbandonedCallRunning() {
    return stuckCalls.load() > 0;
}

void RunWithDeadline(std::function<void()> work) {
    if (AbandonedCallRunning()) {
        RaiseError(ErrDatabase, kStillWaiting);
    }
    struct Shared {
        std::mutex m;
        std::condition_variable done;
        bool finished = false, abandoned = false;
        std::exception_ptr error;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, work = std::move(work)]() mutable {
        std::exception_ptr error;
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard lock(shared->m);
        shared->error = error;
        shared->finished = true;
        if (shared->abandoned) {
            --stuckCalls;
        }
        shared->done.notify_all();
    }).detach();
    const int seconds = timeouts.login + timeouts.query;
    std::unique_lock lock(shared->m);
    if (!shared->done.wait_for(lock, std::chrono::seconds(seconds),
                               [&] { return shared->finished; })) {
        shared->abandoned = true;
        ++stuckCalls;
        RaiseError(ErrDatabase, kDidNotAnswer + std::to_string(seconds) + " seconds");
    }
    if (shared->error) {
        std::rethrow_exception(shared->error);
    }
}

bool IsDatabaseTimeout(const AppError &e) {
    if (e.Number() != ErrDatabase) {
        return false;
    }
    const std::string &text = e.Description();
    for (const char *mark : {"[HYT00]", "[HYT01]", "[57014]", kStillWaiting, kDidNotAnswer}) {
        if (text.find(mark) != std::string::npos) {
            return true;
        }
    }
    // The PostgreSQL driver reports a login that timed out as a failed
    // connection, in the client library's words.
    return text.find("[08001]") != std::string::npos &&
           text.find("timeout expired") != std::string::npos;
}

} // namespace brevita
