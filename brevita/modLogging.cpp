#include "brevita/modLogging.h"

#include "brevita/AppEnv.h"
#include "brevita/AppError.h"
#include "brevita/CorvoxVersion.h"
#include "brevita/modCommon.h"

#include <QLocale>

#include <sys/stat.h>

#include <cstdio>
#include <system_error>

namespace brevita {

std::string LogFilePath;
int32_t LogErrorCount = 0;

namespace {

constexpr int kKeepDays = 10;
const std::string kRule(64, '=');

std::FILE *logFile = nullptr;

// Error reports that belong in the log come here, time-stamped.
[[maybe_unused]] const bool errorReportsLogged =
    (SetErrorLogWriter([](const std::string &line) { WriteToLog(line, true); }), true);

bool ContainsErrorMark(const std::string &message) {
    return AsciiLower(message).find("(error)") != std::string::npos;
}

// Qt's locale formats may give a two-digit year and name the time zone;
// neither belongs in a log line.
QString WidenYear(const QString &format) {
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size();) {
        QChar c = format[i];
        if (c == '\'') {
            quoted = !quoted;
            out += c;
            ++i;
            continue;
        }
        if (!quoted && c == 'y') {
            qsizetype run = 0;
            while (i + run < format.size() && format[i + run] == 'y') {
                ++run;
            }
            out += run == 2 ? QStringLiteral("yyyy") : QString(run, 'y');
            i += run;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

QString DropTimeZone(const QString &format) {
    QString out;
    bool quoted = false;
    for (QChar c : format) {
        if (c == '\'') {
            quoted = !quoted;
        }
        if (!quoted && c == 't') {
            continue;
        }
        out += c;
    }
    return out.trimmed();
}

void WriteLine(const std::string &line) {
    if (!logFile) {
        return;
    }
    std::string bytes = line + "\r\n";
    std::fwrite(bytes.data(), 1, bytes.size(), logFile);
    std::fflush(logFile);
}

} // namespace

std::filesystem::path LogsFolder() {
    return LogsFolderPath();
}

std::string GeneralDate(const QDateTime &when) {
    QLocale locale = QLocale::system();
    QString date = locale.toString(when.date(), WidenYear(locale.dateFormat(QLocale::ShortFormat)));
    QString time =
        locale.toString(when.time(), DropTimeZone(locale.timeFormat(QLocale::LongFormat)));
    return (date + ' ' + time).toStdString();
}

void OpenLogFile(const std::string &path) {
    CloseLogFile();
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) {
        std::filesystem::remove(path, ec);
    }
    // Close-on-exec, so programs started during the run do not hold the log.
    logFile = std::fopen(path.c_str(), "ae");
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
    if (ContainsErrorMark(message)) {
        ++LogErrorCount;
    }
    WriteLine(timeStamp ? GeneralDate(Now()) + ": " + message : message);
    ProcessPendingEvents();
}

void CloseLogFile() {
    if (logFile) {
        std::fclose(logFile);
        logFile = nullptr;
    }
}

void DeleteOldLogFiles() {
    std::error_code ec;
    const auto folder = LogsFolder();
    if (!std::filesystem::is_directory(folder, ec)) {
        return;
    }
    const QDate today = Now().date();
    std::filesystem::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code fileEc;
        if (it->is_directory(fileEc)) {
            continue;
        }
        struct stat st;
        if (::lstat(it->path().c_str(), &st) != 0) {
            continue;
        }
        QDate written = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec).date();
        if (written.daysTo(today) > kKeepDays) {
            std::filesystem::remove(it->path(), fileEc);
        }
    }
}

void ExitProgram() {
    CloseLogFile();
    EndProgram();
}

} // namespace brevita
