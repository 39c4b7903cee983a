#pragma once
// The program's error convention: an error carries a number and a
// description, is reported by the procedure that caught it (a message box, or
// a log line during a run) and the procedure goes on with its next step.

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace brevita {

enum ErrorNumber : int32_t {
    ErrInvalidCall = 5,
    ErrOverflow = 6,
    ErrTypeMismatch = 13,
    ErrInternal = 51,
    ErrFileNotFound = 53,
    ErrPermissionDenied = 70,
    ErrDiskFull = 61,
    ErrPathFileAccess = 75,
    ErrPathNotFound = 76,
    ErrObjectNotSet = 91,
    ErrInvalidUseOfNull = 94,
    ErrRaised = 1001, // raised on purpose for the caller's handler
    ErrDatabase = 3001,
};

class AppError : public std::runtime_error {
  public:
    AppError(int32_t number, std::string description)
        : std::runtime_error(description), number_(number), description_(std::move(description)) {}
    int32_t Number() const { return number_; }
    const std::string &Description() const { return description_; }

  private:
    int32_t number_;
    std::string description_;
};

[[noreturn]] void RaiseError(int32_t number, const std::string &description);

// The error a failed system call stands for (errno value).
AppError ErrorFromErrno(int err);

// Raises the error of errno, right after a failed system call.
[[noreturn]] inline void RaiseErrno() {
    throw ErrorFromErrno(errno);
}

// r, or the error of errno when a system call returned a failure.
inline int CheckErrno(int r) {
    if (r < 0) {
        RaiseErrno();
    }
    return r;
}

// Turns whatever was thrown into an AppError.
AppError CurrentError(std::exception_ptr thrown);

// Where the reports are written into the run's log: the log module
// installs its writer, so this one need not know the log. Every report goes
// there, message boxes too, so that a run without a window loses none.
using ErrorLogWriter = void (*)(const std::string &line);
void SetErrorLogWriter(ErrorLogWriter writer);

// Reports made by every ErrorHandler since the program started: a batch
// without a window tells a clean run from one with errors by it.
int ErrorReportCount();

enum class ErrorReport {
    FormMessage,   // message box, "Error N (description) in procedure P of Form F"
    ModuleMessage, // message box, "(error):N (description) in procedure P of Module M"
    FormLog,       // time-stamped log line, "(error) N (description) in procedure P of Form F"
    ModuleLog,     // time-stamped log line, "(error) N (description) in procedure P of Module M"
    // Message box of the description in a pattern given as procedure
    // ("Error in FormLoad routine:%1"), for the routines that report so; it
    // is neither logged nor counted.
    HeadedMessage,
};

// The text of a report: the four procedure forms above, or for
// HeadedMessage the description filled into procedure.
std::string ErrorReportText(ErrorReport how, const AppError &e, const std::string &procedure,
                            const std::string &owner = {});

// One per procedure: every step runs through Step, so a failing step is
// reported once and the next step still runs. Every error the program
// reports goes through one. The log line names what the
// procedure was working on, once About has said it.
class ErrorHandler {
  public:
    ErrorHandler(ErrorReport how, std::string procedure, std::string owner)
        : how_(how), procedure_(std::move(procedure)), owner_(std::move(owner)) {}

    template <class F> bool Step(F &&step) noexcept {
        try {
            step();
            return true;
        } catch (...) {
            Report(CurrentError(std::current_exception()));
            return false;
        }
    }

    void Report(const AppError &e) noexcept;
    // "file /srv/...", "objectID=..."; empty for nothing in particular.
    void About(std::string subject) { subject_ = std::move(subject); }
    const std::string &Subject() const { return subject_; }
    // A handler that reports as this one does, for work done elsewhere.
    ErrorHandler Like() const { return ErrorHandler(how_, procedure_, owner_); }

  private:
    ErrorReport how_;
    std::string procedure_;
    std::string owner_;
    std::string subject_;
};

} // namespace brevita
