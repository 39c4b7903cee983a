#include <gtest/gtest.h>

#include "sndkit/test_cli_support.h"

namespace {

using namespace cli;

const char kUsage[] = "usage: sndprobe <srcfile> [options]\n"
                      "  options:\n"
                      "    -silence[:level,duration,window,flags]      (default: -40dB,200,20,0)\n"
                      "    -tone[:frequency,duration,window,flags]     (default: 440,100,100,0)\n"
                      "    -dtmf[:chars,duration,window,flags]         (default: all,40,20,0)\n"
                      "    -baudot[:chars,duration,window,flags]       (default: all,11,5,0)\n"
                      "    -block[:duration]                           (default: 1000)\n"
                      "    -strip:dstfile,flags,edge (flags: leading=1,trailing=2,extract=4)\n"
                      "    -acm[:acmfile[,mid,pid]] load all acm drivers, or specific one\n"
                      "    -trace[:level] verbosity level 0-9\n"
                      "    -leveltable[:field[,start,stop,step]]       (default:dB,0,-120,-1)\n"
                      "  level:         max        silence     min\n"
                      "    decibels    0.0dB      -120.0dB                \n"
                      "    linear      1.000         0.000    -1.000      \n"
                      "    pcm         32767         0        -32768      \n"
                      "    percent     100%          0%                 \n";

TEST(CliErrors, UsageAndLevelTable) {
    TempDir dir;
    Result r = RunProbe(dir, {});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string(kUsage) + "\n");
    r = RunProbe(dir, {"-trace:3"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(kUsage), std::string::npos);

    // The table needs no file, even when one is named.
    r = RunProbe(dir, {"missing.wav", "-leveltable"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("unable"), std::string::npos);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 5 + 121 + 1);
    EXPECT_NE(r.out.find("\n   -40.000dB   0.010000     328     1.00%\n"), std::string::npos);
    r = RunProbe(dir, {"-leveltable:dB,-10,0,-2"});
    EXPECT_EQ(r.out, "\n\n    decibels     linear     pcm   percent\n\n"
                     "  ---------------------------------------\n"
                     "   -10.000dB   0.316228   10362    31.62%\n"
                     "    -8.000dB   0.398107   13045    39.81%\n"
                     "    -6.000dB   0.501187   16422    50.12%\n"
                     "    -4.000dB   0.630957   20675    63.10%\n"
                     "    -2.000dB   0.794328   26028    79.43%\n"
                     "     0.000dB   1.000000   32767   100.00%\n\n");
    r = RunProbe(dir, {"-leveltable:pcm,0,100,10"});
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 5 + 11 + 1);
}

TEST(CliErrors, TraceLevelIsStoredAndRefusedLevelsLeaveIt) {
    TempDir dir;
    RunProbe(dir, {"-trace"});
    RunProbe(dir, {"-trace:12"});
    auto ini = ReadBytes(dir / "trace.ini");
    EXPECT_NE(std::string(ini.begin(), ini.end()).find("Level=5"), std::string::npos);
}

TEST(CliErrors, BadInputsFailCleanlyAndLeaveNothingBehind) {
    TempDir dir;
    std::string good = dir / "good.wav";
    ASSERT_TRUE(siggen::WriteWav16(good, Greeting(8000), 8000));
    auto bytes = ReadBytes(good);
    auto write = [&](const std::string &name, const std::string &b) {
        std::ofstream(dir / name, std::ios::binary) << b;
    };
    const std::string header(bytes.begin(), bytes.begin() + 44);
    write("text.wav", "hello\n");
    // Cut off inside its format chunk: there is no audio to find.
    write("cut.wav", std::string(bytes.begin(), bytes.begin() + 30));
    // A header whose data chunk is empty.
    write("empty.wav", header.substr(0, 4) + std::string("\x24\0\0\0", 4) + header.substr(8, 32) +
                           std::string(4, '\0'));
    write("keep.wav", "old");
    fs::create_directory(dir / "folder");
    fs::create_directory(dir / "full");
    write("full/inside", {'x'});
    auto before = dir.Names();

    const std::string events =
        "sndprobe: dwType=DETECT_SILENCE, msStart=0, msDuration=800, nThreshold=328\n"
        "sndprobe: dwType=DETECT_SILENCE, msStart=4200, msDuration=800, nThreshold=328\n";
    std::vector<std::string> seventeen{good};
    for (int i = 0; i < 17; ++i)
        seventeen.push_back("-silence");
    struct Case {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"missing.wav", "-strip:keep.wav,3"}, "sndprobe: unable to open file: missing.wav\n\n"},
        {{"folder", "-strip:keep.wav"}, "sndprobe: unable to open file: folder\n\n"},
        {{"text.wav", "-strip:keep.wav"}, "sndprobe: unable to open file: text.wav\n\n"},
        {{"cut.wav", "-strip:keep.wav"}, "sndprobe: unable to open file: cut.wav\n\n"},
        {{"empty.wav", "-strip:keep.wav"}, ""},
        {{good, "-silence", "-strip:gone/out.wav,3,250"},
         events + "sndprobe: unable to create file: gone/out.wav\n\n"},
        {{good, "-silence", "-strip:keep.wav/out.wav,3,250"},
         events + "sndprobe: unable to create file: keep.wav/out.wav\n\n"},
        // The copy is complete but cannot take the place of a folder.
        {{good, "-silence", "-strip:full,3,250"},
         events + "sndprobe: unable to create file: full\n\n"},
        {{good, "-silence", "-block:0", "-strip:keep.wav"}, "\n"},
        {seventeen, "\n"},
        {{good, "-silence:abc", "-strip:keep.wav"}, "\n"},
        {{good, "-silence:-40dB,2x0", "-strip:keep.wav"}, "\n"},
        {{good, "-silence", "-strip:,x,y"}, "sndprobe: unable to create file: \n\n"},
        {{good, "-silence", "-strip:keep.wav,x"}, "\n"},
        {{good, "-silence", "-strip:" + std::string(600, 'a')}, "\n"},
        {{dir / std::string(600, 'b'), "-strip:keep.wav"},
         "sndprobe: unable to open file: " + dir / std::string(600, 'b') + "\n\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.back());
        Result r = RunProbe(dir, c.args);
        EXPECT_EQ(r.status, 1);
        if (!c.out.empty()) {
            EXPECT_EQ(r.out, c.out);
        }
        EXPECT_EQ(dir.Names(), before);
        EXPECT_TRUE(ReadBytes(dir / "keep.wav") == std::vector<uint8_t>({'o', 'l', 'd'}));
    }
}

} // namespace
