// Codec drivers loaded through -acm, the built-in driver table and the
// format option lookup.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "VmLib/vmapi.h"
#include "sndkit/acmarg.h"
#include "sndkit/trace.h"
#include "vmwav/vmwav.h"

namespace {

const char kDriver[] = "libvmwav_testdriver.so";

// The programs' folder; the test programs are built into it as well.
std::string BinDir() {
    if (const char *d = getenv("SNDPROBE_BIN_DIR"))
        return d;
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path(self, n > 0 ? size_t(n) : 0);
    return path.substr(0, path.rfind('/'));
}

// Level-1 lines written while it lives.
class Messages {
  public:
    Messages() { TraceSetHooks(nullptr, this, Filter, Output); }
    ~Messages() { TraceSetHooks(nullptr, nullptr, nullptr, nullptr); }
    std::vector<std::wstring> lines;

  private:
    static int32_t Filter(void *, int32_t nLevel, uintptr_t, uintptr_t) { return nLevel == 1; }
    static int32_t Output(void *p, uint32_t, const wchar_t *psz, uintptr_t, uintptr_t) {
        static_cast<Messages *>(p)->lines.push_back(psz);
        return 0;
    }
};

// How many loads of the test driver are live, read from the driver itself.
class DriverCount {
  public:
    DriverCount() {
        lib_ = dlopen((BinDir() + "/" + kDriver).c_str(), RTLD_NOW);
        if (lib_ != nullptr)
            count_ = reinterpret_cast<int (*)()>(dlsym(lib_, "TestDriverLoadCount"));
    }
    ~DriverCount() {
        if (lib_ != nullptr)
            dlclose(lib_);
    }
    int operator()() const { return count_ != nullptr ? count_() : -1; }

