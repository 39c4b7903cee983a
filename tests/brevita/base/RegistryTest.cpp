#include "AppError.h"
#include "CorvoxVersion.h"
#include "RegistryAPI.h"
#include "Settings.h"
#include "TestSupport.h"

#include <QString>

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

const std::string kHeaderLines = "Windows Registry Editor Version 5.00\r\n\r\n";

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

    // A write elsewhere keeps every line as it was written.
    const std::string before = ReadFile(store);
    EXPECT_FALSE(CreateRegistryKey(HKLM, kSettings));
    Set("MaxVoiceNames", REG_SZ, Text("200"));
    EXPECT_EQ(
        ReadFile(store),
        before +
            "\n[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Brevita]\n\"MaxVoiceNames\"=\"200\"\n\n");
}

namespace {

// The text in the encoding and with the line ends given.
std::string Encoded(const std::string &text, bool utf16, const std::string &lineEnd) {
    QString t = QString::fromUtf8(text);
    t.replace(QStringLiteral("\n"), QString::fromStdString(lineEnd));
    if (!utf16)
        return t.toStdString();
    std::string out = "\xFF\xFE";
    for (char16_t c : t.toStdU16String()) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

} // namespace

TEST_F(RegistryTest, ExportsAreReadWithTheirDeletionsAndWrittenBackAsTheyCame) {
    const std::string ostrel = "SOFTWARE\\Velmora\\Ostrel\\1.0";
    const auto exported = [](const std::string &header, const std::string &settings) {
        return header +
               "\n\n; exported for the server\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Ostrel\\1.0]\n"
               "\"Root Path\"=\"D:\\\\Grüße\\\\\"\n\n"
               "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Brevita]\n" +
               settings +
               "\"Gone\"=dword:00000001\n\"Gone\"=-\n@=\"default\"\n@=-\n\n"
               "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Stale\\Sub]\n\"v\"=\"x\"\n\n"
               "[-HKEY_LOCAL_MACHINE\\Software\\Velmora\\Stale]\n\n";
    };
    const struct {
        const char *header;
        bool utf16;
        const char *lineEnd;
    } forms[] = {{"Windows Registry Editor Version 5.00", true, "\r\n"},
                 {"REGEDIT4", false, "\r\n"},
                 {"\xEF\xBB\xBFWindows Registry Editor Version 5.00", false, "\n"}};
    for (const auto &f : forms) {
        SCOPED_TRACE(f.header);
        WriteFile(store,
                  Encoded(exported(f.header, "\"SilenceLevel\"=\"-45\"\n"), f.utf16, f.lineEnd));
        EXPECT_EQ(RegValueText(Get("Root Path", REG_SZ, {}, ostrel)), "D:\\Grüße\\");
        EXPECT_EQ(Get("SilenceLevel", REG_SZ), Text("-45"));
        EXPECT_EQ(Get("Gone", REG_DWORD, Text("d")), Text("d"));
        EXPECT_EQ(Get("", REG_SZ, Text("d")), Text("d"));
        EXPECT_FALSE(KeyExists(HKLM, "Software\\Velmora\\Stale\\Sub"));
        EXPECT_FALSE(KeyExists(HKLM, "Software\\Velmora\\Stale"));

        Set("SilenceLevel", REG_SZ, Text("-40"));
        Set("MaxVoiceNames", REG_SZ, Text("200"));
        EXPECT_FALSE(CreateRegistryKey(HKLM, "Software\\Velmora\\Stale"));
        const std::string expected = exported(f.header, "\"SilenceLevel\"=\"-40\"\n") +
                                     "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Stale]\n\n";
        std::string withNew = expected;
        withNew.insert(withNew.find("@=-\n") + 4, "\"MaxVoiceNames\"=\"200\"\n");
        EXPECT_EQ(ReadFile(store), Encoded(withNew, f.utf16, f.lineEnd));
        EXPECT_EQ(Get("MaxVoiceNames", REG_SZ), Text("200"));
        EXPECT_TRUE(KeyExists(HKLM, "Software\\Velmora\\Stale"));
    }
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

    // Other files that are no store: a foreign header, a root that is none,
    // a hex value of no type.
    const struct {
        const char *text;
        size_t line;
        const char *reason;
    } others[] = {
        {"REGEDIT5\n[HKEY_LOCAL_MACHINE\\A]\n", 0, kNoRegistryFile},
        {"Windows Registry Editor Version 5.00\n[HKEY_NOWHERE\\A]\n", 2,
         "the key name is not valid"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex(x):00\n", 3, "the value is not valid"},
    };
    for (const auto &o : others) {
        WriteFile(store, o.text);
        EXPECT_FALSE(KeyExists(HKLM, "A")) << o.text;
        const auto fault = RegistryStoreFault();
        ASSERT_TRUE(fault) << o.text;
        EXPECT_EQ(fault->line, o.line) << o.text;
        EXPECT_EQ(fault->reason, o.reason) << o.text;
        Set("v", REG_SZ, Text("x"), "A");
        EXPECT_EQ(ReadFile(store), o.text);
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

TEST_F(RegistryTest, KeyWithThousandsOfValuesReadsAndWritesEach) {
    constexpr int kValues = 4000, kSubKeys = 300;
    std::vector<std::string> lines;
    for (int i = 0; i < kValues; ++i) {
        char line[64];
        if (i % 3 == 0)
            std::snprintf(line, sizeof line, "\"Value%04d\"=\"text %d\"", i, i);
        else if (i % 3 == 1)
            std::snprintf(line, sizeof line, "\"Value%04d\"=dword:%08x", i, i * 7919);
        else
            std::snprintf(line, sizeof line, "\"Value%04d\"=hex:%02x,00,ff", i, i & 0xFF);
        lines.push_back(line);
    }
    std::string subKeys;
    for (int i = 0; i < kSubKeys; ++i)
        subKeys += Section(kSettings + "\\Sub" + std::to_string(i), {});
    // A name given again, in other letters, takes the last value; a write
    // changes the line where it was last given.
    std::vector<std::string> given = lines;
    given.push_back("\"VALUE0100\"=\"again\"");
    WriteFile(store, kHeaderLines + Section(kSettings, given) + subKeys);

    const uint64_t before = RegistryStoreParses();
    EXPECT_EQ(Get("value0000", REG_SZ), Text("text 0"));
    EXPECT_EQ(Get("Value3997", REG_DWORD), RegValue(int32_t{3997 * 7919}));
    EXPECT_EQ(Get("Value3998", REG_BINARY), RegValue(Bytes{3998 & 0xFF, 0, 0xFF}));
    EXPECT_EQ(Get("Value0100", REG_SZ), Text("again"));
    EXPECT_EQ(Get("Value4000", REG_SZ, Text("d")), Text("d"));
    EXPECT_TRUE(KeyExists(HKLM, kSettings + "\\SUB299"));
    EXPECT_FALSE(KeyExists(HKLM, kSettings + "\\Sub300"));

    Set("value2000", REG_SZ, Text("changed"));
    Set("Added", REG_DWORD, int32_t{42});
    EXPECT_EQ(Get("Value2000", REG_SZ), Text("changed"));
    EXPECT_EQ(Get("added", REG_DWORD), RegValue(int32_t{42}));
    EXPECT_EQ(Get("Value3999", REG_SZ), Text("text 3999"));
    // The reads of an unchanged file, and of what was written, parse nothing
    // more.
    EXPECT_EQ(RegistryStoreParses() - before, 1u);

    given[2000] = "\"Value2000\"=\"changed\"";
    given.push_back("\"Added\"=dword:0000002a");
    EXPECT_EQ(ReadFile(store), kHeaderLines + Section(kSettings, given) + subKeys);
}

TEST_F(RegistryTest, TrimModeSettingsAreStoredBesideTheOthersAndDefaultOff) {
    const int reportsBefore = ErrorReportCount();
    ErrorHandler onError(ErrorReport::FormMessage, "LoadSettings", "frmMain");
    // A store written before these settings existed keeps trimming by level.
    WriteFile(store, kHeaderLines + Section(kSettings, {"\"SilenceLevel\"=\"-40\"",
                                                        "\"TrimGreetings\"=dword:00000001"}));
    BrevitaSettings loaded;
    loaded.followLineNoise = true; // a missing value keeps what the control holds
    LoadSettings(loaded, onError);
    EXPECT_TRUE(loaded.followLineNoise);
    EXPECT_FALSE(loaded.cutClosingKey);
    EXPECT_EQ(loaded.silenceLevel, "-40");
    EXPECT_FALSE(BrevitaSettings{}.followLineNoise || BrevitaSettings{}.cutClosingKey);

    // Saved as check boxes are, after the level; read back each on its own.
    SaveSettings(BrevitaSettings{}, onError);
    const std::string text = ReadFile(store);
    const size_t level = text.find("\"SilenceLevel\"=\"-45\"\r\n");
    const size_t noise = text.find("\"FollowLineNoise\"=dword:00000000\r\n");
    const size_t key = text.find("\"CutClosingKey\"=dword:00000000\r\n");
    ASSERT_NE(noise, std::string::npos) << text;
    ASSERT_NE(key, std::string::npos) << text;
    EXPECT_LT(level, noise);
    EXPECT_LT(noise, key);
    for (const auto &[noiseOn, keyOn] : {std::pair{true, false}, {false, true}, {true, true}}) {
        BrevitaSettings saved;
        saved.followLineNoise = noiseOn;
        saved.cutClosingKey = keyOn;
        SaveSettings(saved, onError);
        EXPECT_EQ(Get("FollowLineNoise", REG_DWORD), RegValue(int32_t{noiseOn ? 1 : 0}));
        EXPECT_EQ(Get("CutClosingKey", REG_DWORD), RegValue(int32_t{keyOn ? 1 : 0}));
        BrevitaSettings back;
        LoadSettings(back, onError);
        EXPECT_EQ(back.followLineNoise, noiseOn);
        EXPECT_EQ(back.cutClosingKey, keyOn);
    }
    EXPECT_EQ(ErrorReportCount(), reportsBefore);
}
