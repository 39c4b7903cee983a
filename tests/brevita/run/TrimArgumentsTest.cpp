// The command line Brevita gives sndprobe for each combination of the trim
// mode settings, and how the log names the mode. With both off the line is
// the one Brevita has always sent.
#include "AppEnv.h"
#include "TestSupport.h"
#include "TrimFile.h"

using namespace brevita;
using namespace brevita_test;

TEST(TrimArguments, EachModeSettingChangesOnlyItsOwnPart) {
    TempDir tmp;
    SetProgramLocation(tmp.path(), "Brevita");
    const std::string sndprobe = (tmp / "sndprobe").string();
    const std::string wav = "/srv/Stream Files/vn 0001.wav";
    const struct {
        bool followLineNoise, cutClosingKey;
        std::vector<std::string> args;
        const char *mode;
    } cases[] = {
        {false,
         false,
         {sndprobe, wav, "-silence:-45dB,300,20", "-strip:tempWAVFile.wav,3,250"},
         "level -45 dB"},
        {true,
         false,
         {sndprobe, wav, "-silence:auto,300,20", "-strip:tempWAVFile.wav,3,250"},
         "following line noise"},
        {false,
         true,
         {sndprobe, wav, "-silence:-45dB,300,20", "-dtmf", "-strip:tempWAVFile.wav,11,250"},
         "level -45 dB; closing key cut"},
        {true,
         true,
         {sndprobe, wav, "-silence:auto,300,20", "-dtmf", "-strip:tempWAVFile.wav,11,250"},
         "following line noise; closing key cut"},
    };
    for (const auto &c : cases) {
        TrimOptions options;
        options.followLineNoise = c.followLineNoise;
        options.cutClosingKey = c.cutClosingKey;
        const std::string which =
            std::to_string(c.followLineNoise) + std::to_string(c.cutClosingKey);
        EXPECT_EQ(SndprobeArguments(wav, options), c.args) << which;
        EXPECT_EQ(TrimModeText(options), c.mode) << which;
    }

    // The numbers pass as typed, without their blanks, in every mode; the
    // level is not sent when the noise floor sets the threshold.
    TrimOptions typed{" -52 ", " 450 ", " 120 ", true, true, ""};
    EXPECT_EQ(SndprobeArguments(wav, typed),
              (std::vector<std::string>{sndprobe, wav, "-silence:auto,450,20", "-dtmf",
                                        "-strip:tempWAVFile.wav,11,120"}));
    typed.followLineNoise = false;
    typed.cutClosingKey = false;
    EXPECT_EQ(SndprobeArguments(wav, typed),
              (std::vector<std::string>{sndprobe, wav, "-silence:-52dB,450,20",
                                        "-strip:tempWAVFile.wav,3,120"}));
    EXPECT_EQ(TrimModeText(typed), "level -52 dB");
    ResetProgramLocation();
}
