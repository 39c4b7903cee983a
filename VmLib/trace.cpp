#include "VmLib/trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include "VmLib/profile.h"
#include "VmLib/wideprintf.h"

struct TraceContext {
    uint32_t dwVersion;
    VMHINSTANCE hInstance;
    VMHPROCESS hProcess;
    int32_t nLevel;
    int32_t nOutputTo;
    bool bOutputToRead; /* only the default output needs it: read on first use */
    wchar_t szBuffer[TRACE_BUFFER_CHARS];
    wchar_t *pszBuffer;
    TraceFilterProc pfnFilter;
    TraceOutputProc pfnOutput;
    void *pHook;
};

namespace {

const char kSection[] = "TRACE";
const char kLevelKey[] = "Level";
const char kOutputKey[] = "OutputTo";
const wchar_t kPositionFormat[] = L"%s(%u) : *** TracePosition\n";

TraceContext g_context;
bool g_created = false;

int32_t ClampLevel(int32_t n) {
    return n < 0 ? 0 : (n > 9 ? 9 : n);
}

int32_t DefaultFilter(void *pHook, int32_t nLevel, uintptr_t, uintptr_t) {
    const TraceContext *ctx = static_cast<const TraceContext *>(pHook);
    return ctx != nullptr && nLevel >= 1 && nLevel <= ctx->nLevel;
}

int32_t DefaultOutput(void *pHook, uint32_t, const wchar_t *pszText, uintptr_t, uintptr_t) {
    TraceContext *ctx = static_cast<TraceContext *>(pHook);
    if (ctx == nullptr)
        return -1;
    if (!ctx->bOutputToRead) {
        ctx->nOutputTo = ProfileGetInt(TraceIniPath(), kSection, kOutputKey, TRACE_OUTPUT_DEBUGGER);
        ctx->bOutputToRead = true;
    }
    switch (ctx->nOutputTo) {
    case TRACE_OUTPUT_DEBUGGER:
        return TraceWriteDebugger(pszText);
    case TRACE_OUTPUT_STDOUT:
        return TraceWriteStdout(pszText);
    default:
        return 0;
    }
}

void InstallDefaults(TraceContext *ctx) {
    ctx->pfnFilter = DefaultFilter;
    ctx->pfnOutput = DefaultOutput;
    ctx->pHook = ctx;
}

TraceContext *Resolve(HTRACE hTrace) {
    if (hTrace == nullptr)
        return TraceInit(TRACE_VERSION, VmModuleHandle());
    return g_created && hTrace == &g_context ? hTrace : nullptr;
}

// Encodes one character; lone surrogates and values beyond Unicode become
// U+FFFD. Returns the number of bytes put into out (at most 4).
size_t EncodeUtf8(uint32_t c, char *out) {
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
        c = 0xFFFD;
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

// Converted in chunks on the stack, so writing allocates nothing and works
// at any time, static destructors included.
int32_t WriteUtf8(FILE *stream, const wchar_t *pszText) {
    if (pszText == nullptr)
        return -1;
    char chunk[1024];
    size_t used = 0;
    bool ok = true;
    for (const wchar_t *p = pszText; *p; ++p) {
        uint32_t c = static_cast<uint32_t>(*p);
        // Text that arrives as UTF-16 pairs is joined.
        if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(p[1]) - 0xDC00);
            ++p;
        }
        if (used > sizeof chunk - 4) {
            ok = fwrite(chunk, 1, used, stream) == used && ok;
            used = 0;
        }
        used += EncodeUtf8(c, chunk + used);
    }
    if (used > 0)
        ok = fwrite(chunk, 1, used, stream) == used && ok;
    return ok ? 0 : -1;
}

bool TracerAttached() {
    const int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // The field comes early; the file is made afresh on every read.
    char text[1024];
    ssize_t n;
    do
        n = read(fd, text, sizeof text - 1);
    while (n < 0 && errno == EINTR);
    close(fd);
    if (n <= 0)
        return false;
    text[n] = '\0';
    const char *field = strstr(text, "\nTracerPid:");
    return field != nullptr && strtol(field + 11, nullptr, 10) != 0;
}

// A debugger can attach at any time, but asking the kernel for every line
// of an allocation trace would be slow: the answer is kept for a moment.
bool DebuggerPresent() {
    static bool known = false;
    static bool attached = false;
    static struct timespec checked;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    long elapsedMs =
        (now.tv_sec - checked.tv_sec) * 1000 + (now.tv_nsec - checked.tv_nsec) / 1000000;
    if (!known || elapsedMs < 0 || elapsedMs >= 250) {
        attached = TracerAttached();
        checked = now;
        known = true;
    }
    return attached;
}

} // namespace

