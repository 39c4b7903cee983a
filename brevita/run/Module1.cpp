#include "Module1.h"

#include "AppEnv.h"
#include "AppError.h"
#include "CurrentDatabase.h"
#include "modLogging.h"

#include <filesystem>

namespace brevita {

std::string GenerateNewLogFileName() {
    ErrorHandler onError(ErrorReport::ModuleMessage, "GenerateNewLogFileName", "Module1");
    std::string name;
    onError.Step([&] { name = LogFileName(Now()); });
    const auto folder = LogsFolder();
    onError.Step([&] {
        // A link in the folder's place is left for OpenLogFile to refuse.
        const auto status = std::filesystem::symlink_status(folder);
        if (!std::filesystem::is_directory(status) && !std::filesystem::is_symlink(status)) {
            std::filesystem::create_directories(folder);
        }
    });
    onError.Step([&] { DeleteOldLogFiles(); });
    onError.Step([&] { LogFilePath = (folder / name).string(); });
    return LogFilePath;
}

void CallSubscriberSync() {
    ErrorHandler onError(ErrorReport::ModuleLog, "CallSubscriberSync", "Module1");
    onError.Step([] { CurrentDatabase().RequestFullDirectorySync(); });
}

} // namespace brevita
