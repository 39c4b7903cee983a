// The file operations after the faults the suite found: a replace that
// finds its target rewritten meanwhile, what killed copies leave behind, and
// backups of trees with read-only folders and named pipes in them.
#include "SafeFiles.h"
#include "TestSupport.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace brevita;
using namespace brevita_test;
namespace fs = std::filesystem;

TEST(ReplaceIfUnchanged, AFileRewrittenSinceItWasNotedIsLeftAlone) {
    TempDir tmp;
    const fs::path live = tmp / "vn.wav", result = tmp / "result.wav";
    WriteFile(result, "trimmed");
    // Each way the recording can change between the trim and the replace.
    const std::vector<std::pair<std::string, std::function<void()>>> changes = {
        {"replaced by another file",
         [&] {
             WriteFile(tmp / "new.wav", "new recording");
             fs::rename(tmp / "new.wav", live);
         }},
        {"truncated in place", [&] { fs::resize_file(live, 0); }},
        {"rewritten in place, longer", [&] { WriteFile(live, "original recording, re-recorded"); }},
    };
    for (const auto &[what, change] : changes) {
        SCOPED_TRACE(what);
        WriteFile(live, "original recording");
        const auto noted = IdentityOf(live);
        ASSERT_TRUE(noted);
        ::usleep(20000); // past the file system's clock tick
        change();
        const std::string now = ReadFile(live);
        EXPECT_EQ(Raised([&] { ReplaceFileAtomically(result, live, &*noted); }), ErrPathFileAccess);
        EXPECT_EQ(ReadFile(live), now);
        EXPECT_EQ(Names(tmp.path()), (std::set<std::string>{"vn.wav", "result.wav"}));
    }
    // Unchanged: replaced.
    WriteFile(live, "original recording");
    const auto noted = IdentityOf(live);
    ReplaceFileAtomically(result, live, &*noted);
    EXPECT_EQ(ReadFile(live), "trimmed");
}

TEST(RemoveLeftovers, WhatKilledCopiesLeftGoesAndNothingElse) {
    TempDir tmp;
    const fs::path live = tmp / "Stream Files";
    fs::create_directories(live / "sub");
    const std::vector<std::string> leftovers = {
        ".vn0001.wav.0123456789abcdef.brevita-tmp",
        "sub/.gr 0002.wav.fedcba9876543210.brevita-tmp",
        ".Stream Files.00112233445566aa.partial-Ab12Cd",
        ".Stream Files.00112233445566bb.old",
    };
    const std::vector<std::string> kept = {
        "vn0001.wav",
        "sub/gr 0002.wav",
        ".vn0001.wav.brevita-tmp",                   // no tag
        "vn0001.wav.0123456789abcdef.brevita-tmp",   // not hidden
        ".vn0001.wav.0123456789abcdeg.brevita-tmp",  // not hexadecimal
        ".vn0001.wav.0123456789abcdef.brevita-tmp2", // another kind
        ".Stream Files.00112233445566aa.partial-Ab12C",
        ".tempWAVFile.wav.123-1.tmp",
    };
    for (const auto &name : kept)
        WriteFile(live / name, "keep");
    for (const auto &name : leftovers) {
        if (name.find(".partial-") == std::string::npos && !name.ends_with(".old")) {
            WriteFile(live / name, "half");
            continue;
        }
        // A copied tree, with a read-only folder in it.
        fs::create_directories(live / name / "sub");
        WriteFile(live / name / "sub" / "vn.wav", "copy");
        fs::permissions(live / name / "sub", fs::perms::owner_read | fs::perms::owner_exec);
    }
    RemoveLeftovers(live, true);
    std::set<std::string> want(kept.begin(), kept.end());
    want.insert("sub");
    EXPECT_EQ(Names(live), want);

    // Without recursion only the folder itself is swept.
    WriteFile(live / leftovers[1], "half");
    WriteFile(live / leftovers[0], "half");
    RemoveLeftovers(live, false);
    EXPECT_FALSE(fs::exists(live / leftovers[0]));
    EXPECT_TRUE(fs::exists(live / leftovers[1]));
}

TEST(CopyFolderAtomically, ReadOnlyFoldersNamedPipesAndLinksAreCopiedAsTheyAre) {
    TempDir tmp;
    const fs::path live = tmp / "Stream Files", backup = tmp / "backup" / "Stream Files";
    fs::create_directories(live / "locked");
    WriteFile(live / "vn.wav", "recording");
    WriteFile(live / "locked" / "gr.wav", "greeting");
    ASSERT_EQ(::mkfifo((live / "pipe").c_str(), 0640), 0);
    fs::create_symlink("vn.wav", live / "link.wav");
    // Enough files for every copying thread to take some.
    for (int i = 0; i < 40; ++i)
        WriteFile(live / "locked" / ("gr" + std::to_string(i) + ".wav"), std::string(i, 'g'));
    fs::permissions(live / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    CopyFolderAtomically(live, backup, false);
    EXPECT_EQ(Names(backup), Names(live));
    EXPECT_EQ(Names(backup / "locked"), Names(live / "locked"));
    EXPECT_EQ(ReadFile(backup / "locked" / "gr.wav"), "greeting");
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(ReadFile(backup / "locked" / ("gr" + std::to_string(i) + ".wav")),
                  std::string(i, 'g'));
    EXPECT_TRUE(fs::is_fifo(backup / "pipe"));
    EXPECT_EQ(fs::read_symlink(backup / "link.wav"), "vn.wav");
    EXPECT_EQ(fs::status(backup / "locked").permissions(),
              fs::status(live / "locked").permissions());
    // Replacing that backup removes the old one, read-only folder and all.
    WriteFile(live / "new.wav", "new");
    CopyFolderAtomically(live, backup, true);
    EXPECT_EQ(Names(backup), Names(live));
    EXPECT_EQ(Names(tmp / "backup").size(), Names(live).size() + 1) << "nothing beside it";
    fs::permissions(live / "locked", fs::perms::owner_all);
    fs::permissions(backup / "locked", fs::perms::owner_all);
}

TEST(CopyFolderAtomically, AFullDiskSaysDiskFullAndLeavesNothing) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to mount a small tmpfs";
    TempDir tmp;
    const fs::path live = tmp / "Stream Files", small = tmp / "small";
    fs::create_directories(live);
    fs::create_directories(small);
    for (int i = 0; i < 8; ++i)
        WriteFile(live / ("vn" + std::to_string(i) + ".wav"), std::string(64 * 1024, 'x'));
    ASSERT_EQ(::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=256k"), 0);
    std::string why;
    EXPECT_EQ(Raised([&] { CopyFolderAtomically(live, small / "Stream Files", false); }, &why),
              ErrDiskFull)
        << why;
    EXPECT_TRUE(fs::is_empty(small));
    ::umount(small.c_str());
}
