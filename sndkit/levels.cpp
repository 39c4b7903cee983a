#include "sndkit/levels.h"

#include <cmath>

#include "sndkit/strex.h"

static const double kTolerance = 1e-7;

static bool NearlyEqual(double a, double b) {
    return std::fabs(a - b) < kTolerance;
}

double DbToLinear(double d) {
    if (NearlyEqual(d, 0.0))
        d = 0.0;
    if (d > 0.0)
        d = -d; // "40dB" means 40 dB below full scale
    if (d <= -120.0 || std::isnan(d))
        d = -120.0;
    return std::pow(10.0, d * 0.05);
}

double LinearToDb(double x) {
    if (NearlyEqual(x, 0.0) || std::isnan(x))
        x = 0.0;
    if (x < 0.0)
        x = -x;
    if (x > 1.0 || NearlyEqual(x, 1.0))
        x = 1.0;
    if (x <= 0.0)
        return -120.0;
    double d = 20.0 * std::log10(x);
    return d < -120.0 ? -120.0 : d;
}

int32_t LinearToPcm(double x) {
    if (NearlyEqual(x, 0.0) || std::isnan(x))
        x = 0.0;
    if (x < -1.0)
        x = -1.0;
    if (x > 1.0 || NearlyEqual(x, 1.0))
        x = 1.0;
    double k = x >= 0.0 ? 5.0 : -5.0;
    return static_cast<int32_t>(std::trunc((x * 327670.0 + k) * 0.1));
}

double PcmToLinear(int16_t s) {
    if (s == -32768)
        s = -32767;
    return s * 3.051850947599719e-05;
}

double ParseLevel(const wchar_t *pszText) {
    double v = StrToDouble(pszText);
    if (StrFindNoCase(pszText, L"dB"))
        return DbToLinear(v);
    if (StrFindNoCase(pszText, L"%"))
        return v * 0.01;
    if (NearlyEqual(v, 1.0))
        return 1.0;
    if (NearlyEqual(v, 0.0))
        return 0.0;
    if (NearlyEqual(v, -1.0))
        return -1.0;
    if (v > -1.0 && v < 1.0)
        return v;
    return PcmValueToLinear(v);
}

double PcmValueToLinear(double v) {
    double t = std::trunc(v);
    if (!std::isfinite(t))
        return 0.0;
    auto low = static_cast<int64_t>(std::fmod(t, 65536.0));
    return PcmToLinear(static_cast<int16_t>(static_cast<uint16_t>(low & 0xFFFF)));
}