  private:
    void *lib_ = nullptr;
    int (*count_)() = nullptr;
};

TEST(AcmArg, NamedDriversLoadFromTheProgramFolderUpToSixteen) {
    DriverCount count;
    ASSERT_EQ(count(), 0);
    std::vector<std::wstring> args = {L"sndprobe", L"in.wav", L"-acm:missing.acm,1,36",
                                      L"/ACM:libvmwav_sndfile.so"};
    for (int i = 0; i < 17; ++i)
        args.push_back(L"-acm:libvmwav_testdriver.so,1,36");
    std::vector<wchar_t *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    Messages messages;
    HACMARG h = AcmArgInit(ACMARG_VERSION, VmModuleHandle(), int32_t(argv.size()), argv.data(), 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(count(), 16);
    // A missing file, one without the entry point, and the seventeenth driver.
    EXPECT_EQ(messages.lines, (std::vector<std::wstring>{
                                  L"sndprobe: unable to load codec: missing.acm\n",
                                  L"sndprobe: unable to load codec: libvmwav_sndfile.so\n",
                                  L"sndprobe: unable to load codec: libvmwav_testdriver.so\n"}));
    EXPECT_EQ(AcmArgTerm(h), 0);
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(AcmArgTerm(h), -1);
}

TEST(AcmArg, ABareOptionTriesTheWholeTableAndTheRunGoesOn) {
    std::vector<std::wstring> args = {L"sndprobe", L"-acm", L"-acm:libvmwav_testdriver.so"};
    std::vector<wchar_t *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    DriverCount count;
    Messages messages;
    HACMARG h = AcmArgInit(ACMARG_VERSION, VmModuleHandle(), int32_t(argv.size()), argv.data(), 0);
    ASSERT_NE(h, nullptr);
    const std::vector<std::wstring> table = {
        L"msg711.acm",   L"msgsm32.acm",  L"vmvox.acm",   L"g726.acm",    L"l3codeca.acm",
        L"l3codecp.acm", L"sl_g729a.acm", L"sl_g723.acm", L"msaud32.acm", L"emg726.dll"};
    ASSERT_EQ(messages.lines.size(), table.size());
    for (size_t i = 0; i < table.size(); ++i)
        EXPECT_EQ(messages.lines[i], L"unable to load codec: " + table[i] + L"\n");
    EXPECT_EQ(count(), 1);
    EXPECT_EQ(AcmArgTerm(h), 0);
    EXPECT_EQ(AcmArgInit(ACMARG_VERSION + 1, VmModuleHandle(), 0, nullptr, 0), nullptr);
    EXPECT_EQ(AcmArgInit(ACMARG_VERSION, nullptr, 0, nullptr, 0), nullptr);
}

TEST(Acm, DriversAreCheckedAndReleasedWithTheirContext) {
    DriverCount count;
    EXPECT_EQ(AcmInit(ACM_VERSION - 1, VmModuleHandle()), nullptr);
    HACMCONTEXT acm = AcmInit(ACM_VERSION, VmModuleHandle());
    HACMCONTEXT other = AcmInit(ACM_VERSION, VmModuleHandle());
    ASSERT_NE(acm, nullptr);
    const std::string bin = BinDir();
    const std::wstring full(bin.begin(), bin.end());
    HACMDRIVER d1 =
        AcmDriverLoad(acm, 1, 36, (full + L"/libvmwav_testdriver.so").c_str(), "DriverProc", 0);
    HACMDRIVER d2 = AcmDriverLoad(acm, 1, 37, L"libvmwav_testdriver.so", "DriverProc", 0);
    ASSERT_NE(d1, nullptr);
    ASSERT_NE(d2, nullptr);
    EXPECT_EQ(AcmDriverLoad(acm, 1, 36, L"libvmwav_testdriver.so", "NoSuchEntry", 0), nullptr);
    EXPECT_EQ(count(), 2);
    EXPECT_EQ(AcmDriverUnload(other, d1), -1) << "not its context";
    EXPECT_EQ(AcmDriverUnload(acm, d1), 0);
    EXPECT_EQ(AcmDriverUnload(acm, d1), -1) << "already unloaded";
    setenv("VMWAV_TESTDRIVER_REFUSE", "1", 1);
    EXPECT_EQ(AcmDriverLoad(acm, 1, 36, L"libvmwav_testdriver.so", "DriverProc", 0), nullptr);
    unsetenv("VMWAV_TESTDRIVER_REFUSE");
    EXPECT_EQ(AcmTerm(acm), 0);
    EXPECT_EQ(count(), 0) << "the context took its last driver along";
    EXPECT_EQ(AcmTerm(acm), -1);
    EXPECT_EQ(AcmTerm(other), 0);
}

TEST(WavFormatArg, NamesAreSearchedInListOrder) {
    std::vector<std::wstring> args = {L"file.wav", L"-GSM:8000", L"-alaw:1", L"/mulaw:2"};
    std::vector<wchar_t *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    wchar_t value[16];
    EXPECT_EQ(WavFormatGetArgOption(0, 2, argv.data(), 0, value, 16), 1);
    EXPECT_STREQ(value, L"8000");
    EXPECT_EQ(WavFormatGetArgOption(0, 4, argv.data(), 0, value, 16), 3) << "mulaw before alaw";
    EXPECT_STREQ(value, L"2");
    EXPECT_EQ(WavFormatGetArgOption(0, 2, argv.data(), 0, value, 3), 1);
    EXPECT_STREQ(value, L"80") << "cut to the buffer";
    EXPECT_EQ(WavFormatGetArgOption(2, 3, argv.data(), 0, nullptr, 0), 2);
    EXPECT_EQ(WavFormatGetArgOption(0, 1, argv.data(), 0, value, 16), -1);
}

TEST(SharedLibrary, ExportsTheCodecOptionsAndStartsWithoutTheCodecModule) {
    void *lib = dlopen((BinDir() + "/libsndprobe.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    for (const char *name : {"AcmArgInit", "AcmArgTerm", "WavFormatGetArgOption"})
        EXPECT_NE(dlsym(lib, name), nullptr) << name;
    EXPECT_EQ(dlsym(lib, "AcmDriverLoadAll"), nullptr) << "internal";
    EXPECT_EQ(dlopen("libsndfile.so.1", RTLD_NOW | RTLD_NOLOAD), nullptr);
    dlclose(lib);
}

} // namespace
