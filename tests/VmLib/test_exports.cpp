#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "VmLib/vmlib.h"

namespace {

// Every name libsndprobe.so exports. Add each new export here.
const char *const kExportedNames[] = {
    "MemInit",         "MemTerm",
    "MemAllocEx",      "MemReAllocEx",
    "MemFreeEx",       "MemSize",
    "ArrayCreate",     "ArrayDestroy",
    "ArrayGetSize",    "ArrayGetUpperBound",
    "ArraySetSize",    "ArrayFreeExtra",
    "ArrayRemoveAll",  "ArrayGetAt",
    "ArraySetAt",      "ArraySetAtGrow",
    "ArrayAdd",        "ArrayInsertAt",
    "ArrayRemoveAt",   "ArraySort",
    "ArraySearch",     "Sort",
    "SortCompareBool", "SortCompareShort",
    "SortCompareLong", "SortCompareString",
    "SortCompareNull",
};

// Internal functions with C linkage that must stay hidden.
const char *const kHiddenNames[] = {"Trace", "TracePosition", "TraceSetLevel", "HandleIsLive"};

struct Library {
    void *handle = nullptr;
    Library() {
        // Tests are built into the same folder as the library.
        const char *dir = getenv("SNDPROBE_BIN_DIR");
        std::filesystem::path folder =
            dir != nullptr ? std::filesystem::path(dir)
                           : std::filesystem::read_symlink("/proc/self/exe").parent_path();
        std::string path = (folder / "libsndprobe.so").string();
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    ~Library() {
        if (handle != nullptr)
            dlclose(handle);
    }
    template <typename F> F Get(const char *name) const {
        return reinterpret_cast<F>(dlsym(handle, name));
    }
};

TEST(Exports, EveryNameResolvesAndInternalsStayHidden) {
    Library lib;
    ASSERT_NE(lib.handle, nullptr) << dlerror();
    for (const char *name : kExportedNames)
        EXPECT_NE(dlsym(lib.handle, name), nullptr) << name;
    for (const char *name : kHiddenNames)
        EXPECT_EQ(dlsym(lib.handle, name), nullptr) << name;

    // The resolved functions work on their own state inside the library.
    auto create = lib.Get<decltype(&ArrayCreate)>("ArrayCreate");
    auto add = lib.Get<decltype(&ArrayAdd)>("ArrayAdd");
    auto sort = lib.Get<decltype(&ArraySort)>("ArraySort");
    auto getAt = lib.Get<decltype(&ArrayGetAt)>("ArrayGetAt");
    auto destroy = lib.Get<decltype(&ArrayDestroy)>("ArrayDestroy");
    auto compareLong = lib.Get<PFNSORTCOMPARE>("SortCompareLong");
    auto alloc = lib.Get<decltype(&MemAllocEx)>("MemAllocEx");
    auto size = lib.Get<decltype(&MemSize)>("MemSize");
    auto release = lib.Get<decltype(&MemFreeEx)>("MemFreeEx");
    ASSERT_TRUE(create && add && sort && getAt && destroy && compareLong && alloc && size &&
                release);

    HVMARRAY h = create(MEM_VERSION, &lib);
    ASSERT_NE(h, nullptr);
    for (uintptr_t v : {3u, 1u, 2u})
        ASSERT_GE(add(h, v), 0);
    ASSERT_EQ(sort(h, compareLong), 0);
    EXPECT_EQ(getAt(h, 0), 1u);
    EXPECT_EQ(getAt(h, 2), 3u);
    EXPECT_EQ(destroy(h), 0);
    // A handle of the statically linked copy is foreign to the library's own.
    HVMARRAY local = ArrayCreate(MEM_VERSION, VmModuleHandle());
    ASSERT_NE(local, nullptr);
    EXPECT_EQ(add(local, 1), -1);
    EXPECT_EQ(ArrayDestroy(local), 0);

    void *p = alloc(nullptr, 24, 0, L"exports", __LINE__);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(size(nullptr, p), 24u);
    EXPECT_EQ(release(nullptr, p, L"exports", __LINE__), nullptr);
}

} // namespace
