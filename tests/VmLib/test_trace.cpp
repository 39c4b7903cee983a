#include <gtest/gtest.h>

#include <sys/wait.h>

#include <string>

#include "VmLib/trace.h"
#include "VmLib/trace_capture.h"

namespace {

// Points "trace.ini" at path and makes the context read its level again.
void UseIni(const std::string &path) {
    setenv("SNDPROBE_TRACE_INI", path.c_str(), 1);
    ASSERT_EQ(TraceSetLevel(nullptr, -1), 0);
}

TEST(Trace, LevelFromIniFiltersLines) {
    TempDir dir;
    UseIni(dir / "absent.ini");
    for (int32_t level = -1; level <= 9; ++level)
        EXPECT_EQ(TraceIsEnabled(nullptr, level), 0) << level;

    WriteText(dir / "trace.ini", "[other]\nLevel=9\n[trace]\n  level = 3 \n");
    UseIni(dir / "trace.ini");
    EXPECT_EQ(TraceGetLevel(nullptr), 3);
    for (int32_t level = -1; level <= 9; ++level)
        EXPECT_EQ(TraceIsEnabled(nullptr, level) != 0, level >= 1 && level <= 3) << level;
}

TEST(Trace, SetLevelWritesBackAndRefuses) {
    TempDir dir;
    const std::string before =
        "; kept\r\n[TRACE]\r\nOutputTo=2\r\nLevel=3\r\n\r\n[Next]\r\nLevel=8\r\n";
    WriteText(dir / "trace.ini", before);
    UseIni(dir / "trace.ini");
    {
        TraceCapture capture(3);
        EXPECT_EQ(TraceSetLevel(nullptr, 10), -1);
        EXPECT_EQ(TraceSetLevel(nullptr, -2), -1);
        EXPECT_EQ(capture.Positions(L"TRACE"), 2u);
    }
    EXPECT_EQ(TraceGetLevel(nullptr), 3);
    EXPECT_EQ(ReadText(dir / "trace.ini"), before);

    EXPECT_EQ(TraceSetLevel(nullptr, 4), 0);
    EXPECT_EQ(TraceGetLevel(nullptr), 4);
    EXPECT_EQ(ReadText(dir / "trace.ini"),
              "; kept\r\n[TRACE]\r\nOutputTo=2\r\nLevel=4\r\n\r\n[Next]\r\nLevel=8\r\n");

    // The current value is not written again.
    std::filesystem::remove(dir / "trace.ini");
    EXPECT_EQ(TraceSetLevel(nullptr, 4), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "trace.ini"));

    // -1 reads what is stored now; a missing key goes into its section.
    WriteText(dir / "trace.ini", "[TRACE]\nOutputTo=1\n[Other]\nx=1\n");
    EXPECT_EQ(TraceSetLevel(nullptr, -1), 0);
    EXPECT_EQ(TraceGetLevel(nullptr), 0);
    EXPECT_EQ(TraceSetLevel(nullptr, 6), 0);
    EXPECT_EQ(ReadText(dir / "trace.ini"), "[TRACE]\nOutputTo=1\nLevel=6\n[Other]\nx=1\n");

    // A missing file and folder are created.
    UseIni(dir / "sub/dir/trace.ini");
    EXPECT_EQ(TraceSetLevel(nullptr, 2), 0);
    EXPECT_EQ(ReadText(dir / "sub/dir/trace.ini"), "[TRACE]\nLevel=2\n");

    // A write-back that cannot happen is reported; the level still holds.
    WriteText(dir / "file", "");
    UseIni(dir / "file/trace.ini");
    EXPECT_EQ(TraceSetLevel(nullptr, 5), -1);
    EXPECT_EQ(TraceGetLevel(nullptr), 5);
}

