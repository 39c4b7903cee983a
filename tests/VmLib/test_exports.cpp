#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "VmLib/vmlib.h"

namespace {

// Every name libsndprobe.so exports from here (add each new one), and
// internal functions with C linkage that must stay hidden.
const char kExported[] = "MemInit MemTerm MemAllocEx MemReAllocEx MemFreeEx MemSize ArrayCreate "
                         "ArrayDestroy ArrayGetSize ArrayGetUpperBound ArraySetSize ArrayFreeExtra "
                         "ArrayRemoveAll ArrayGetAt ArraySetAt ArraySetAtGrow ArrayAdd "
                         "ArrayInsertAt ArrayRemoveAt ArraySort ArraySearch Sort SortCompareBool "
                         "SortCompareShort SortCompareLong SortCompareString SortCompareNull";
const char kHidden[] = "Trace TracePosition TraceSetLevel HandleIsLive";

TEST(Exports, EveryNameResolvesAndInternalsStayHidden) {
    // Tests are built into the same folder as the library.
    const char *dir = getenv("SNDPROBE_BIN_DIR");
    std::filesystem::path folder =
        dir != nullptr ? std::filesystem::path(dir)
                       : std::filesystem::read_symlink("/proc/self/exe").parent_path();
    void *lib = dlopen((folder / "libsndprobe.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    std::istringstream exported(kExported), hidden(kHidden);
    for (std::string name; exported >> name;)
        EXPECT_NE(dlsym(lib, name.c_str()), nullptr) << name;
    for (std::string name; hidden >> name;)
        EXPECT_EQ(dlsym(lib, name.c_str()), nullptr) << name;

    // The resolved functions work on the library's own allocator.
    auto alloc = reinterpret_cast<decltype(&MemAllocEx)>(dlsym(lib, "MemAllocEx"));
    auto size = reinterpret_cast<decltype(&MemSize)>(dlsym(lib, "MemSize"));
    auto release = reinterpret_cast<decltype(&MemFreeEx)>(dlsym(lib, "MemFreeEx"));
    ASSERT_TRUE(alloc && size && release);
    void *p = alloc(nullptr, 24, 0, L"exports", __LINE__);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(size(nullptr, p), 24u);
    EXPECT_EQ(MemSize(nullptr, p), 0u); // unknown to the statically linked copy
    EXPECT_EQ(release(nullptr, p, L"exports", __LINE__), nullptr);
    dlclose(lib);
}

} // namespace
