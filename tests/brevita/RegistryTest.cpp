#include "brevita/CorvoxVersion.h"
#include "brevita/RegistryAPI.h"
#include "TestSupport.h"

using namespace brevita;
using namespace brevita_test;

namespace {

const std::string kSettings = "Software\\Velmora\\Brevita";
const std::string kUnableKey = "Unable to create the registry key";
const HKEY HKLM = HKEY_LOCAL_MACHINE;
using Bytes = std::vector<uint8_t>;

RegValue Text(const std::string &s) {
    return RegValue(s);
}

struct RegistryTest : ::testing::Test {
    TempDir dir;
    std::filesystem::path store = dir / "registry.reg";
    ScopedEnv env{"BREVITA_REGISTRY", store.string()};

    static void Set(const std::string &name, int32_t type, const RegValue &v,
                    const std::string &key = kSettings) {
        SetRegistryValue(HKLM, key, name, type, v);
    }
    static RegValue Get(const std::string &name, int32_t type, const RegValue &def = {},
                        const std::string &key = kSettings) {
        return GetRegistryValue(HKLM, key, name, type, def);
    }
    // The error number f raises, after checking its description.
    static int32_t RaisedWith(const std::function<void()> &f, const std::string &description) {
        std::string why;
        int32_t n = Raised(f, &why);
        EXPECT_EQ(why, description);
        return n;
    }
};

} // namespace

TEST_F(RegistryTest, KeysAndValuesRoundTrip) {
    EXPECT_FALSE(KeyExists(HKLM, kSettings));
    EXPECT_FALSE(CreateRegistryKey(HKLM, kSettings));
    EXPECT_TRUE(KeyExists(HKLM, kSettings));
    // Parents exist, names ignore case, a trailing backslash is allowed.
    EXPECT_TRUE(KeyExists(HKLM, "SOFTWARE\\velmora\\"));
    EXPECT_FALSE(KeyExists(HKLM, "Software\\Velmora\\Ostrel"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettings));
    EXPECT_TRUE(CreateRegistryKey(HKLM, "software\\VELMORA\\brevita"));

    const std::string tricky = "C:\\Bak\\ \"quoted\"\r\nsecond line";
    Set("BackupDestination", REG_SZ, tricky);
    Set("SilenceLevel", REG_SZ, Text("-45"));
    Set("TrimGreetings", REG_DWORD, int32_t{-5});
    Set("FromText", REG_DWORD, Text("12"));
    Set("Blob", REG_BINARY, Bytes{0, 1, 254, 255});
    Set("SilenceLevel", REG_SZ, Text("-43"));

    EXPECT_EQ(RegValueText(Get("backupdestination", REG_SZ, Text("x"))), tricky);
    EXPECT_EQ(RegValueText(Get("SilenceLevel", REG_SZ)), "-43");
    EXPECT_EQ(Get("TrimGreetings", REG_DWORD), RegValue(int32_t{-5}));
    EXPECT_EQ(Get("FromText", REG_DWORD), RegValue(int32_t{12}));
    EXPECT_EQ(Get("Blob", REG_BINARY), RegValue(Bytes{0, 1, 254, 255}));
    // A missing value gives the default back as it was given.
    EXPECT_EQ(Get("Missing", REG_DWORD, Text("200")), Text("200"));
    EXPECT_EQ(Get("Missing", REG_SZ, int32_t{1}), RegValue(int32_t{1}));

    std::string text = ReadFile(store);
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u);
    for (const char *line : {"[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Brevita]",
                             "\"TrimGreetings\"=dword:fffffffb", "\"SilenceLevel\"=\"-43\""})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    // Only the store itself is left in its folder: the sibling was renamed.
    auto files = std::filesystem::directory_iterator(dir.path());
    EXPECT_EQ(std::distance(files, {}), 1);
}

TEST_F(RegistryTest, ReadLimitsTypeCodesAndRefusedWrites) {
    CreateRegistryKey(HKLM, kSettings);
    Set("s1023", REG_SZ, std::string(1023, 'a'));
    Set("s1024", REG_SZ, std::string(1024, 'b'));
    Set("b4096", REG_BINARY, Bytes(4096, 7));
    Set("b4097", REG_BINARY, Bytes(4097, 7));
    Set("text", REG_SZ, Text("123456"));

    EXPECT_EQ(RegValueText(Get("s1023", REG_SZ)), std::string(1023, 'a'));
    EXPECT_EQ(Get("s1024", REG_SZ, Text("d")), Text("d"));
    EXPECT_EQ(std::get<Bytes>(Get("b4096", REG_BINARY)).size(), 4096u);
    EXPECT_EQ(Get("b4097", REG_BINARY), RegValue{});
    // Seven bytes do not fit the four of a number.
    EXPECT_EQ(Get("text", REG_DWORD, int32_t{9}), RegValue(int32_t{9}));
    EXPECT_EQ(RaisedWith([] { Get("text", 2); }, "Unsupported value type"), 1001);
    EXPECT_EQ(Get("text", 2, Text("d"), "Software\\Nowhere"), Text("d"));

    // Writes that cannot happen change nothing and say nothing.
    std::string before = ReadFile(store);
    Set("text", 2, Text("x"));
    Set("v", REG_SZ, Text("x"), "Software\\Nowhere");
    Set("text", REG_DWORD, Text("12abc"));
    Set("text", REG_DWORD, Text("99999999999"));
    Set("bad\nname", REG_SZ, Text("x"));
    EXPECT_EQ(ReadFile(store), before);
    EXPECT_FALSE(KeyExists(HKLM, "Software\\Nowhere"));
}

