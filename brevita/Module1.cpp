#include "brevita/Module1.h"

#include "brevita/AppEnv.h"
#include "brevita/AppError.h"
#include "brevita/VoicemailDb.h"
#include "brevita/modLogging.h"

#include <filesystem>

namespace brevita {

std::string GenerateNewLogFileName() {
    ErrorHandler onError(ErrorReport::ModuleMessage, "GenerateNewLogFileName", "Module1");
    std::string name;
    onError.Step([&] {
        name = ExecutableName() + "_Log_" +
               Now().toString(QStringLiteral("yyMMdd_HH_mm_ss")).toStdString() + ".TXT";
    });
    const auto folder = LogsFolder();
    onError.Step([&] {
        if (!std::filesystem::is_directory(folder)) {
            std::filesystem::create_directories(folder);
        }
    });
    onError.Step([&] { DeleteOldLogFiles(); });
    onError.Step([&] { LogFilePath = (folder / name).string(); });
    return LogFilePath;
}

void CallSubscriberSync() {
    ErrorHandler onError(ErrorReport::ModuleLog, "CallSubscriberSync", "Module1");
    onError.Step([&] { RequestFullDirectorySync(DbConnectionString); });
}

} // namespace brevita
