#include "sndkit/runoptions.h"

#include <cwchar>

#include "sndkit/args.h"
#include "sndkit/strex.h"

bool IntField(wchar_t **ppszCursor, int32_t nDefault, int32_t *pn) {
    const wchar_t *field = NextToken(ppszCursor, L",");
    if (!field || !field[0]) {
        *pn = nDefault;
        return true;
    }
    if (!IsIntText(field))
        return false;
    *pn = StrToInt(field);
    return true;
}

bool IntOption(int32_t argc, wchar_t **argv, const wchar_t *pszName, int32_t nDefault,
               int32_t *pn) {
    wchar_t szValue[ARG_VALUE_CHARS] = {0};
    if (GetArgOption(1, argc, argv, pszName, szValue, ARG_VALUE_CHARS) >= 0 && szValue[0] &&
        !IsIntText(szValue))
        return false;
    *pn = GetArgInt(1, argc, argv, pszName, nDefault);
    return true;
}

bool ValuesFit(int32_t argc, wchar_t **argv) {
    bool fit = true;
    for (int32_t i = 1; i < argc; ++i) {
        const wchar_t *arg = argv[i];
        if (!IsArgOption(arg))
            continue;
        const wchar_t *value = wcschr(arg, L':');
        if (value && wcslen(value + 1) >= ARG_VALUE_CHARS) {
            TracePosition(RUN_UNIT, 10);
            fit = false;
        }
    }
    return fit;
}

void ReadTraceOption(Run *r) {
    if (TraceGetLevel(nullptr) < 1)
        TraceSetLevel(nullptr, 1);
    int32_t level = TraceGetLevel(nullptr);
    if (GetArgBool(1, r->argc, r->argv, L"trace", 0)) {
        if (!IntOption(r->argc, r->argv, L"trace", 5, &level)) {
            RunFail(r, 20);
            return;
        }
        // "+0" or " 0" reads as present; like "0" it must not silence the run.
        if (level == 0)
            level = TraceGetLevel(nullptr);
    }
    // Out of range is refused and the level stays; -1 re-reads the stored one.
    TraceSetLevel(nullptr, level);
}

void ReadStripOption(Run *r) {
    if (!GetArgBool(1, r->argc, r->argv, L"strip", 0))
        return;
    r->strip = true;
    r->pszStrip = GetArgString(1, r->argc, r->argv, L"strip", nullptr, 0);
    wchar_t *cursor = r->pszStrip;
    r->pszDest = NextTokenString(&cursor, L",", nullptr, 0);
    if (!IntField(&cursor, 0, &r->dwStripFlags) || !IntField(&cursor, -1, &r->msEdge))
        RunFail(r, 21);
    if (!r->pszDest) {
        RunFail(r, 22);
        Trace(nullptr, TRACE_RESULT, L"sndprobe: unable to create file: %s\n", L"");
    }
}
