// Codec drivers loaded through -acm, the built-in driver table and the
// format option lookup.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "VmLib/trace_capture.h"
#include "VmLib/vmapi.h"
#include "sndkit/acmarg.h"
#include "vmwav/vmwav.h"

namespace {

// How many loads of the test driver are live, read from the driver itself,
// which stays loaded so that its count survives the library's unloads.
int DriverLoads() {
    static void *lib = dlopen((BinDir() + "/libvmwav_testdriver.so").c_str(), RTLD_NOW);
    static auto count =
        lib ? reinterpret_cast<int (*)()>(dlsym(lib, "TestDriverLoadCount")) : nullptr;
    return count ? count() : -1;
}

// AcmArgInit on these arguments, which it does not keep.
HACMARG Init(std::vector<std::wstring> args) {
    std::vector<wchar_t *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    return AcmArgInit(ACMARG_VERSION, VmModuleHandle(), int32_t(argv.size()), argv.data(), 0);
}

TEST(AcmArg, NamedDriversLoadFromTheProgramFolderUpToSixteen) {
    ASSERT_EQ(DriverLoads(), 0);
    std::vector<std::wstring> args = {L"sndprobe", L"in.wav", L"-acm:missing.acm,1,36",
                                      L"/ACM:libvmwav_sndfile.so"};
    args.resize(args.size() + 17, L"-acm:libvmwav_testdriver.so,1,36");
    TraceCapture messages(1);
    HACMARG h = Init(args);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(DriverLoads(), 16);
    // A missing file, one without the entry point, and the seventeenth driver.
    EXPECT_EQ(messages.Lines(), (std::vector<std::wstring>{
                                    L"sndprobe: unable to load codec: missing.acm\n",
                                    L"sndprobe: unable to load codec: libvmwav_sndfile.so\n",
                                    L"sndprobe: unable to load codec: libvmwav_testdriver.so\n"}));
    EXPECT_EQ(AcmArgTerm(h), 0);
    EXPECT_EQ(DriverLoads(), 0);
    EXPECT_EQ(AcmArgTerm(h), -1);
}

TEST(AcmArg, ABareOptionTriesTheWholeTableAndTheRunGoesOn) {
    TraceCapture messages(1);
    HACMARG h = Init({L"sndprobe", L"-acm", L"-acm:libvmwav_testdriver.so"});
    ASSERT_NE(h, nullptr);
    // None of the table's ten drivers is here; each is reported, none stops the run.
    EXPECT_EQ(messages.Count(L"unable to load codec: "), 10u);
    EXPECT_EQ(DriverLoads(), 1);
    EXPECT_EQ(AcmArgTerm(h), 0);
    EXPECT_EQ(AcmArgInit(ACMARG_VERSION + 1, VmModuleHandle(), 0, nullptr, 0), nullptr);
    EXPECT_EQ(AcmArgInit(ACMARG_VERSION, nullptr, 0, nullptr, 0), nullptr);
}

TEST(Acm, DriversAreCheckedAndReleasedWithTheirContext) {
    EXPECT_EQ(AcmInit(ACM_VERSION - 1, VmModuleHandle()), nullptr);
    HACMCONTEXT acm = AcmInit(ACM_VERSION, VmModuleHandle());
    HACMCONTEXT other = AcmInit(ACM_VERSION, VmModuleHandle());
    ASSERT_NE(acm, nullptr);
    const std::string full = BinDir() + "/libvmwav_testdriver.so";
    HACMDRIVER d1 = AcmDriverLoad(acm, 1, 36, Wide(full).c_str(), "DriverProc", 0);
    HACMDRIVER d2 = AcmDriverLoad(acm, 1, 37, L"libvmwav_testdriver.so", "DriverProc", 0);
    ASSERT_NE(d1, nullptr);
    ASSERT_NE(d2, nullptr);
    EXPECT_EQ(AcmDriverLoad(acm, 1, 36, L"libvmwav_testdriver.so", "NoSuchEntry", 0), nullptr);
    EXPECT_EQ(DriverLoads(), 2);
    EXPECT_EQ(AcmDriverUnload(other, d1), -1) << "not its context";
    EXPECT_EQ(AcmDriverUnload(acm, d1), 0);
    EXPECT_EQ(AcmDriverUnload(acm, d1), -1) << "already unloaded";
    setenv("VMWAV_TESTDRIVER_REFUSE", "1", 1);
    EXPECT_EQ(AcmDriverLoad(acm, 1, 36, L"libvmwav_testdriver.so", "DriverProc", 0), nullptr);
    unsetenv("VMWAV_TESTDRIVER_REFUSE");
    EXPECT_EQ(AcmTerm(acm), 0);
    EXPECT_EQ(DriverLoads(), 0) << "the context took its last driver along";
    EXPECT_EQ(AcmTerm(acm), -1);
    EXPECT_EQ(AcmTerm(other), 0);
}

TEST(WavFormatArg, NamesAreSearchedInListOrder) {
    wchar_t a0[] = L"file.wav", a1[] = L"-GSM:8000", a2[] = L"-alaw:1", a3[] = L"/mulaw:2";
    wchar_t *argv[] = {a0, a1, a2, a3}, value[16];
    EXPECT_EQ(WavFormatGetArgOption(0, 2, argv, 0, value, 16), 1);
    EXPECT_STREQ(value, L"8000");
    EXPECT_EQ(WavFormatGetArgOption(0, 4, argv, 0, value, 16), 3) << "mulaw before alaw";
    EXPECT_STREQ(value, L"2");
    EXPECT_EQ(WavFormatGetArgOption(0, 2, argv, 0, value, 3), 1);
    EXPECT_STREQ(value, L"80") << "cut to the buffer";
    EXPECT_EQ(WavFormatGetArgOption(2, 3, argv, 0, nullptr, 0), 2);
    EXPECT_EQ(WavFormatGetArgOption(0, 1, argv, 0, value, 16), -1);
}

// Which names it exports is checked by sndprobe_header_exports.
TEST(SharedLibrary, StartsWithoutTheCodecModule) {
    void *lib = dlopen((BinDir() + "/libsndprobe.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    EXPECT_EQ(dlopen("libsndfile.so.1", RTLD_NOW | RTLD_NOLOAD), nullptr);
    dlclose(lib);
}

} // namespace