extern "C" {

const char *TraceIniPath(void) {
    static std::string path;
    const char *env = getenv("SNDPROBE_TRACE_INI");
    if (env != nullptr && *env != '\0') {
        path = env;
        return path.c_str();
    }
    const char *xdg = getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && *xdg != '\0') {
        path = std::string(xdg) + "/sndprobe/trace.ini";
        return path.c_str();
    }
    const char *home = getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const struct passwd *pw = getpwuid(getuid());
        home = pw != nullptr ? pw->pw_dir : "";
    }
    path = std::string(home) + "/.config/sndprobe/trace.ini";
    return path.c_str();
}

HTRACE TraceInit(uint32_t dwVersion, VMHINSTANCE hInstance) {
    if (dwVersion != TRACE_VERSION || hInstance == nullptr)
        return nullptr;
    if (g_created)
        return &g_context;
    TraceContext *ctx = &g_context;
    ctx->dwVersion = dwVersion;
    ctx->hInstance = hInstance;
    ctx->hProcess = VmCurrentProcess();
    const char *ini = TraceIniPath();
    ctx->nLevel = ClampLevel(ProfileGetInt(ini, kSection, kLevelKey, 0));
    ctx->bOutputToRead = false;
    ctx->szBuffer[0] = L'\0';
    ctx->pszBuffer = ctx->szBuffer;
    InstallDefaults(ctx);
    g_created = true;
    return ctx;
}

int32_t TraceV(HTRACE hTrace, int32_t nLevel, const wchar_t *pszFormat, va_list args) {
    TraceContext *ctx = Resolve(hTrace);
    if (ctx == nullptr)
        return -1;
    if (!ctx->pfnFilter(ctx->pHook, nLevel, 0, 0))
        return 0;
    WidePrintfV(ctx->pszBuffer, TRACE_BUFFER_CHARS, pszFormat, args);
    return TraceText(ctx, nLevel, ctx->pszBuffer);
}

int32_t Trace(HTRACE hTrace, int32_t nLevel, const wchar_t *pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    int32_t result = TraceV(hTrace, nLevel, pszFormat, args);
    va_end(args);
    return result;
}

int32_t TraceText(HTRACE hTrace, int32_t nLevel, const wchar_t *pszText) {
    TraceContext *ctx = Resolve(hTrace);
    if (ctx == nullptr || pszText == nullptr)
        return -1;
    if (!ctx->pfnFilter(ctx->pHook, nLevel, 0, 0))
        return 0;
    return ctx->pfnOutput(ctx->pHook, static_cast<uint32_t>(nLevel), pszText, 0, 0) == 0 ? 0 : -1;
}

int32_t TraceIsEnabled(HTRACE hTrace, int32_t nLevel) {
    TraceContext *ctx = Resolve(hTrace);
    if (ctx == nullptr)
        return 0;
    return ctx->pfnFilter(ctx->pHook, nLevel, 0, 0);
}

int32_t TraceGetLevel(HTRACE hTrace) {
    TraceContext *ctx = Resolve(hTrace);
    return ctx == nullptr ? -1 : ctx->nLevel;
}

int32_t TraceSetLevel(HTRACE hTrace, int32_t nLevel) {
    TraceContext *ctx = Resolve(hTrace);
    if (ctx == nullptr)
        return -1;
    if (nLevel == -1) {
        ctx->nLevel = ClampLevel(ProfileGetInt(TraceIniPath(), kSection, kLevelKey, 0));
        return 0;
    }
    if (nLevel < 0 || nLevel > 9) {
        TracePosition(L"TRACE", 1);
        return -1;
    }
    if (nLevel == ctx->nLevel)
        return 0;
    ctx->nLevel = nLevel;
    char text[4];
    snprintf(text, sizeof text, "%d", static_cast<int>(nLevel));
    if (ProfileWriteString(TraceIniPath(), kSection, kLevelKey, text) != 0) {
        TracePosition(L"TRACE", 2);
        return -1;
    }
    return 0;
}

int32_t TraceSetHooks(HTRACE hTrace, void *pHook, TraceFilterProc pfnFilter,
                      TraceOutputProc pfnOutput) {
    TraceContext *ctx = Resolve(hTrace);
    if (ctx == nullptr)
        return -1;
    InstallDefaults(ctx);
    if (pfnFilter != nullptr && pfnOutput != nullptr) {
        ctx->pfnFilter = pfnFilter;
        ctx->pfnOutput = pfnOutput;
        ctx->pHook = pHook;
    }
    return 0;
}

int32_t TracePosition(const wchar_t *pszUnit, uint32_t nPosition) {
    return Trace(nullptr, TRACE_ERROR, kPositionFormat, pszUnit, nPosition);
}

int32_t TraceCode(const wchar_t *pszUnit, int32_t nCode) {
    return Trace(nullptr, TRACE_ERROR, kPositionFormat, pszUnit, uint32_t(nCode));
}

int32_t TraceWriteDebugger(const wchar_t *pszText) {
    if (pszText == nullptr)
        return -1;
    if (!DebuggerPresent())
        return 0;
    return WriteUtf8(stderr, pszText);
}

int32_t TraceWriteStdout(const wchar_t *pszText) {
    return WriteUtf8(stdout, pszText);
}

} // extern "C"
