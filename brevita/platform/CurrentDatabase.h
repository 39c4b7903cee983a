#pragma once
// Which database the runs work on: the voicemail server's, through ODBC on
// the connection string start-up chose, unless another has been installed
// in its place (the tests' one in memory).

#include "VoicemailDatabase.h"

namespace brevita {

// The installed database, or the server's.
VoicemailDatabase &CurrentDatabase();
// Installs database (not owned); null goes back to the server's.
void SetCurrentDatabase(VoicemailDatabase *database);

} // namespace brevita
