#include "sndkit/usage.h"

#include <cmath>
#include <cwchar>

#include "VmLib/trace.h"
#include "sndkit/args.h"
#include "sndkit/levels.h"
#include "sndkit/strex.h"

static const wchar_t kUsage[] =
    L"usage: sndprobe <srcfile> [options]\n"
    L"  options:\n"
    L"    -silence[:level,duration,window,flags]      (default: -40dB,200,20,0)\n"
    L"      level auto: 9dB above the noise floor, within -65dB to -30dB\n"
    L"    -tone[:frequency,duration,window,flags]     (default: 440,100,100,0)\n"
    L"    -dtmf[:chars,duration,window,flags]         (default: all,40,20,0)\n"
    L"    -baudot[:chars,duration,window,flags]       (default: all,11,5,0)\n"
    L"    -block[:duration]                           (default: 1000)\n"
    L"    -strip:dstfile,flags,edge (flags: leading=1,trailing=2,extract=4,\n"
    L"      closing dtmf key=8)\n"
    L"    -acm[:acmfile[,mid,pid]] load all acm drivers, or specific one\n"
    L"    -trace[:level] verbosity level 0-9\n";

// A format: each "%%" prints as one "%". The trailing blanks belong to it.
static const wchar_t kLevelTableHelp[] =
    L"    -leveltable[:field[,start,stop,step]]       (default:dB,0,-120,-1)\n"
    L"  level:         max        silence     min\n"
    L"    decibels    0.0dB      -120.0dB                \n"
    L"    linear      1.000         0.000    -1.000      \n"
    L"    pcm         32767         0        -32768      \n"
    L"    percent     100%%          0%%                 \n";

void PrintUsage(void) {
    Trace(nullptr, TRACE_RESULT, L"%s", kUsage);
    Trace(nullptr, TRACE_RESULT, kLevelTableHelp);
}

enum LevelUnit { UNIT_NONE, UNIT_DB, UNIT_LINEAR, UNIT_PCM, UNIT_PERCENT };

struct LevelRange {
    LevelUnit unit;
    double start, stop, step;
};

static LevelRange RangeOf(const wchar_t *pszField) {
    if (!wcscasecmp(pszField, L"dB") || StrFindNoCase(pszField, L"decibel"))
        return {UNIT_DB, 0.0, -120.0, -1.0};
    if (!wcscasecmp(pszField, L"linear"))
        return {UNIT_LINEAR, 1.0, -1.0, -0.01};
    if (!wcscasecmp(pszField, L"pcm"))
        return {UNIT_PCM, 32000.0, -32000.0, -1000.0};
    if (!wcscasecmp(pszField, L"percent") || !wcscmp(pszField, L"%"))
        return {UNIT_PERCENT, 100.0, 0.0, -1.0};
    return {UNIT_NONE, 0.0, 0.0, 0.0};
}

static double ToLinear(LevelUnit unit, double value) {
    switch (unit) {
    case UNIT_DB:
        return DbToLinear(value);
    case UNIT_LINEAR:
        return value;
    case UNIT_PCM:
        return PcmValueToLinear(value);
    case UNIT_PERCENT:
        return value * 0.01;
    default:
        return 0.0;
    }
}

static int32_t PrintLevelRow(double linear) {
    double db = LinearToDb(linear);
    int pcm = static_cast<int>(LinearToPcm(linear));
    double k = linear < 0.0 ? -5.0 : 5.0;
    double percent = std::trunc((linear * 100000.0 + k) * 0.1) * 0.01;
    wchar_t szRow[128];
    // A value too wide for the row leaves the buffer unterminated.
    if (swprintf(szRow, sizeof szRow / sizeof szRow[0], L"%10.3fdB %10.6f %7d %8.2f%%", db, linear,
                 pcm, percent) < 0) {
        TracePosition(L"sndprobe", 301);
        return -1;
    }
    Trace(nullptr, TRACE_RESULT, L"%s\n", szRow);
    return 0;
}

// More rows than anyone reads; a range asking for them is a mistake.
constexpr int64_t kMaxLevelRows = 100000;

// Whether row i of the range exists, and its value. Each value is computed
// from the start so that no rounding accumulates; one within 1e-7 of the
// stop counts as reaching it.
static bool LevelRowValue(double start, double stop, double step, int64_t i, double *pValue) {
    double value = start + static_cast<double>(i) * step;
    if (std::fabs(value - stop) >= 1e-7 && (step > 0.0 ? value > stop : value < stop))
        return false;
    if (pValue)
        *pValue = value;
    return true;
}

// The next list field as a number, dDefault when it is empty; -1 when it is
// not a number.
static int32_t NumberField(wchar_t **ppszCursor, double dDefault, double *pd) {
    const wchar_t *field = NextToken(ppszCursor, L",");
    if (!field || !field[0]) {
        *pd = dDefault;
        return 0;
    }
    if (!IsFloatText(field))
        return -1;
    *pd = StrToDouble(field);
    return 0;
}

int32_t PrintLevelTable(const wchar_t *pszText) {
    wchar_t szList[ARG_VALUE_CHARS];
    wcsncpy(szList, pszText ? pszText : L"", ARG_VALUE_CHARS - 1);
    szList[ARG_VALUE_CHARS - 1] = 0;
    wchar_t *cursor = szList;
    const wchar_t *field = NextToken(&cursor, L",");
    if (!field || !field[0])
        field = L"dB";
    LevelRange r = RangeOf(field);
    double start = 0.0, stop = 0.0, step = 0.0;
    if (NumberField(&cursor, r.start, &start) || NumberField(&cursor, r.stop, &stop) ||
        NumberField(&cursor, r.step, &step)) {
        TracePosition(L"sndprobe", 300);
        return -1;
    }
    if ((start < stop && step < 0.0) || (start > stop && step > 0.0))
        step = -step;

    // A step too small to tell from 0 would never reach the end of the range.
    bool rows = std::fabs(step) >= 1e-7 && std::isfinite(start) && std::isfinite(stop) &&
                std::isfinite(step);
    if (rows && LevelRowValue(start, stop, step, kMaxLevelRows, nullptr)) {
        TracePosition(L"sndprobe", 302);
        return -1;
    }

    Trace(nullptr, TRACE_RESULT, L"\n\n%12s%11s%8s%10s\n\n", L"decibels", L"linear", L"pcm",
          L"percent");
    Trace(nullptr, TRACE_RESULT, L"  ---------------------------------------\n");
    double value;
    for (int64_t i = 0; rows && LevelRowValue(start, stop, step, i, &value); ++i) {
        if (PrintLevelRow(ToLinear(r.unit, value))) {
            TracePosition(L"sndprobe", 303);
            return -1;
        }
    }
    return 0;
}