TEST_F(RegistryTest, HandWrittenStoreIsReadAndKept) {
    const std::string key = "SOFTWARE\\Velmora\\Ostrel\\1.0";
    WriteFile(store, "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n; written by hand\n\n"
                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Ostrel\\1.0]\n"
                     "\"Root Path\"=\"D:\\\\Srv\\\\\"\n\"Expand\"=hex(2):25,00,41,\\\n  00,00\n"
                     "@=dword:7\n");
    EXPECT_EQ(RegValueText(Get("Root Path", REG_SZ, {}, key)), "D:\\Srv\\");
    EXPECT_EQ(Get("", REG_DWORD, {}, key), RegValue(int32_t{7}));
    EXPECT_EQ(Get("Expand", REG_BINARY, {}, key), RegValue(Bytes{0x25, 0, 0x41, 0, 0}));

    // A write elsewhere keeps every value of other kinds as it was.
    EXPECT_FALSE(CreateRegistryKey(HKLM, kSettings));
    Set("MaxVoiceNames", REG_SZ, Text("200"));
    std::string text = ReadFile(store);
    for (const char *line : {"\"Expand\"=hex(2):25,00,41,00,00", "\"Root Path\"=\"D:\\\\Srv\\\\\"",
                             "@=dword:00000007"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST_F(RegistryTest, UnreadableOrUnwritableStoreIsNeverOverwritten) {
    const std::string garbage = "Windows Registry Editor Version 5.00\r\n\r\n"
                                "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Brevita]\r\n"
                                "\"SilenceLevel\"=\"-45\"\r\n"
                                "this line is not a value\r\n";
    WriteFile(store, garbage);
    EXPECT_FALSE(KeyExists(HKLM, kSettings));
    EXPECT_EQ(Get("SilenceLevel", REG_SZ, Text("d")), Text("d"));
    EXPECT_EQ(Get("SilenceLevel", 2), RegValue{});
    Set("SilenceLevel", REG_SZ, Text("-1"));
    EXPECT_EQ(RaisedWith([] { CreateRegistryKey(HKLM, "Software\\Other"); }, kUnableKey), 1001);
    EXPECT_EQ(ReadFile(store), garbage);

    // Other files that are no store: a foreign header, a deleting section.
    for (const char *text : {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n",
                             "Windows Registry Editor Version 5.00\n[-HKEY_LOCAL_MACHINE\\A]\n",
                             "Windows Registry Editor Version 5.00\n[HKEY_NOWHERE\\A]\n"}) {
        WriteFile(store, text);
        EXPECT_FALSE(KeyExists(HKLM, "A")) << text;
        Set("v", REG_SZ, Text("x"), "A");
        EXPECT_EQ(ReadFile(store), text);
    }
    // A store that cannot be written, a key name that cannot be.
    ScopedEnv blocked("BREVITA_REGISTRY", (dir / "registry.reg" / "registry.reg").string());
    EXPECT_EQ(RaisedWith([] { CreateRegistryKey(HKLM, kSettings); }, kUnableKey), 1001);
    EXPECT_EQ(RaisedWith([] { CreateRegistryKey(HKLM, "bad\\\\path"); }, kUnableKey), 1001);
}

TEST_F(RegistryTest, VersionIsDecodedAndCompared) {
    const std::string key = "Software\\Velmora\\";
    const struct {
        std::optional<int32_t> version, build;
        const char *text;
        bool atLeast402;
    } cases[] = {
        {0x00040000, 0x00020000, "4.0(2.0)", true},
        {0x00040000, 0x00010063, "4.0(1.99)", false},
        // A newer major version counts whatever its build.
        {0x00050000, 0, "5.0(0.0)", true},
        {0x00030001, 0x00990000, "3.1(99.0)", false},
        {0x00120003, 0x00020000, "12.3(2.0)", true},
        {std::nullopt, std::nullopt, "0.0(0.0)", false},
        // The low build half is binary and 16-bit signed.
        {0x00040000, 0x00018000, "4.0(1.-32768)", false},
        // Hexadecimal letters are no decimal digits.
        {0x000A0003, 0x00020000, "0.3(2.0)", false},
        {static_cast<int32_t>(0x99990000), 0x00020000, "9999.0(2.0)", true},
    };
    RecordingPrompt prompt;
    ScopedUserPrompt installed(prompt);
    for (const auto &c : cases) {
        std::filesystem::remove(store);
        CreateRegistryKey(HKLM, key);
        if (c.version)
            Set("Version Number", REG_DWORD, *c.version, key);
        if (c.build)
            Set("Build Number", REG_DWORD, *c.build, key);
        LocalCorvoxVersion = getVersion();
        EXPECT_EQ(LocalCorvoxVersion.Text, c.text);
        EXPECT_EQ(bIsVersionGreaterThanOrEqualTo(4, 0, 2, 0), c.atLeast402) << c.text;
    }
    EXPECT_TRUE(prompt.questions.empty());

    // The first field that differs decides.
    LocalCorvoxVersion = {4, 1, 0, 0, "4.1(0.0)"};
    EXPECT_TRUE(bIsVersionGreaterThanOrEqualTo(4, 0, 9, 9));
    EXPECT_FALSE(bIsVersionGreaterThanOrEqualTo(4, 2, 0, 0));
    EXPECT_TRUE(bIsVersionGreaterThanOrEqualTo(4, 1, 0, 0));
    EXPECT_FALSE(bIsVersionGreaterThanOrEqualTo(4, 1, 0, 1));
    LocalCorvoxVersion = {};
}
