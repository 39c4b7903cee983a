#pragma once
// The run log: one text file per trimming run in the logs folder beside the
// program, CR LF line ends, a header, time-stamped lines and a count of the
// lines that report an error.

#include <QDateTime>

#include <cstdint>
#include <filesystem>
#include <string>

namespace brevita {

// Full path of the current log; empty until a name was made.
extern std::string LogFilePath;
// Lines written since OpenLogFile that contain "(error)", in any case.
extern int32_t LogErrorCount;

// The logs folder: "logs" beside the program unless Brevita.paths says otherwise
std::filesystem::path LogsFolder();

// The locale's general date form: short date, a blank, long time (with a
// four-digit year and without a time zone).
std::string GeneralDate(const QDateTime &when);

void OpenLogFile(const std::string &path);
void WriteToLog(const std::string &message, bool timeStamp = true);
void CloseLogFile();
void DeleteOldLogFiles();
// Closes the log and ends the program.
void ExitProgram();

} // namespace brevita
