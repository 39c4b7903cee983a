#pragma once
// The local voicemail server's version, read from its registry values.

#include <cstdint>
#include <string>

namespace brevita {

struct CorvoxVersionInfo {
    int16_t Major = 0;
    int16_t Minor = 0;
    int16_t BuildHigh = 0;
    int16_t BuildLow = 0;
    std::string Text = "0.0(0.0)"; // e.g. 4.0(2.25)
};

// Filled at start-up from getVersion; read by the version check and the log.
extern CorvoxVersionInfo LocalCorvoxVersion;

CorvoxVersionInfo getVersion();
bool bIsVersionGreaterThanOrEqualTo(int16_t major, int16_t minor, int16_t buildHigh,
                                    int16_t buildLow);

} // namespace brevita
