#include "brevita/AppError.h"
#include "brevita/modCallExternalApp.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

using namespace brevita;
using brevita_test::ReadFile;
using brevita_test::TempDir;

namespace {

bool Alive(int32_t pid) {
    return ::kill(pid, 0) == 0;
}

int64_t ElapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 since)
        .count();
}

} // namespace

TEST(WaitForProcessExit, ReturnsWhenTheProgramEnds) {
    auto start = std::chrono::steady_clock::now();
    int32_t pid = StartHiddenProgram({"/bin/sleep", "1"});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(WaitForProcessExit(pid, 5000));
    int64_t ms = ElapsedMs(start);
    EXPECT_GE(ms, 900);
    EXPECT_LT(ms, 4500); // the end was noticed, not the time-out
    // Reaped: no zombie keeps the id.
    EXPECT_FALSE(Alive(pid));
    EXPECT_FALSE(WaitForProcessExit(pid, 5000));
}

TEST(WaitForProcessExit, TimeOutLeavesTheProgramRunning) {
    int32_t pid = StartHiddenProgram({"/bin/sleep", "30"});
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaitForProcessExit(pid, 300));
    EXPECT_GE(ElapsedMs(start), 290);
    EXPECT_TRUE(Alive(pid));
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    EXPECT_TRUE(WaitForProcessExit(pid, 5000) || !Alive(pid));
    EXPECT_FALSE(Alive(pid));
}

TEST(WaitForProcessExit, NothingToWaitFor) {
    EXPECT_FALSE(WaitForProcessExit(0, 5000));
    EXPECT_FALSE(WaitForProcessExit(-1, 5000));
    EXPECT_FALSE(WaitForProcessExit(0x7ffffff0, 5000));
    // Ended before the wait begins.
    int32_t pid = StartHiddenProgram({"/bin/true"});
    siginfo_t info{};
    for (int i = 0; i < 500 && info.si_pid != pid; ++i) {
        ::waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT);
        if (info.si_pid != pid) {
            ::usleep(10000);
        }
    }
    ASSERT_EQ(info.si_pid, pid);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(WaitForProcessExit(pid, 5000));
    EXPECT_LT(ElapsedMs(start), 2000);
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1); // and reaped
}

TEST(StartHiddenProgram, ArgumentsAsGivenOutputDiscarded) {
    TempDir dir;
    // Shell characters reach the program untouched: there is no shell.
    const std::string odd = "a b;$(echo c)|d*.wav";
    int32_t pid = StartHiddenProgram({"touch", odd}, dir.path().string());
    EXPECT_TRUE(WaitForProcessExit(pid, 5000) || !Alive(pid));
    EXPECT_TRUE(std::filesystem::exists(dir / odd));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);

    // Our own output channels stay clean.
    int saved = ::dup(1);
    int sink = ::open((dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(sink, 0);
    ::dup2(sink, 1);
    pid = StartHiddenProgram({"/bin/sh", "-c", "echo out; echo err >&2"});
    WaitForProcessExit(pid, 5000);
    ::dup2(saved, 1);
    ::close(saved);
    ::close(sink);
    EXPECT_EQ(ReadFile(dir / "out"), "");

    try {
        StartHiddenProgram({(dir / "no-such-program").string()});
        ADD_FAILURE() << "started a missing program";
    } catch (const AppError &e) {
        EXPECT_EQ(e.Number(), ErrFileNotFound);
        EXPECT_EQ(e.Description(), "File not found");
    }
    EXPECT_THROW(StartHiddenProgram({}), AppError);
}
