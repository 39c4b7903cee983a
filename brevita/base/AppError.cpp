#include "AppError.h"

#include "Messages.h"
#include "UserPrompt.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

namespace brevita {

void RaiseError(int32_t number, const std::string &description) {
    throw AppError(number, description);
}

AppError ErrorFromErrno(int err) {
    switch (err) {
    case ENOENT:
        return AppError(ErrFileNotFound, QT_TRANSLATE_NOOP("Brevita", "File not found"));
    case ENOTDIR:
        return AppError(ErrPathNotFound, QT_TRANSLATE_NOOP("Brevita", "Path not found"));
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY:
    case ETXTBSY:
        return AppError(ErrPermissionDenied, QT_TRANSLATE_NOOP("Brevita", "Permission denied"));
    case ENOSPC:
    case EDQUOT:
        return AppError(ErrDiskFull, QT_TRANSLATE_NOOP("Brevita", "Disk full"));
    case EEXIST:
    case EISDIR:
        return AppError(ErrPathFileAccess, QT_TRANSLATE_NOOP("Brevita", "Path/File access error"));
    default:
        return AppError(ErrPathFileAccess, std::strerror(err));
    }
}

AppError CurrentError(std::exception_ptr thrown) {
    try {
        std::rethrow_exception(thrown);
    } catch (const AppError &e) {
        return e;
    } catch (const std::filesystem::filesystem_error &e) {
        return ErrorFromErrno(e.code().value());
    } catch (const std::system_error &e) {
        return ErrorFromErrno(e.code().value());
    } catch (const std::bad_alloc &) {
        return AppError(7, QT_TRANSLATE_NOOP("Brevita", "Out of memory"));
    } catch (const std::exception &e) {
        return AppError(ErrInternal, e.what());
    } catch (...) {
        return AppError(ErrInternal, QT_TRANSLATE_NOOP("Brevita", "Internal error"));
    }
}

std::string ErrorReportText(ErrorReport how, const AppError &e, const std::string &procedure,
                            const std::string &owner) {
    const std::string number = std::to_string(e.Number());
    switch (how) {
    case ErrorReport::FormMessage:
        return FillMessage(QT_TRANSLATE_NOOP("Brevita", "Error %1 (%2) in procedure %3 of Form %4"),
                           {number, e.Description(), procedure, owner});
    case ErrorReport::ModuleMessage:
        return FillMessage(
            QT_TRANSLATE_NOOP("Brevita", "(error):%1 (%2) in procedure %3 of Module %4"),
            {number, e.Description(), procedure, owner});
    case ErrorReport::FormLog:
    case ErrorReport::ModuleLog:
        // Logs stay in English.
        return "(error) " + number + " (" + e.Description() + ") in procedure " + procedure +
               (how == ErrorReport::FormLog ? " of Form " : " of Module ") + owner;
    case ErrorReport::HeadedMessage:
        return FillMessage(procedure.c_str(), {e.Description()});
    }
    return {};
}

namespace {
// Reports come from the batch's trims on their own threads too.
std::atomic<int> reportsMade = 0;
std::atomic<ErrorLogWriter> logWriter = nullptr;

void WriteLogLine(const std::string &line) {
    if (const ErrorLogWriter writer = logWriter) {
        writer(line);
    }
}
} // namespace

void SetErrorLogWriter(ErrorLogWriter writer) {
    logWriter = writer;
}

int ErrorReportCount() {
    return reportsMade;
}

void ErrorHandler::Report(const AppError &e) noexcept {
    // A report that fails itself must not take the procedure down with it.
    try {
        if (how_ == ErrorReport::HeadedMessage) {
            MsgBox(ErrorReportText(how_, e, procedure_));
            return;
        }
        ++reportsMade;
        const bool form = how_ == ErrorReport::FormMessage || how_ == ErrorReport::FormLog;
        // The line first: a run stopped at the box still has it in its log.
        WriteLogLine(ErrorReportText(form ? ErrorReport::FormLog : ErrorReport::ModuleLog, e,
                                     procedure_, owner_) +
                     (subject_.empty() ? "" : " for " + subject_));
        if (how_ == ErrorReport::FormMessage || how_ == ErrorReport::ModuleMessage) {
            MsgBox(ErrorReportText(how_, e, procedure_, owner_));
        }
    } catch (...) {
    }
}

} // namespace brevita
