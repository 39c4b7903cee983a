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

std::string FormErrorText(const AppError &e, const std::string &procedure,
                          const std::string &form) {
    return "Error " + std::to_string(e.Number()) + " (" + e.Description() + ") in procedure " +
           procedure + " of Form " + form;
}

std::string ModuleErrorText(const AppError &e, const std::string &procedure,
                            const std::string &module) {
    return "(error):" + std::to_string(e.Number()) + " (" + e.Description() + ") in procedure " +
           procedure + " of Module " + module;
}

std::string LoggedErrorText(const AppError &e, const std::string &procedure,
                            const std::string &ownerKind, const std::string &owner) {
    return "(error) " + std::to_string(e.Number()) + " (" + e.Description() + ") in procedure " +
           procedure + " of " + ownerKind + " " + owner;
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
    ++reported_;
    ++reportsMade;
    const bool form = how_ == ErrorReport::FormMessage || how_ == ErrorReport::FormLog;
    // A report that fails itself must not take the procedure down with it.
    try {
        // The line first: a run stopped at the box still has it in its log.
        WriteLogLine(LoggedErrorText(e, procedure_, form ? "Form" : "Module", owner_) +
                     (subject_.empty() ? "" : " for " + subject_));
        if (how_ == ErrorReport::FormMessage) {
            MsgBox(FormErrorText(e, procedure_, owner_));
        } else if (how_ == ErrorReport::ModuleMessage) {
            MsgBox(ModuleErrorText(e, procedure_, owner_));
        }
    } catch (...) {
    }
}

} // namespace brevita