TEST(Trace, HooksReceiveTextAndNullsRestoreDefaults) {
    TempDir dir;
    UseIni(dir / "absent.ini");
    TraceFilterProc all = [](void *, int32_t, uintptr_t, uintptr_t) -> int32_t { return 1; };
    {
        TraceCapture capture(4);
        EXPECT_EQ(Trace(nullptr, 4, L"%s(%u) : %ld\n", L"unit", 12u, -5), 0);
        EXPECT_EQ(Trace(nullptr, 5, L"filtered %d\n", 1), 0);
        EXPECT_EQ(Trace(nullptr, 0, L"level zero\n"), 0);
        EXPECT_EQ(TracePosition(L"unit", 42), 0);
        EXPECT_EQ(TraceText(nullptr, 1, L"as it stands %d"), 0);
        EXPECT_EQ(TraceText(nullptr, 1, nullptr), -1);
        EXPECT_EQ(capture.Text(), L"unit(12) : -5\nunit(42) : *** TracePosition\nas it stands %d");

        // One null restores the defaults: the capture sees nothing more.
        EXPECT_EQ(TraceSetHooks(nullptr, &capture, all, nullptr), 0);
        capture.Clear();
        EXPECT_EQ(TracePosition(L"unit", 1), 0);
        EXPECT_EQ(capture.Text(), L"");
    }
    // An output that fails makes the trace call fail.
    TraceOutputProc failing = [](void *, uint32_t, const wchar_t *, uintptr_t,
                                 uintptr_t) -> int32_t { return 7; };
    EXPECT_EQ(TraceSetHooks(nullptr, nullptr, all, failing), 0);
    EXPECT_EQ(Trace(nullptr, 1, L"x"), -1);
    EXPECT_EQ(TraceSetHooks(nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(Trace(nullptr, 1, L"x"), 0);
}

TEST(Trace, ContextChecksAndLongLines) {
    HTRACE h = TraceInit(TRACE_VERSION, VmModuleHandle());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(TraceInit(TRACE_VERSION, &h), h);
    EXPECT_EQ(TraceInit(TRACE_VERSION - 1, VmModuleHandle()), nullptr);
    EXPECT_EQ(TraceInit(TRACE_VERSION, nullptr), nullptr);
    auto *foreign = reinterpret_cast<HTRACE>(&h);
    EXPECT_EQ(Trace(foreign, 1, L"x"), -1);
    EXPECT_EQ(TraceGetLevel(foreign), -1);
    EXPECT_EQ(TraceSetHooks(foreign, nullptr, nullptr, nullptr), -1);

    TraceCapture capture(1);
    std::wstring longText(TRACE_BUFFER_CHARS + 500, L'w');
    EXPECT_EQ(Trace(h, 1, L"<%s>", longText.c_str()), 0);
    EXPECT_EQ(capture.Text(), L"<" + longText.substr(0, TRACE_BUFFER_CHARS - 2));
}

TEST(TraceChild, WritesThroughDefaults) {
    if (getenv("VMLIB_TRACE_CHILD") == nullptr)
        GTEST_SKIP() << "runs only as the child of TraceStartup";
    Trace(nullptr, 1, L"caf\u00e9 \u20ac %d\n", 5);
    TracePosition(L"unit", 7);
    Trace(nullptr, 4, L"hidden\n");
    Trace(nullptr, 1, L"<%s>\n", std::wstring(3000, L'\u20ac').c_str());
    fflush(stdout);
}

// Runs the test above in a fresh process, whose context is created from
// trace.ini; returns its standard output and error.
void RunChild(const TempDir &dir, std::string &out, std::string &err) {
    setenv("SNDPROBE_TRACE_INI", (dir / "trace.ini").c_str(), 1);
    const std::string command =
        "VMLIB_TRACE_CHILD=1 " + std::filesystem::read_symlink("/proc/self/exe").string() +
        " --gtest_filter=TraceChild.* >" + (dir / "out") + " 2>" + (dir / "err");
    const int status = system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    out = ReadText(dir / "out");
    err = ReadText(dir / "err");
}

TEST(TraceStartup, OutputToChoosesTheChannel) {
    if (ReadText("/proc/self/status").find("TracerPid:\t0\n") == std::string::npos)
        GTEST_SKIP() << "a debugger is attached";
    TempDir dir;
    std::string out, err;
    WriteText(dir / "trace.ini", "[TRACE]\nLevel=3\nOutputTo=2\n");
    RunChild(dir, out, err);
    EXPECT_NE(out.find("caf\xc3\xa9 \xe2\x82\xac 5\nunit(7) : *** TracePosition\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("hidden"), std::string::npos);
    std::string euros;
    for (int i = 0; i < 3000; ++i)
        euros += "\xe2\x82\xac";
    EXPECT_NE(out.find("<" + euros + ">\n"), std::string::npos);
    EXPECT_EQ(err.find("unit(7)"), std::string::npos);

    // The debugger channel drops everything while no debugger is attached.
    WriteText(dir / "trace.ini", "[TRACE]\nLevel=3\n");
    RunChild(dir, out, err);
    EXPECT_NE(out.find("[       OK ] TraceChild"), std::string::npos) << out;
    EXPECT_EQ(out.find("unit(7)"), std::string::npos);
    EXPECT_EQ(err.find("unit(7)"), std::string::npos);
}

} // namespace
