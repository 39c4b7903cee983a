// Fuzz target: sndprobe's argument lookups, list fields and level
// conversions. The input is an argument vector (pieces split at zero bytes,
// each byte one character, 0xFF plus three bytes one character beyond
// Latin-1) and a few numbers. What must hold:
// - a lookup finds an argument at or after its start that really is that
//   option (or a plain argument), and its value comes back whole or cut to
//   the buffer, always terminated;
// - the string, number and Boolean lookups agree with that value;
// - splitting a list at its separators and joining the fields gives the
//   list back;
// - every level conversion stays in range, never gives NaN, and the
//   conversions that go both ways come back where they started.
#include <fuzzer/FuzzedDataProvider.h>

#include <math.h>
#include <stdlib.h>
#include <wchar.h>
#include <wctype.h>

#include <string>
#include <vector>

#include "sndkit/args.h"
#include "sndkit/levels.h"
#include "sndkit/strex.h"

namespace {

void Check(bool ok) {
    if (!ok)
        __builtin_trap();
}

std::wstring Piece(FuzzedDataProvider &in, size_t maxChars) {
    std::wstring s;
    for (uint8_t b;
         s.size() < maxChars && in.remaining_bytes() && (b = in.ConsumeIntegral<uint8_t>()) != 0;)
        // 0xFF: any code point, letters whose case folding is not simple and
        // values beyond Unicode.
        s.push_back(b == 0xFF ? wchar_t(in.ConsumeIntegralInRange<uint32_t>(1, 0x10FFFF + 0x100))
                              : wchar_t(b));
    return s;
}

// The value of arg as option name (case-insensitive), or nothing.
bool ValueOf(const std::wstring &arg, const std::wstring &name, std::wstring *value) {
    if (!IsArgOption(arg.c_str()) || arg.size() < 1 + name.size())
        return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (towlower(wint_t(arg[1 + i])) != towlower(wint_t(name[i])))
            return false;
    const size_t rest = 1 + name.size();
    if (rest < arg.size() && arg[rest] != L':')
        return false;
    *value = rest < arg.size() ? arg.substr(rest + 1) : L"";
    return true;
}

void CheckLevels(double d, int16_t s) {
    const double lin = DbToLinear(d), db = LinearToDb(d);
    Check(!isnan(lin) && lin > 0 && lin <= 1.0 && !isnan(db) && db >= -120.0 && db <= 0.0);
    const int32_t pcm = LinearToPcm(d);
    Check(pcm >= -32767 && pcm <= 32767);
    // PCM -> linear -> PCM comes back (the one value beyond -32767 folds).
    Check(LinearToPcm(PcmToLinear(s)) == (s == -32768 ? -32767 : s));
    // dB -> linear -> dB comes back inside the range the conversions keep.
    if (d > -119.0 && d <= 0.0)
        Check(fabs(LinearToDb(DbToLinear(d)) - d) < 1e-6);
}

void CheckValue(const std::wstring &v) {
    const double level = ParseLevel(v.c_str());
    const int32_t pcm = LinearToPcm(level);
    Check(!isnan(level) && pcm >= -32767 && pcm <= 32767 && !isnan(StrToDouble(v.c_str())));
    // Every whole number is a decimal number, and every decimal number a level.
    const bool isInt = IsIntText(v.c_str()), isFloat = IsFloatText(v.c_str());
    Check((!isInt || isFloat) && (!isFloat || IsLevelText(v.c_str())));
    // A whole number that fits is read as the C library reads it.
    const long long n = wcstoll(v.c_str(), nullptr, 10);
    if (isInt && n > -2147483648LL && n < 2147483647LL)
        Check(StrToInt(v.c_str()) == int32_t(n));
}

// Splitting a list and joining its fields with the separators gives it back;
// the typed readers take the same fields.
void CheckFields(const std::wstring &list, const wchar_t *separators) {
    std::vector<wchar_t> buf(list.begin(), list.end()), again;
    buf.push_back(0);
    again = buf;
    std::wstring joined;
    for (wchar_t *cursor = buf.data(); cursor;) {
        const wchar_t *start = cursor;
        if (start != buf.data())
            joined += list[size_t(start - buf.data()) - 1];
        wchar_t *field = NextToken(&cursor, separators);
        Check(field == start);
        joined += field;
    }
    Check(joined == list);
    for (wchar_t *cursor = again.data(); cursor;) {
        switch (size_t(cursor - again.data()) % 3) {
        case 0:
            NextTokenInt(&cursor, separators, 7);
            break;
        case 1:
            Check(!isnan(NextTokenFloat(&cursor, separators, 0.5)));
            break;
        default:
            wchar_t *copy = NextTokenString(&cursor, separators, L"default", ARGF_UNESCAPE);
            Check(copy != nullptr);
            StrRelease(copy);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::wstring name = Piece(in, 24);
    const int32_t cch = in.ConsumeIntegralInRange<int32_t>(0, ARG_VALUE_CHARS + 8);
    const int32_t from = in.ConsumeIntegralInRange<int32_t>(-1, 8);
    const double d = in.ConsumeFloatingPoint<double>();
    const int16_t s = in.ConsumeIntegral<int16_t>();
    std::vector<std::wstring> args;
    while (in.remaining_bytes() && args.size() < 12)
        args.push_back(Piece(in, ARG_VALUE_CHARS + 64));
    std::vector<wchar_t *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    const int32_t argc = int32_t(argv.size());
    wchar_t **pargv = argc ? argv.data() : nullptr;

    CheckLevels(d, s);
    for (const std::wstring &a : args) {
        CheckValue(a);
        CheckFields(a, L",");
        std::vector<wchar_t> plain(size_t(cch > 0 ? cch : 1), L'#');
        StrUnescape(a.c_str(), plain.data(), cch);
        if (cch > 0)
            Check(wmemchr(plain.data(), 0, size_t(cch)) != nullptr);
    }

    const wchar_t *names[] = {name.empty() ? nullptr : name.c_str(), L"silence", L"strip", nullptr};
    for (const wchar_t *n : names) {
        std::vector<wchar_t> value(size_t(cch) + 1, L'#');
        const int32_t at = GetArgOption(from, argc, pargv, n, cch ? value.data() : nullptr, cch);
        if (at < 0) {
            // Nothing at or after the start matches.
            for (int32_t i = from < 0 ? argc : from; i < argc; ++i) {
                std::wstring v;
                Check(n ? !ValueOf(args[size_t(i)], n, &v) : IsArgOption(args[size_t(i)].c_str()));
            }
            continue;
        }
        Check(from >= 0 && at >= from && at < argc);
        std::wstring whole = args[size_t(at)];
        Check(n ? ValueOf(args[size_t(at)], n, &whole) : !IsArgOption(whole.c_str()));
        if (cch > 0) {
            const std::wstring got(value.data());
            Check(got.size() < size_t(cch) && whole.compare(0, got.size(), got) == 0);
            Check(got.size() == std::min(whole.size(), size_t(cch - 1)));
        }
        // What the typed lookups see: the value cut to their buffer.
        const std::wstring seen = whole.substr(0, ARG_VALUE_CHARS - 1);
        wchar_t *text = GetArgString(from, argc, pargv, n, L"default", 0);
        Check(text && std::wstring(text) == (seen.empty() ? L"default" : seen));
        StrRelease(text);
        Check(GetArgInt(from, argc, pargv, n, 12345) ==
              (seen.empty() ? 12345 : StrToInt(seen.c_str())));
        const int32_t flag = GetArgBool(from, argc, pargv, n, 7);
        Check((flag == 0 || flag == 1) && !isnan(GetArgFloat(from, argc, pargv, n, 0.25)));
    }
    return 0;
}
