// The requests a run could not make outlive it: the pending file keeps each
// id once, in order, and goes away when none is left.
#include "brevita/modPendingSync.h"
#include "../brevita/TestSupport.h"

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
