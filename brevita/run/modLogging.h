#pragma once
// The run log: one text file per trimming run in the logs folder beside the
// program, CR LF line ends, a header, time-stamped lines and a count of the
// lines that report an error. Control characters in a line are written
// escaped (CR as \r, LF as \n, the other C0 controls and DEL as \xNN, the
// C1 controls and the Unicode line and paragraph separators as \uNNNN), so
// one call writes exactly one line.

#include "DeferredOutput.h"

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

// The log's date form, the same in every environment: US English short
// date with a four-digit year, a blank, long time without a time zone
// (12/5/2026 9:05:21 PM).
std::string GeneralDate(const QDateTime &when);

// The log's file name for a run that starts at start:
// <executable name>_Log_yymmdd_hh_mm_ss.TXT
std::string LogFileName(const QDateTime &start);

// A log that cannot be made is silent, except that a link in the place of
// the file or of its folder is refused with a message naming it. The first
// write that fails closes the log and shows a message naming the log.
void OpenLogFile(const std::string &path);
void WriteToLog(const std::string &message, bool timeStamp = true);
// Writes held-back lines and shows held-back messages, in their order; the
// lines are stamped with the time they are written.
void ReplayOutput(const DeferredOutput &output);
void CloseLogFile();
// Removes the files of the logs folder whose names LogFileName makes and
// that are more than 10 days old; a link in the folder's place is not
// followed.
void DeleteOldLogFiles();
// Closes the log and ends the program.
void ExitProgram();

} // namespace brevita
