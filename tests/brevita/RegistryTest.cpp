#include "brevita/AppError.h"
#include "brevita/CorvoxVersion.h"
#include "brevita/RegistryAPI.h"
#include "brevita/UserPrompt.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cctype>

using namespace brevita;
using brevita_test::ReadFile;
using brevita_test::ScopedEnv;
using brevita_test::TempDir;
using brevita_test::WriteFile;

namespace {

const std::string kSettings = "Software\\Velmora\\Brevita";

class RegistryTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::filesystem::path store = dir / "registry.reg";
    ScopedEnv env{"BREVITA_REGISTRY", store.string()};
};

int32_t ExpectRaised(const std::function<void()> &f, const std::string &description) {
    try {
        f();
    } catch (const AppError &e) {
        EXPECT_EQ(e.Description(), description);
        return e.Number();
    }
    ADD_FAILURE() << "no error raised";
    return 0;
}

} // namespace

TEST_F(RegistryTest, KeysAndValuesRoundTrip) {
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSettings));
    EXPECT_FALSE(CreateRegistryKey(HKEY_LOCAL_MACHINE, kSettings));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kSettings));
    // Parents exist, names ignore case, a trailing backslash is allowed.
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\velmora\\"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Ostrel"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettings));
    EXPECT_TRUE(CreateRegistryKey(HKEY_LOCAL_MACHINE, "software\\VELMORA\\brevita"));

    const std::string tricky = "C:\\Bak\\ \"quoted\"\r\nsecond line";
    SetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "BackupDestination", REG_SZ, tricky);
    SetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "SilenceLevel", REG_SZ, std::string("-45"));
    SetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "TrimGreetings", REG_DWORD, int32_t{-5});
    SetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "FromText", REG_DWORD, std::string("12"));
    SetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "Blob", REG_BINARY,
                     std::vector<uint8_t>{0, 1, 254, 255});
    SetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "SilenceLevel", REG_SZ, std::string("-43"));

    EXPECT_EQ(RegValueText(GetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "backupdestination",
                                            REG_SZ, std::string("x"))),
              tricky);
    EXPECT_EQ(
        RegValueText(GetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "SilenceLevel", REG_SZ, {})),
        "-43");
    EXPECT_EQ(GetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "TrimGreetings", REG_DWORD, {}),
              RegValue(int32_t{-5}));
    EXPECT_EQ(GetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "FromText", REG_DWORD, {}),
              RegValue(int32_t{12}));
    EXPECT_EQ(GetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "Blob", REG_BINARY, {}),
              RegValue(std::vector<uint8_t>{0, 1, 254, 255}));
    // A missing value gives the default back as it was given.
    EXPECT_EQ(
        GetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "Missing", REG_DWORD, std::string("200")),
        RegValue(std::string("200")));
    EXPECT_EQ(GetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "Missing", REG_SZ, int32_t{1}),
              RegValue(int32_t{1}));

    std::string text = ReadFile(store);
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Brevita]"), std::string::npos);
    EXPECT_NE(text.find("\"TrimGreetings\"=dword:fffffffb"), std::string::npos);
    EXPECT_NE(text.find("\"SilenceLevel\"=\"-43\""), std::string::npos);
    // Only the store itself is left in its folder: the sibling was renamed.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(RegistryTest, ReadLimitsAndTypeCodes) {
    CreateRegistryKey(HKEY_LOCAL_MACHINE, kSettings);
    SetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "s1023", REG_SZ, std::string(1023, 'a'));
    SetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "s1024", REG_SZ, std::string(1024, 'b'));
    SetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "b4096", REG_BINARY,
                     std::vector<uint8_t>(4096, 7));
    SetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "b4097", REG_BINARY,
                     std::vector<uint8_t>(4097, 7));
    SetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "text", REG_SZ, std::string("123456"));

    EXPECT_EQ(RegValueText(GetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "s1023", REG_SZ, {})),
              std::string(1023, 'a'));
    EXPECT_EQ(GetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "s1024", REG_SZ, std::string("d")),
              RegValue(std::string("d")));
    EXPECT_EQ(std::get<std::vector<uint8_t>>(
                  GetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "b4096", REG_BINARY, {}))
                  .size(),
              4096u);
    EXPECT_EQ(GetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "b4097", REG_BINARY, {}), RegValue{});
    // Seven bytes do not fit the four of a number.
    EXPECT_EQ(GetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "text", REG_DWORD, int32_t{9}),
              RegValue(int32_t{9}));

    EXPECT_EQ(ExpectRaised([] { GetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "text", 2, {}); },
                           "Unsupported value type"),
              1001);
    EXPECT_EQ(
        GetRegistryValue(HKEY_LOCAL_MACHINE, "Software\\Nowhere", "text", 2, std::string("d")),
        RegValue(std::string("d")));

    // Writes that cannot happen change nothing and say nothing.
    std::string before = ReadFile(store);
    SetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "text", 2, std::string("x"));
    SetRegistryValue(HKEY_LOCAL_MACHINE, "Software\\Nowhere", "v", REG_SZ, std::string("x"));
    SetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "text", REG_DWORD, std::string("12abc"));
    SetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "text", REG_DWORD, std::string("99999999999"));
    SetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "bad\nname", REG_SZ, std::string("x"));
    EXPECT_EQ(ReadFile(store), before);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Nowhere"));
}

