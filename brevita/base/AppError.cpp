#include "AppError.h"

#include "UserPrompt.h"

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
        return AppError(ErrFileNotFound, "File not found");
    case ENOTDIR:
        return AppError(ErrPathNotFound, "Path not found");
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY:
    case ETXTBSY:
        return AppError(ErrPermissionDenied, "Permission denied");
    case ENOSPC:
    case EDQUOT:
        return AppError(ErrDiskFull, "Disk full");
    case EEXIST:
    case EISDIR:
        return AppError(ErrPathFileAccess, "Path/File access error");
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
        return AppError(7, "Out of memory");
    } catch (const std::exception &e) {
        return AppError(ErrInternal, e.what());
    } catch (...) {
        return AppError(ErrInternal, "Internal error");
    }
}

std::string ErrorReportText(ErrorReport how, const AppError &e, const std::string &procedure,
                            const std::string &owner) {
    const std::string number = std::to_string(e.Number());
    const std::string where = " (" + e.Description() + ") in procedure " + procedure + " of ";
    switch (how) {
    case ErrorReport::FormMessage:
        return "Error " + number + where + "Form " + owner;
    case ErrorReport::ModuleMessage:
        return "(error):" + number + where + "Module " + owner;
    case ErrorReport::FormLog:
        return "(error) " + number + where + "Form " + owner;
    case ErrorReport::ModuleLog:
        return "(error) " + number + where + "Module " + owner;
    case ErrorReport::HeadedMessage:
        return procedure + e.Description();
    }
    return {};
}

namespace {
int reportsMade = 0;
ErrorLogWriter logWriter = nullptr;

void WriteLogLine(const std::string &line) {
    if (logWriter) {
        logWriter(line);
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
