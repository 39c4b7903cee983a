#pragma once
// Bounds on waiting for the database. Some drivers (psqlODBC among them)
// wait without end for a server that stops answering in the middle of a
// call, whatever the query timeout says; so each operation runs on a thread
// of its own, and the caller gives up after the login and query timeouts.

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace brevita {

class AppError;

// Bounds on waiting for the server, in seconds.
struct DbTimeouts {
    int login = 15;
    int query = 60;
};
// The bounds of every operation that starts from now on.
void SetDbTimeouts(DbTimeouts timeouts);
DbTimeouts CurrentDbTimeouts();

// Runs work on a thread of its own and waits for it at most the login and
// query timeouts together; what work raises reaches the caller. Raises
// ErrDatabase when the wait runs out, and at once while a call abandoned so
// has not returned: it may still hold the driver. work must own everything
// it touches, as an abandoned one runs on after the caller has gone.
void RunWithDeadline(std::function<void()> work);

// RunWithDeadline for work that gives a result.
template <class Work> auto WithDeadline(Work work) -> decltype(work()) {
    using Result = decltype(work());
    auto result = std::make_shared<std::optional<Result>>();
    RunWithDeadline([result, work = std::move(work)]() mutable { result->emplace(work()); });
    return std::move(**result);
}

// True while a call that RunWithDeadline gave up on may still be inside the
// driver.
bool AbandonedCallRunning();

// True for a database error that says the server did not answer in time:
// the driver's time-outs (a login's too), a statement the server cancelled,
// or the deadline.
bool IsDatabaseTimeout(const AppError &e);

} // namespace brevita