TEST_F(RegistryTest, HandWrittenStoreIsReadAndKept) {
    WriteFile(store, "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"
                     "; written by hand\n\n"
                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Ostrel\\1.0]\n"
                     "\"Root Path\"=\"D:\\\\Srv\\\\\"\n"
                     "\"Expand\"=hex(2):25,00,41,\\\n"
                     "  00,00\n"
                     "@=dword:7\n");
    EXPECT_EQ(RegValueText(GetRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora\\Ostrel\\1.0",
                                            "Root Path", REG_SZ, {})),
              "D:\\Srv\\");
    EXPECT_EQ(
        GetRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora\\Ostrel\\1.0", "", REG_DWORD, {}),
        RegValue(int32_t{7}));
    EXPECT_EQ(GetRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora\\Ostrel\\1.0", "Expand",
                               REG_BINARY, {}),
              RegValue(std::vector<uint8_t>{0x25, 0, 0x41, 0, 0}));

    // A write elsewhere keeps every value of other kinds as it was.
    EXPECT_FALSE(CreateRegistryKey(HKEY_LOCAL_MACHINE, kSettings));
    SetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "MaxVoiceNames", REG_SZ, std::string("200"));
    std::string text = ReadFile(store);
    EXPECT_NE(text.find("\"Expand\"=hex(2):25,00,41,00,00"), std::string::npos);
    EXPECT_NE(text.find("\"Root Path\"=\"D:\\\\Srv\\\\\""), std::string::npos);
    EXPECT_NE(text.find("@=dword:00000007"), std::string::npos);
}

TEST_F(RegistryTest, UnreadableStoreIsNeverOverwritten) {
    const std::string garbage = "Windows Registry Editor Version 5.00\r\n\r\n"
                                "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Brevita]\r\n"
                                "\"SilenceLevel\"=\"-45\"\r\n"
                                "this line is not a value\r\n";
    WriteFile(store, garbage);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSettings));
    EXPECT_EQ(
        GetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "SilenceLevel", REG_SZ, std::string("d")),
        RegValue(std::string("d")));
    EXPECT_EQ(GetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "SilenceLevel", 2, {}), RegValue{});
    SetRegistryValue(HKEY_LOCAL_MACHINE, kSettings, "SilenceLevel", REG_SZ, std::string("-1"));
    EXPECT_EQ(ExpectRaised([] { CreateRegistryKey(HKEY_LOCAL_MACHINE, "Software\\Other"); },
                           "Unable to create the registry key"),
              1001);
    EXPECT_EQ(ReadFile(store), garbage);

    // Other files that are no store: a foreign header, a deleting section.
    for (const char *text : {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n",
                             "Windows Registry Editor Version 5.00\n[-HKEY_LOCAL_MACHINE\\A]\n",
                             "Windows Registry Editor Version 5.00\n[HKEY_NOWHERE\\A]\n"}) {
        WriteFile(store, text);
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "A")) << text;
        SetRegistryValue(HKEY_LOCAL_MACHINE, "A", "v", REG_SZ, std::string("x"));
        EXPECT_EQ(ReadFile(store), text);
    }
}

