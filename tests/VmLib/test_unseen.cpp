// New files take their name only when complete, replace only regular files
// and links, and leave nothing when abandoned or interrupted; with an
// unnamed file and with the named one file systems without it get.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "VmLib/unseen.h"
#include "common/files.h"

namespace {

namespace fs = std::filesystem;

bool Write(const UnseenFile &f, const std::string &text) {
    return write(f.fd, text.data(), text.size()) == ssize_t(text.size());
}

class Unseen : public ::testing::TestWithParam<unsigned> {};

TEST_P(Unseen, AppearsWhenCompleteAndReplacesOnlyFilesAndLinks) {
    TempDir dir;
    const std::string out = dir / "out.wav";
    UnseenFile f;
    ASSERT_EQ(UnseenCreate(out.c_str(), GetParam(), &f), UNSEEN_OK);
    ASSERT_TRUE(Write(f, "new"));
    // Hidden until published: nothing at all, or one name of its own.
    const auto during = dir.Names();
    EXPECT_EQ(during.size(), GetParam() & UNSEEN_NAMED ? 1u : 0u);
    // ".out.wav." + 24 random hex digits + ".tmp": nothing to plant a link at.
    for (const std::string &name : during)
        EXPECT_TRUE(name.starts_with(".out.wav.") && name.ends_with(".tmp") && name.size() == 37)
            << name;
    ASSERT_EQ(UnseenPublish(&f), UNSEEN_OK);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"out.wav"});
    EXPECT_EQ(ReadText(out), "new");

    // A regular file is replaced; so is a link, which is not followed.
    WriteBytes(dir / "target", {'o', 'l', 'd'});
    fs::create_symlink("target", dir / "link.wav");
    for (const std::string name : {"out.wav", "link.wav"}) {
        ASSERT_EQ(UnseenCreate((dir / name).c_str(), GetParam(), &f), UNSEEN_OK);
        ASSERT_TRUE(Write(f, "again"));
        ASSERT_EQ(UnseenPublish(&f), UNSEEN_OK);
        EXPECT_EQ(ReadText(dir / name), "again");
        EXPECT_FALSE(fs::is_symlink(dir / name));
    }
    EXPECT_EQ(ReadText(dir / "target"), "old");

    // Anything else keeps its name, and nothing is left.
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_directory(dir / "folder");
    const auto before = dir.Names();
    EXPECT_EQ(UnseenCreate((dir / "fifo").c_str(), GetParam(), &f), UNSEEN_ERR_NOT_REGULAR);
    EXPECT_EQ(UnseenCreate((dir / "folder").c_str(), GetParam(), &f), UNSEEN_ERR_NOT_REGULAR);
    EXPECT_EQ(UnseenCreate((dir / "none/x.wav").c_str(), GetParam(), &f), UNSEEN_ERR_FOLDER);
    EXPECT_EQ(UnseenCreate((dir / "").c_str(), GetParam(), &f), UNSEEN_ERR_NAME);
    // The name taken by a FIFO while the file was being written.
    ASSERT_EQ(UnseenCreate((dir / "late").c_str(), GetParam(), &f), UNSEEN_OK);
    ASSERT_EQ(mkfifo((dir / "late").c_str(), 0600), 0);
    EXPECT_EQ(UnseenPublish(&f), UNSEEN_ERR_NOT_REGULAR);
    EXPECT_TRUE(fs::is_fifo(dir / "late"));
    fs::remove(dir / "late");
    EXPECT_EQ(dir.Names(), before);
}

TEST_P(Unseen, DiscardedOrInterruptedLeavesNothing) {
    TempDir dir;
    WriteBytes(dir / "out.wav", {'o', 'l', 'd'});
    UnseenFile f;
    ASSERT_EQ(UnseenCreate((dir / "out.wav").c_str(), GetParam(), &f), UNSEEN_OK);
    ASSERT_TRUE(Write(f, "new"));
    UnseenDiscard(&f);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"out.wav"});
    EXPECT_EQ(ReadText(dir / "out.wav"), "old");

    // A signal in the middle of the write ends the program as it would have,
    // but first removes the file; an ignored one stays ignored.
    for (int sig : {SIGTERM, SIGINT, SIGHUP, 0}) {
        SCOPED_TRACE(sig);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (sig == 0)
                signal(SIGHUP, SIG_IGN);
            if (UnseenCreate((dir / "new.wav").c_str(), GetParam(), &f) != UNSEEN_OK ||
                !Write(f, "partial"))
                _exit(2);
            raise(sig == 0 ? SIGHUP : sig);
            _exit(UnseenPublish(&f) == UNSEEN_OK ? 0 : 3);
        }
        int status;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        if (sig == 0) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
            EXPECT_EQ(dir.Names(), (std::vector<std::string>{"new.wav", "out.wav"}));
            fs::remove(dir / "new.wav");
        } else {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
            EXPECT_EQ(dir.Names(), std::vector<std::string>{"out.wav"});
        }
    }
    // The signals are the program's again once no temporary name is left.
    struct sigaction sa;
    ASSERT_EQ(sigaction(SIGTERM, nullptr, &sa), 0);
    EXPECT_EQ(sa.sa_handler, SIG_DFL);
}

INSTANTIATE_TEST_SUITE_P(Unnamed, Unseen, ::testing::Values(0u));
INSTANTIATE_TEST_SUITE_P(Named, Unseen, ::testing::Values(UNSEEN_NAMED));

} // namespace
