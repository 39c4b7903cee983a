#include "modCallExternalApp.h"
#include "TestSupport.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

using namespace brevita;
using namespace brevita_test;

namespace {

bool Alive(int32_t pid) {
    return ::kill(pid, 0) == 0;
}

// Milliseconds f takes.
int64_t TimedMs(const std::function<void()> &f) {
    auto start = std::chrono::steady_clock::now();
    f();
    auto d = std::chrono::steady_clock::now() - start;
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

} // namespace

TEST(WaitForProcessExit, ReturnsWhenTheProgramEndsOrTheTimeIsUpOrAtOnce) {
    int32_t pid = StartHiddenProgram({"/bin/sleep", "1"});
    ASSERT_GT(pid, 0);
    int64_t ms = TimedMs([&] { EXPECT_TRUE(WaitForProcessExit(pid, 5000)); });
    EXPECT_GE(ms, 900);
    EXPECT_LT(ms, 4500); // the end was noticed, not the time-out
    // Reaped: no zombie keeps the id.
    EXPECT_FALSE(Alive(pid));
    EXPECT_FALSE(WaitForProcessExit(pid, 5000));

    // The time-out leaves the program running.
    pid = StartHiddenProgram({"/bin/sleep", "30"});
    EXPECT_GE(TimedMs([&] { EXPECT_TRUE(WaitForProcessExit(pid, 300)); }), 290);
    EXPECT_TRUE(Alive(pid));
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    EXPECT_TRUE(WaitForProcessExit(pid, 5000) || !Alive(pid));
    EXPECT_FALSE(Alive(pid));

    // Nothing to wait for.
    for (int32_t none : {0, -1, 0x7ffffff0})
        EXPECT_FALSE(WaitForProcessExit(none, 5000)) << none;
    // Ended before the wait begins.
    pid = StartHiddenProgram({"/bin/true"});
    siginfo_t info{};
    for (int i = 0; i < 500 && info.si_pid != pid; ++i, ::usleep(10000))
        ::waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT);
    ASSERT_EQ(info.si_pid, pid);
    EXPECT_LT(TimedMs([&] { EXPECT_FALSE(WaitForProcessExit(pid, 5000)); }), 2000);
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1); // and reaped
}

TEST(StartHiddenProgram, ArgumentsAsGivenOrFileNotFound) {
    TempDir dir;
    // Shell characters reach the program untouched: there is no shell.
    const std::string odd = "a b;$(echo c)|d*.wav";
    int32_t pid = StartHiddenProgram({"touch", odd}, dir.path().string());
    EXPECT_TRUE(WaitForProcessExit(pid, 5000) || !Alive(pid));
    EXPECT_TRUE(std::filesystem::exists(dir / odd));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    std::string why;
    EXPECT_EQ(Raised([&] { StartHiddenProgram({(dir / "no-such-program").string()}); }, &why),
              ErrFileNotFound);
    EXPECT_EQ(why, "File not found");
    EXPECT_THROW(StartHiddenProgram({}), AppError);
}
