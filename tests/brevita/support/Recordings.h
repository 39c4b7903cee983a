#pragma once
// Recordings for the trimming tests, and what sndprobe itself makes of them.

#include "common/siggen.h"

#include <cstdlib>
#include <string>

namespace brevita_test {

// Speech stand-in: noise, with or without dead air around it.
inline bool WriteRecording(const std::string &path, double leadMs, double tailMs) {
    return siggen::WriteWav16(
        path,
        siggen::Concat({siggen::Silence(leadMs, 8000), siggen::Noise(3000, 1500, 8000, 7),
                        siggen::Silence(tailMs, 8000)}),
        8000);
}

// sndprobe's own trim of in with the batch's settings.
inline bool SndprobeTrim(const std::string &in, const std::string &out) {
    const std::string cmd = "'" + std::string(BREVITA_BIN_DIR) + "/sndprobe' '" + in +
                            "' -silence:-45dB,300,20 '-strip:" + out + ",3,250' >/dev/null";
    return std::system(cmd.c_str()) == 0;
}

} // namespace brevita_test
