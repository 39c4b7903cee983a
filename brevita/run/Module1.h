#pragma once

#include <string>

namespace brevita {

// Makes sure the logs folder exists, removes old logs and returns (and
// stores in LogFilePath) the new log's full path. Does not create the file.
std::string GenerateNewLogFileName();

// Asks the server (CurrentDatabase) for a directory synchronisation of all
// subscribers. Errors go to the log (dropped when no log is open).
void CallSubscriberSync();

} // namespace brevita
