// Fuzz target: the registry store's parser and writer. The input is the
// whole store file. Every read of it must come back (a value, or the
// caller's default) without a crash; a type code other than 1, 3 and 4 on
// an existing key raises 1001 and nothing else. Once the store parses:
// - a key made and values written read back exactly as written;
// - writing keeps every value that could be read before as it was;
// - the file written is the writer's fixed point: writing the same value
//   again leaves it byte for byte as it was.
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "AppError.h"
#include "RegistryAPI.h"

using namespace brevita;

namespace {

std::string g_file;

void Check(bool ok) {
    if (!ok)
        __builtin_trap();
}

std::string ReadAll() {
    std::ifstream in(g_file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The keys and values Brevita reads, and a few the input may make up. (None
// above the key the target makes: making it makes them exist.)
const char *const kKeys[] = {"SOFTWARE\\Velmora\\Ostrel\\1.0", "Software\\Velmora\\Brevita", "a"};
const char *const kNames[] = {"Root Path", "SilenceLevel", ""};

// Every probe as read now; a type code that is refused reads as "refused".
std::vector<RegValue> ReadProbes() {
    std::vector<RegValue> out;
    for (const char *key : kKeys) {
        const bool exists = KeyExists(HKEY_LOCAL_MACHINE, key);
        out.emplace_back(int32_t{exists});
        for (const char *name : kNames) {
            for (int32_t type : {REG_SZ, REG_BINARY, REG_DWORD}) {
                out.push_back(GetRegistryValue(HKEY_LOCAL_MACHINE, key, name, type,
                                               std::string("(default)")));
            }
        }
        try {
            GetRegistryValue(HKEY_LOCAL_MACHINE, key, "Root Path", 2, int32_t{0});
            Check(!exists);
        } catch (const AppError &e) {
            Check(exists && e.Number() == ErrRaised);
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    const char *base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string dir = std::string(base) + "/fuzz_registry.XXXXXX";
    if (!mkdtemp(dir.data()))
        abort();
    g_file = dir + "/registry.reg";
    setenv("BREVITA_REGISTRY", g_file.c_str(), 1);
    static std::string scratch = dir;
    atexit([] { std::filesystem::remove_all(scratch); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    {
        std::ofstream out(g_file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data), std::streamsize(size));
    }
    const std::vector<RegValue> before = ReadProbes();

    // Making a key writes the store; it can only do so once it has read it.
    try {
        CreateRegistryKey(HKEY_LOCAL_MACHINE, "Software\\Fuzz\\Key");
    } catch (const AppError &e) {
        Check(e.Number() == ErrRaised);
        Check(ReadAll() == std::string(reinterpret_cast<const char *>(data), size));
        return 0;
    }
    Check(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Fuzz\\Key"));
    Check(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Fuzz"));

    // Values made of the input itself, so that its odd bytes are written.
    std::string text(reinterpret_cast<const char *>(data), std::min<size_t>(size, 1023));
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    const std::vector<uint8_t> bytes(data, data + std::min<size_t>(size, 4096));
    int32_t number = 0;
    memcpy(&number, data, std::min<size_t>(size, 4));
    const char *key = "Software\\Fuzz\\Key";
    SetRegistryValue(HKEY_LOCAL_MACHINE, key, "text", REG_SZ, text);
    SetRegistryValue(HKEY_LOCAL_MACHINE, key, "bytes", REG_BINARY, bytes);
    SetRegistryValue(HKEY_LOCAL_MACHINE, key, "number", REG_DWORD, number);
    Check(GetRegistryValue(HKEY_LOCAL_MACHINE, key, "text", REG_SZ, int32_t{-1}) == RegValue(text));
    Check(GetRegistryValue(HKEY_LOCAL_MACHINE, key, "bytes", REG_BINARY, int32_t{-1}) ==
          RegValue(bytes));
    Check(GetRegistryValue(HKEY_LOCAL_MACHINE, key, "number", REG_DWORD, int32_t{-1}) ==
          RegValue(number));

    // What could be read before reads the same after the writes.
    Check(ReadProbes() == before);

    const std::string first = ReadAll();
    SetRegistryValue(HKEY_LOCAL_MACHINE, key, "text", REG_SZ, text);
    Check(ReadAll() == first);
    return 0;
}
