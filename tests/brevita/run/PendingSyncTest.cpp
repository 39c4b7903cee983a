// The requests a run could not make outlive it: the pending file keeps each
// id once, in order, and goes away when none is left.
#include "PendingSync.h"
#include "AppEnv.h"
#include "TestSupport.h"

#include <sys/stat.h>

using namespace brevita;
using namespace brevita_test;
namespace fs = std::filesystem;

TEST(PendingSync, IdsAreKeptOnceInOrderUntilCleared) {
    TempDir tmp;
    SetProgramLocation(tmp.path(), "Brevita");
    const std::string a = "11111111-1111-1111-1111-111111111111";
    const std::string b = "22222222-2222-2222-2222-222222222222";
    EXPECT_TRUE(PendingSyncs().empty());
    NotePendingSync(a);
    NotePendingSync(b);
    NotePendingSync(a);
    NotePendingSync("");
    EXPECT_EQ(PendingSyncs(), (std::vector<std::string>{a, b}));
    EXPECT_EQ(ReadFile(PendingSyncPath()), a + "\n" + b + "\n");
    ClearPendingSync(a);
    ClearPendingSync("33333333-3333-3333-3333-333333333333");
    EXPECT_EQ(PendingSyncs(), (std::vector<std::string>{b}));
    ClearPendingSync(b);
    EXPECT_FALSE(fs::exists(PendingSyncPath()));
    // No scratch file stays behind either.
    EXPECT_TRUE(fs::is_empty(tmp.path()));
    ResetProgramLocation();
}

// A link or pipe planted at either name is neither read, written through nor
// replaced, and the refusal names it.
TEST(PendingSync, PlantedLinksAndPipesAreRefused) {
    TempDir tmp;
    SetProgramLocation(tmp / "prog", "Brevita");
    fs::create_directories(tmp / "prog");
    const std::string planted = "99999999-9999-9999-9999-999999999999\n";
    WriteFile(tmp / "outside", planted);
    const fs::path next = PendingSyncPath().string() + ".new";
    auto refusal = [](const std::function<void()> &f) {
        std::string why;
        EXPECT_EQ(Raised(f, &why), 75);
        return why;
    };

    fs::create_symlink(tmp / "outside", PendingSyncPath());
    const std::string linked = "Link not followed: " + PendingSyncPath().string();
    EXPECT_EQ(refusal([] { PendingSyncs(); }), linked);
    EXPECT_EQ(refusal([] { NotePendingSync("11111111-1111-1111-1111-111111111111"); }), linked);
    EXPECT_EQ(refusal([] { ClearPendingSync("99999999-9999-9999-9999-999999999999"); }), linked);
    EXPECT_TRUE(fs::is_symlink(PendingSyncPath()));
    fs::remove(PendingSyncPath());

    // A link at a name a save might have used is never written through.
    for (const char *target : {"absent", "outside"}) {
        fs::create_symlink(tmp / target, next);
        NotePendingSync("11111111-1111-1111-1111-111111111111");
        EXPECT_EQ(PendingSyncs(), std::vector<std::string>{"11111111-1111-1111-1111-111111111111"});
        ClearPendingSync("11111111-1111-1111-1111-111111111111");
        EXPECT_TRUE(fs::is_symlink(next));
        fs::remove(next);
    }
    EXPECT_FALSE(fs::exists(tmp / "absent"));
    EXPECT_EQ(ReadFile(tmp / "outside"), planted);
    EXPECT_FALSE(fs::exists(PendingSyncPath()));

    // A pipe would block a reader for good.
    ASSERT_EQ(::mkfifo(PendingSyncPath().c_str(), 0600), 0);
    EXPECT_EQ(refusal([] { PendingSyncs(); }), "Not a plain file: " + PendingSyncPath().string());
    ResetProgramLocation();
}
