#include "modLogging.h"

#include "AppEnv.h"
#include "AppError.h"
#include "CorvoxVersion.h"
#include "DeferredOutput.h"
#include "StateFiles.h"
#include "modCommon.h"

#include <QLocale>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <system_error>
#include <vector>

namespace brevita {

std::string LogFilePath;
int32_t LogErrorCount = 0;

namespace {

constexpr int kKeepDays = 10;
const std::string kRule(64, '=');

// Read by the batch's trims, on their threads, to know whether a log is open.
std::atomic<int> logFd = -1;
std::string openLogPath;

// Error reports come here, time-stamped, while a log is open. One made
// while none is (at start-up, in a test of one file) is written nowhere and
// counts in no run.
void LogErrorReport(const std::string &line) {
    if (logFd >= 0) {
        WriteToLog(line, true);
    }
}

bool ContainsErrorMark(const std::string &message) {
    return AsciiLower(message).find("(error)") != std::string::npos;
}

// A value from the database or the registry may hold any byte; escaped,
// it cannot end its line early and make the next one up. Backslashes stay
// as they are: paths and aliases keep their look, and no line can be made
// with them.
std::string EscapeControls(const std::string &text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = [&](size_t k) {
            return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
        };
        char escape[8] = "";
        if (c == '\r') {
            std::snprintf(escape, sizeof escape, "\\r");
        } else if (c == '\n') {
            std::snprintf(escape, sizeof escape, "\\n");
        } else if (c < 0x20 || c == 0x7f) {
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
        } else if (c == 0xc2 && next(1) >= 0x80 && next(1) <= 0x9f) {
            // The C1 controls, NEL among them, which editors take for a line end.
            std::snprintf(escape, sizeof escape, "\\u%04X", next(1));
            i += 1;
        } else if (c == 0xe2 && next(1) == 0x80 && (next(2) == 0xa8 || next(2) == 0xa9)) {
            std::snprintf(escape, sizeof escape, "\\u%04X", 0x2000 + next(2) - 0x80);
            i += 2;
        }
        if (*escape) {
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool WriteAll(int fd, const std::string &bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR) {
            return false;
        }
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    return true;
}

// The first write that fails ends the log, so it holds every line up to
// that point and no gap; the failure is reported once, as a message, since
// the log itself cannot take it.
void WriteLine(const std::string &line) {
    if (logFd < 0) {
        return;
    }
    if (WriteAll(logFd, EscapeControls(line) + "\r\n")) {
        return;
    }
    const AppError cause = ErrorFromErrno(errno);
    const std::string path = openLogPath;
    CloseLogFile();
    ErrorHandler(ErrorReport::ModuleMessage, "WriteToLog", "modLogging")
        .Report(AppError(cause.Number(), cause.Description() + ": " + path));
}

// A fresh file at path, opened for appending, or -1 when none can be made
// (which the log bears silently). Links are refused: neither the folder nor
// the file at the name is followed.
int CreateLogFile(const std::filesystem::path &path) {
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    const UniqueFd dir = OpenFolderNoFollow(folder);
    if (dir.get() < 0) {
        return -1;
    }
    const std::string name = path.filename().string();
    struct stat st;
    if (::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode)) {
            throw RefusedLink(path);
        }
        // A folder or a device in the way stays; the open below then fails.
        if (S_ISREG(st.st_mode)) {
            ::unlinkat(dir.get(), name.c_str(), 0);
        }
    }
    const int fd = ::openat(dir.get(), name.c_str(),
                            O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST && IsLinkAt(dir.get(), name)) {
        throw RefusedLink(path);
    }
    return fd;
}

bool IsDigits(const std::string &text, size_t from, size_t count) {
    if (from + count > text.size()) {
        return false;
    }
    for (size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}

// A name that LogFileName makes: <prefix>yymmdd_hh_mm_ss.TXT.
bool IsLogName(const std::string &name, const std::string &prefix) {
    const size_t p = prefix.size();
    return name.size() == p + 19 && name.compare(0, p, prefix) == 0 && IsDigits(name, p, 6) &&
           name[p + 6] == '_' && IsDigits(name, p + 7, 2) && name[p + 9] == '_' &&
           IsDigits(name, p + 10, 2) && name[p + 12] == '_' && IsDigits(name, p + 13, 2) &&
           name.compare(p + 15, 4, ".TXT") == 0;
}

} // namespace

std::filesystem::path LogsFolder() {
    return LogsFolderPath();
}

std::string GeneralDate(const QDateTime &when) {
    // A scheduled run has no locale, a desktop run the user's: one fixed
    // form keeps their logs alike, and readable by the same tools.
    static const QLocale usEnglish(QLocale::English, QLocale::UnitedStates);
    return usEnglish.toString(when, QStringLiteral("M/d/yyyy h:mm:ss AP")).toStdString();
}

std::string LogFileName(const QDateTime &start) {
    return ExecutableName() + "_Log_" +
           start.toString(QStringLiteral("yyMMdd_HH_mm_ss")).toStdString() + ".TXT";
}

void OpenLogFile(const std::string &path) {
    CloseLogFile();
    ErrorHandler onError(ErrorReport::ModuleMessage, "OpenLogFile", "modLogging");
    onError.Step([&] {
        logFd = CreateLogFile(path);
        openLogPath = path;
        SetErrorLogWriter(LogErrorReport);
    });
    WriteLine(kRule);
    WriteLine("Running " + ExecutableName() + ", version " + std::to_string(kProgramVersion.major) +
              "." + std::to_string(kProgramVersion.minor) + "." +
              std::to_string(kProgramVersion.revision));
    WriteLine("");
    WriteLine("Local Corvox version=" + LocalCorvoxVersion.Text);
    WriteLine("Local time=" + GeneralDate(Now()));
    WriteLine(kRule);
    WriteLine("");
    LogErrorCount = 0;
}

void WriteToLog(const std::string &message, bool timeStamp) {
    if (DeferredOutput *out = DeferredOutputOfThisThread()) {
        out->push_back({false, message, timeStamp, Buttons::Ok});
        return;
    }
    if (ContainsErrorMark(message)) {
        ++LogErrorCount;
    }
    WriteLine(timeStamp ? GeneralDate(Now()) + ": " + message : message);
    ProcessPendingEvents();
}

void ReplayOutput(const DeferredOutput &output) {
    for (const DeferredEntry &e : output) {
        if (e.message) {
            MsgBox(e.text, e.buttons);
        } else {
            WriteToLog(e.text, e.timeStamp);
        }
    }
}

void CloseLogFile() {
    SetErrorLogWriter(nullptr);
    if (const int fd = logFd.exchange(-1); fd >= 0) {
        ::close(fd);
    }
}

// Only the logs' own names go: a folder that is a link is not looked into,
// and whatever else someone keeps there stays.
void DeleteOldLogFiles() {
    UniqueFd dir;
    try {
        dir = OpenFolderNoFollow(LogsFolder());
    } catch (const AppError &) {
        // Opening the log says so.
    }
    if (dir.get() < 0) {
        return;
    }
    const std::string prefix = ExecutableName() + "_Log_";
    std::vector<std::string> names;
    UniqueFd listed(::dup(dir.get()));
    if (DIR *listing = listed.get() < 0 ? nullptr : ::fdopendir(listed.get())) {
        listed.release();
        while (const dirent *e = ::readdir(listing)) {
            if (IsLogName(e->d_name, prefix)) {
                names.push_back(e->d_name);
            }
        }
        ::closedir(listing);
    }
    const QDate today = Now().date();
    for (const std::string &name : names) {
        struct stat st;
        if (::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            S_ISDIR(st.st_mode)) {
            continue;
        }
        QDate written = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec).date();
        if (written.daysTo(today) > kKeepDays) {
            ::unlinkat(dir.get(), name.c_str(), 0);
        }
    }
}

void ExitProgram() {
    CloseLogFile();
    EndProgram();
}

} // namespace brevita
