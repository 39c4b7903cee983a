#include "VmLib/wideprintf.h"

#include <cstring>
#include <cwchar>
#include <string>

namespace {

// Bounded writer: counts what fits, drops the rest, keeps room for the terminator.
struct Sink {
    wchar_t *p;
    size_t cap; // characters available before the terminator
    size_t n = 0;
    void Put(wchar_t c) {
        if (n < cap)
            p[n++] = c;
    }
    void Repeat(wchar_t c, int count) {
        for (int i = 0; i < count; ++i)
            Put(c);
    }
};

struct Spec {
    bool left = false, zero = false, alt = false; // the flags -, 0 and #
    int width = 0, precision = -1;
};

void PutPadded(Sink &out, const Spec &spec, const wchar_t *text, size_t len) {
    int pad = spec.width > static_cast<int>(len) ? spec.width - static_cast<int>(len) : 0;
    if (!spec.left)
        out.Repeat(L' ', pad);
    for (size_t i = 0; i < len; ++i)
        out.Put(text[i]);
    if (spec.left)
        out.Repeat(L' ', pad);
}

void PutNumber(Sink &out, const Spec &spec, uint32_t magnitude, bool negative, unsigned base,
               bool upper) {
    wchar_t digits[16];
    int nd = 0;
    const wchar_t *set = upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
    do {
        digits[nd++] = set[magnitude % base];
        magnitude /= base;
    } while (magnitude != 0);
    // An explicit precision is a minimum digit count; precision 0 still prints "0".
    int zeros = spec.precision > nd ? spec.precision - nd : 0;
    const wchar_t *prefix =
        negative ? L"-" : (spec.alt && base == 16 ? (upper ? L"0X" : L"0x") : L"");
    int nprefix = static_cast<int>(wcslen(prefix));
    int body = nprefix + zeros + nd;
    int pad = spec.width > body ? spec.width - body : 0;
    if (spec.zero && !spec.left && spec.precision < 0) {
        zeros += pad;
        pad = 0;
    }
    if (!spec.left)
        out.Repeat(L' ', pad);
    for (int i = 0; i < nprefix; ++i)
        out.Put(prefix[i]);
    out.Repeat(L'0', zeros);
    while (nd > 0)
        out.Put(digits[--nd]);
    if (spec.left)
        out.Repeat(L' ', pad);
}

void PutNarrow(Sink &out, const Spec &spec, const char *psz) {
    // Decoded by the locale; a byte that does not decode stands for itself.
    std::wstring text;
    std::mbstate_t state{};
    size_t left = std::strlen(psz);
    while (left > 0 && (spec.precision < 0 || text.size() < static_cast<size_t>(spec.precision))) {
        wchar_t wc;
        size_t used = std::mbrtowc(&wc, psz, left, &state);
        if (used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2) || used == 0) {
            wc = static_cast<wchar_t>(static_cast<unsigned char>(*psz));
            used = 1;
            state = {};
        }
        text.push_back(wc);
        psz += used;
        left -= used;
    }
    PutPadded(out, spec, text.data(), text.size());
}

} // namespace

int WidePrintfV(wchar_t *pszBuf, size_t cchBuf, const wchar_t *pszFormat, va_list args) {
    if (pszBuf == nullptr || cchBuf == 0)
        return 0;
    Sink out{pszBuf, cchBuf - 1};
    if (pszFormat == nullptr) {
        pszBuf[0] = L'\0';
        return 0;
    }
    for (const wchar_t *f = pszFormat; *f; ++f) {
        if (*f != L'%') {
            out.Put(*f);
            continue;
        }
        const wchar_t *start = f++;
        if (*f == L'%') {
            out.Put(L'%');
            continue;
        }
        Spec spec;
        for (;; ++f) {
            if (*f == L'-')
                spec.left = true;
            else if (*f == L'0')
                spec.zero = true;
            else if (*f == L'#')
                spec.alt = true;
            else
                break;
        }
        while (*f >= L'0' && *f <= L'9') {
            if (spec.width < 10000)
                spec.width = spec.width * 10 + (*f - L'0');
            ++f;
        }
        if (*f == L'.') {
            spec.precision = 0;
            ++f;
            while (*f >= L'0' && *f <= L'9') {
                if (spec.precision < 10000)
                    spec.precision = spec.precision * 10 + (*f - L'0');
                ++f;
            }
        }
        bool narrow = false;
        bool half = false;
        if (*f == L'l') {
            ++f;
        } else if (*f == L'h') {
            half = true;
            narrow = true;
            ++f;
        }
        switch (*f) {
        case L'd':
        case L'i': {
            int32_t v = va_arg(args, int32_t);
            if (half)
                v = static_cast<int16_t>(v);
            uint32_t mag = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
            PutNumber(out, spec, mag, v < 0, 10, false);
            break;
        }
        case L'u':
        case L'x':
        case L'X': {
            uint32_t v = va_arg(args, uint32_t);
            if (half)
                v = static_cast<uint16_t>(v);
            PutNumber(out, spec, v, false, *f == L'u' ? 10 : 16, *f == L'X');
            break;
        }
        case L'c':
        case L'C': {
            wchar_t c = static_cast<wchar_t>(va_arg(args, int));
            if (narrow || *f == L'C')
                c = static_cast<wchar_t>(static_cast<unsigned char>(c));
            PutPadded(out, spec, &c, 1);
            break;
        }
        case L's':
        case L'S': {
            if (narrow || *f == L'S') {
                const char *psz = va_arg(args, const char *);
                PutNarrow(out, spec, psz ? psz : "(null)");
                break;
            }
            const wchar_t *psz = va_arg(args, const wchar_t *);
            if (psz == nullptr)
                psz = L"(null)";
            size_t len = 0;
            while (psz[len] && (spec.precision < 0 || len < static_cast<size_t>(spec.precision)))
                ++len;
            PutPadded(out, spec, psz, len);
            break;
        }
        default:
            // Not a conversion we know: copy it through and consume nothing.
            for (const wchar_t *q = start; q <= f && *q; ++q)
                out.Put(*q);
            if (*f == L'\0')
                --f;
            break;
        }
    }
    pszBuf[out.n] = L'\0';
    return static_cast<int>(out.n);
}

int WidePrintf(wchar_t *pszBuf, size_t cchBuf, const wchar_t *pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    int n = WidePrintfV(pszBuf, cchBuf, pszFormat, args);
    va_end(args);
    return n;
}
