#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "sndkit/args.h"

namespace {

// Every name other programs load from libsndprobe.so, and internals that must not leak.
const char kExternal[] =
    "DetectInit DetectProcessBlock DetectTerm GoertzelInit GoertzelProcessBlock GoertzelTerm "
    "GetArgOption GetArgString GetArgInt GetArgBool GetArgFloat AcmArgInit AcmArgTerm "
    "WavFormatGetArgOption MemInit MemTerm MemAllocEx MemReAllocEx MemFreeEx MemSize "
    "ArrayCreate ArrayDestroy ArrayGetSize ArrayGetUpperBound ArraySetSize ArrayFreeExtra "
    "ArrayRemoveAll ArrayGetAt ArraySetAt ArraySetAtGrow ArrayAdd ArrayInsertAt ArrayRemoveAt "
    "ArraySort ArraySearch Sort SortCompareBool SortCompareShort SortCompareLong "
    "SortCompareString SortCompareNull SndProbeMain";
const char kInternal[] =
    "NextToken ParseLevel StrDuplicate OnDetectEvent StripFile PrintLevelTable";

TEST(ExportsAll, ExternalInterfacesResolveByName) {
    const char *dir = getenv("SNDPROBE_BIN_DIR");
    std::string path =
        (dir && *dir ? std::filesystem::path(dir)
                     : std::filesystem::read_symlink("/proc/self/exe").parent_path()) /
        "libsndprobe.so";
    void *lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    std::istringstream external(kExternal), internal(kInternal);
    for (std::string name; external >> name;)
        EXPECT_NE(dlsym(lib, name.c_str()), nullptr) << name;
    for (std::string name; internal >> name;)
        EXPECT_EQ(dlsym(lib, name.c_str()), nullptr) << name;

    auto getInt = reinterpret_cast<decltype(&GetArgInt)>(dlsym(lib, "GetArgInt"));
    ASSERT_NE(getInt, nullptr);
    wchar_t prog[] = L"prog", block[] = L"/BLOCK:250";
    wchar_t *argv[] = {prog, block};
    EXPECT_EQ(getInt(1, 2, argv, L"block", 1000), 250);
    dlclose(lib);
}

} // namespace
