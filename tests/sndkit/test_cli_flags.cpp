// The detector flags and the block size as the command line hands them on.
#include <gtest/gtest.h>

#include "sndkit/test_cli_support.h"

namespace {

using namespace cli;
using namespace siggen;

TEST(CliFlags, SensitiveKeysRobustTextAndAnyBlockSize) {
    TempDir dir;
    const std::string keys = dir / "keys.wav", tty = dir / "tty.wav";
    ASSERT_TRUE(
        WriteWav16(keys,
                   Concat({Silence(300, 8000), Dtmf("159#", 60, 60, DbToAmplitude(-12), 8000),
                           Dtmf("26", 60, 60, DbToAmplitude(-40), 8000)}),
                   8000));
    BaudotOptions opt;
    opt.unshiftOnSpace = true;
    const Samples text = Baudot("CALL 555 NOW", 11025, opt);
    const double rms = opt.amplitude / sqrt(2.0) / pow(10.0, 3 / 20.0);
    ASSERT_TRUE(WriteWav16(tty, Mix(text, Noise(rms, double(text.size()) * 1000 / 11025, 11025, 4)),
                           11025));
    // Keys at -40 dBFS are below the default detector, not the sensitive one.
    EXPECT_EQ(RunProbe(dir, {keys, "-dtmf"}).out, "159#\n");
    EXPECT_EQ(RunProbe(dir, {keys, "-dtmf:,,,256"}).out, "159#26\n");
    EXPECT_EQ(RunProbe(dir, {tty, "-baudot:all,,,768"}).out, "CALL 555 NOW\n");
    // Blocks that are no whole number of windows change nothing.
    for (const char *block : {"-block:7", "-block:50", "-block:333"}) {
        EXPECT_EQ(RunProbe(dir, {keys, "-dtmf", block}).out, "159#\n") << block;
        EXPECT_EQ(RunProbe(dir, {keys, "-dtmf:,,,256", block}).out, "159#26\n") << block;
        EXPECT_EQ(RunProbe(dir, {tty, "-baudot:,,,768", block}).out, "CALL 555 NOW\n") << block;
    }
}

} // namespace
