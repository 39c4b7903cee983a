#include "CurrentDatabase.h"

#include "VoicemailDb.h"

namespace brevita {

namespace {

OdbcVoicemailDb server;
VoicemailDatabase *installed = nullptr;

} // namespace

VoicemailDatabase &CurrentDatabase() {
    return installed ? *installed : server;
}

void SetCurrentDatabase(VoicemailDatabase *database) {
    installed = database;
}

} // namespace brevita
