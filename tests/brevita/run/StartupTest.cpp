// The start-up's reading of the registry file: what it shows when the file
// cannot be read, and that it parses the file once per start.
#include "AppEnv.h"
#include "CorvoxVersion.h"
#include "RegistryAPI.h"
#include "Startup.h"
#include "TestSupport.h"

using namespace brevita;
using namespace brevita_test;

namespace {

const std::string kSettings = "Software\\Velmora\\Brevita";
const HKEY HKLM = HKEY_LOCAL_MACHINE;

struct StartupTest : ::testing::Test {
    TempDir dir;
    std::filesystem::path store = dir / "registry.reg";
    ScopedEnv env{"BREVITA_REGISTRY", store.string()};
};

} // namespace

TEST_F(StartupTest, AStoreThatCannotBeReadIsNamedWithItsLine) {
    const std::string path = store.string();
    const std::string header = "Windows Registry Editor Version 5.00\r\n";
    const std::string key = "[HKEY_LOCAL_MACHINE\\Software\\Velmora]\r\n";
    const std::string none = "The file " + path +
                             " is not a registry file: it does not begin with \"Windows Registry "
                             "Editor Version 5.00\" or \"REGEDIT4\". Name the server's registry "
                             "file in BREVITA_REGISTRY.";
    const auto line = [&](int n, const std::string &why) {
        return "Line " + std::to_string(n) + " of the registry file " + path +
               " cannot be read: " + why +
               ". Brevita reads nothing of the file until the line is "
               "corrected.";
    };
    const struct {
        std::string text, message;
    } cases[] = {
        {std::string("\x7F"
                     "ELF\x02\x01\x01\0\0\0",
                     10),
         none},
        {std::string("\xFF\xFE\x00\xD8", 4), none}, // a lone surrogate
        {key + "\"Version Number\"=dword:00040000\r\n", none},
        {header + "\r\n" + key + "\"Version Number\"=dword:00040000\r\nlost line\r\n",
         line(5, "it is no key, value or comment")},
        {header + "[HKEY_NOWHERE\\A]\r\n", line(2, "the key name is not valid")},
        {header + "\"v\"=\"x\"\r\n", line(2, "a value before the first key")},
        {header + "[-HKEY_LOCAL_MACHINE\\A]\r\n\"v\"=\"x\"\r\n",
         line(3, "a value under a key that is deleted")},
        {header + key + "\"v\"=dword:123456789\r\n", line(3, "the value is not valid")},
        {header + key + "\"b\"=hex:01,\\\r\n  02,\\\r\n",
         line(3, "the value goes on past the end of the file")},
    };
    SetExitHook([] {});
    for (const auto &c : cases) {
        WriteFile(store, c.text);
        RecordingPrompt prompt;
        ScopedUserPrompt installed(prompt);
        BrevitaSettings settings;
        EXPECT_FALSE(StartProgram(settings, "Form_Load"));
        EXPECT_EQ(prompt.Messages(), std::vector<std::string>{c.message});
        // Nothing is written over what cannot be read.
        EXPECT_EQ(Raised([] { CreateRegistryKey(HKLM, "Software\\Other"); }), 1001);
        EXPECT_EQ(ReadFile(store), c.text);
    }
    SetExitHook({});
}
TEST_F(StartupTest, StartUpParsesTheStoreOnceAndSeesOtherWriters) {
    std::filesystem::create_directory(dir / "Stream Files");
    const std::string server = "Windows Registry Editor Version 5.00\r\n\r\n" +
                               Section("Software\\Velmora", {"\"Version Number\"=dword:00040000",
                                                             "\"Build Number\"=dword:00020000"}) +
                               Section("SOFTWARE\\Velmora\\Ostrel\\1.0",
                                       {"\"Root Path\"=\"" + dir.path().string() + "/\""});
    WriteFile(store, server);
    RecordingPrompt prompt;
    ScopedUserPrompt installed(prompt);
    const auto start = [](const char *level) {
        const uint64_t before = RegistryStoreParses();
        BrevitaSettings settings;
        EXPECT_TRUE(StartProgram(settings, "Form_Load"));
        EXPECT_EQ(RegistryStoreParses() - before, 1u) << level;
        EXPECT_EQ(settings.silenceLevel, level);
        EXPECT_EQ(LocalCorvoxVersion.Text, "4.0(2.0)");
    };
    // The first start makes the settings key; reading its own write parses
    // nothing more.
    start("-45");
    EXPECT_TRUE(KeyExists(HKLM, kSettings));

    // Another program replaces the file: the next start sees it.
    const std::string settings = Section(kSettings, {"\"SilenceLevel\"=\"-40\""});
    WriteFile(dir / "other.reg", server + settings);
    std::filesystem::rename(dir / "other.reg", store);
    start("-40");
    EXPECT_TRUE(prompt.questions.empty());
    LocalCorvoxVersion = {};

    // It rewrites the file in place to the same size and puts its time stamp
    // back: still seen.
    const auto stamp = std::filesystem::last_write_time(store);
    WriteFile(store, server + Section(kSettings, {"\"SilenceLevel\"=\"-41\""}));
    std::filesystem::last_write_time(store, stamp);
    EXPECT_EQ(GetRegistryValue(HKLM, kSettings, "SilenceLevel", REG_SZ, {}),
              RegValue(std::string("-41")));
}
