#include "CorvoxVersion.h"

#include "AppError.h"
#include "RegistryAPI.h"

#include <cstdio>

namespace brevita {

CorvoxVersionInfo LocalCorvoxVersion;

namespace {

constexpr const char *kServerKey = "Software\\Velmora\\";

// The group's digits read as decimal. The server writes decimal digits
// only; a group holding a letter A-F is not a version number and gives 0.
int16_t DecimalDigits(const std::string &group) {
    int value = 0;
    for (char c : group) {
        if (c < '0' || c > '9') {
            return 0;
        }
        value = value * 10 + (c - '0');
    }
    return static_cast<int16_t>(value);
}

std::string Hex8(int32_t n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", static_cast<uint32_t>(n));
    return buf;
}

} // namespace

CorvoxVersionInfo getVersion() {
    ErrorHandler onError(ErrorReport::ModuleMessage, "getVersion", "CorvoxVersion");
    CorvoxVersionInfo v;
    int32_t version = 0;
    int32_t build = 0;
    onError.Step([&] {
        version = RegValueLong(
            GetRegistryValue(HKEY_LOCAL_MACHINE, kServerKey, "Version Number", REG_DWORD, {}));
    });
    onError.Step([&] {
        build = RegValueLong(
            GetRegistryValue(HKEY_LOCAL_MACHINE, kServerKey, "Build Number", REG_DWORD, {}));
    });
    std::string versionText = Hex8(version);
    std::string buildText = Hex8(build);
    v.Major = DecimalDigits(versionText.substr(0, 4));
    v.Minor = DecimalDigits(versionText.substr(4, 4));
    v.BuildHigh = DecimalDigits(buildText.substr(0, 4));
    v.BuildLow = static_cast<int16_t>(static_cast<uint16_t>(build & 0xFFFF));
    v.Text = std::to_string(v.Major) + "." + std::to_string(v.Minor) + "(" +
             std::to_string(v.BuildHigh) + "." + std::to_string(v.BuildLow) + ")";
    return v;
}

bool bIsVersionGreaterThanOrEqualTo(int16_t major, int16_t minor, int16_t buildHigh,
                                    int16_t buildLow) {
    const CorvoxVersionInfo &v = LocalCorvoxVersion;
    const int16_t local[] = {v.Major, v.Minor, v.BuildHigh, v.BuildLow};
    const int16_t wanted[] = {major, minor, buildHigh, buildLow};
    for (int i = 0; i < 4; ++i) {
        if (local[i] != wanted[i]) {
            return local[i] > wanted[i];
        }
    }
    return true;
}

} // namespace brevita