TEST_F(RegistryTest, KeyThatCannotBeMadeRaises) {
    WriteFile(dir / "file", "");
    ScopedEnv blocked("BREVITA_REGISTRY", (dir / "file" / "registry.reg").string());
    EXPECT_EQ(ExpectRaised([] { CreateRegistryKey(HKEY_LOCAL_MACHINE, kSettings); },
                           "Unable to create the registry key"),
              1001);
    EXPECT_EQ(ExpectRaised([] { CreateRegistryKey(HKEY_LOCAL_MACHINE, "bad\\\\path"); },
                           "Unable to create the registry key"),
              1001);
}

namespace {

struct VersionCase {
    std::optional<int32_t> version, build;
    const char *text;
    bool atLeast402;
};

class VersionTest : public RegistryTest, public ::testing::WithParamInterface<VersionCase> {};

} // namespace

TEST_P(VersionTest, DecodesAndCompares) {
    const VersionCase &c = GetParam();
    CreateRegistryKey(HKEY_LOCAL_MACHINE, "Software\\Velmora\\");
    if (c.version) {
        SetRegistryValue(HKEY_LOCAL_MACHINE, "Software\\Velmora\\", "Version Number", REG_DWORD,
                         *c.version);
    }
    if (c.build) {
        SetRegistryValue(HKEY_LOCAL_MACHINE, "Software\\Velmora\\", "Build Number", REG_DWORD,
                         *c.build);
    }
    RecordingPrompt prompt;
    ScopedUserPrompt installed(prompt);
    LocalCorvoxVersion = getVersion();
    EXPECT_EQ(LocalCorvoxVersion.Text, c.text);
    EXPECT_EQ(bIsVersionGreaterThanOrEqualTo(4, 0, 2, 0), c.atLeast402);
    EXPECT_TRUE(prompt.questions.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Registry, VersionTest,
    ::testing::Values(VersionCase{0x00040000, 0x00020000, "4.0(2.0)", true},
                      VersionCase{0x00040000, 0x00020019, "4.0(2.25)", true},
                      VersionCase{0x00040000, 0x00010063, "4.0(1.99)", false},
                      VersionCase{0x00030001, 0x00990000, "3.1(99.0)", false},
                      VersionCase{0x00050000, 0, "5.0(0.0)", true},
                      VersionCase{0x00120003, 0x00020000, "12.3(2.0)", true},
                      VersionCase{std::nullopt, std::nullopt, "0.0(0.0)", false},
                      // The low build half is binary and 16-bit signed.
                      VersionCase{0x00040000, 0x00018000, "4.0(1.-32768)", false},
                      // Hexadecimal letters are no decimal digits.
                      VersionCase{0x000A0003, 0x00020000, "0.3(2.0)", false},
                      VersionCase{0x0004000B, 0x00020000, "4.0(2.0)", true},
                      VersionCase{static_cast<int32_t>(0x99990000), 0x00020000, "9999.0(2.0)",
                                  true}),
    [](const ::testing::TestParamInfo<VersionCase> &info) {
        std::string name = "v";
        for (const char *c = info.param.text; *c; ++c) {
            name += std::isdigit(static_cast<unsigned char>(*c)) ? *c : '_';
        }
        return name + "_" + std::to_string(info.index);
    });

TEST(VersionCompare, FirstDifferentFieldDecides) {
    LocalCorvoxVersion = {4, 1, 0, 0, "4.1(0.0)"};
    EXPECT_TRUE(bIsVersionGreaterThanOrEqualTo(4, 0, 9, 9));
    EXPECT_FALSE(bIsVersionGreaterThanOrEqualTo(4, 2, 0, 0));
    EXPECT_TRUE(bIsVersionGreaterThanOrEqualTo(4, 1, 0, 0));
    EXPECT_FALSE(bIsVersionGreaterThanOrEqualTo(4, 1, 0, 1));
    LocalCorvoxVersion = {};
}
