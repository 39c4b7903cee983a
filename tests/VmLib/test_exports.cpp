// Other programs load libsndprobe.so and call its functions by name; which
// names it exports is checked against sndprobe.h by sndprobe_header_exports.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include "common/files.h"
#include "sndprobe.h"

namespace {

TEST(Exports, FunctionsCalledByNameWorkOnTheLibrarysOwnState) {
    void *lib = dlopen((BinDir() + "/libsndprobe.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();

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
