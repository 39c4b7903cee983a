#pragma once
// What the trimming tests start from: a program folder holding sndprobe, a
// server's stream files folder, a prompt that answers for the user, and
// recordings whose bytes are remembered. For tests that link the run layer.

#include "AppEnv.h"
#include "Recordings.h"
#include "Startup.h"
#include "TestSupport.h"
#include "UserPrompt.h"
#include "modLogging.h"

#include <map>

namespace brevita_test {

struct TrimFixture : ::testing::Test {
    TempDir tmp;
    std::filesystem::path program = tmp / "program";
    std::filesystem::path live = tmp / "server" / "Stream Files";
    brevita::RecordingPrompt prompt;
    brevita::ScopedUserPrompt installed{prompt};
    std::map<std::string, std::string> original; // path -> bytes

    void SetUp() override {
        std::filesystem::create_directories(program);
        std::filesystem::create_directories(live / "sub");
        std::filesystem::create_symlink(std::string(BREVITA_BIN_DIR) + "/sndprobe",
                                        program / "sndprobe");
        brevita::SetProgramLocation(program, "Brevita");
        brevita::StreamFilesPath = live.string() + "/";
    }
    void TearDown() override { brevita::ResetProgramLocation(); }

    // A recording in the stream files folder, remembered with its bytes.
    std::string Make(const std::string &name, double leadMs, double tailMs) {
        const std::string path = (live / name).string();
        EXPECT_TRUE(WriteRecording(path, leadMs, tailMs));
        original[path] = ReadFile(path);
        return path;
    }
    bool Untouched(const std::string &path) { return ReadFile(path) == original.at(path); }
    // What sndprobe itself makes of a file with the batch's settings.
    std::string DirectTrim(const std::string &path) {
        EXPECT_TRUE(SndprobeTrim(path, (tmp / "direct.wav").string()));
        return ReadFile(tmp / "direct.wav");
    }
    std::string Log() { return ReadFile(brevita::LogFilePath); }
    // A stand-in for sndprobe in the program folder.
    void FakeSndprobe(const std::string &script) {
        std::filesystem::remove(program / "sndprobe");
        WriteFile(program / "sndprobe", "#!/bin/sh\n" + script);
        std::filesystem::permissions(program / "sndprobe", std::filesystem::perms::owner_all);
    }
};

inline const std::string kId1 = "11111111-1111-1111-1111-111111111111";
inline const std::string kId2 = "22222222-2222-2222-2222-222222222222";
inline const std::string kId3 = "33333333-3333-3333-3333-333333333333";

} // namespace brevita_test
