// The backup of "Stream Files" against `cp -a` of the same folder on the same
// file system: 4,000 recordings of 8-60 KB in two folders (or the folder
// given), each copy made afresh into an empty place, medians of six rounds,
// the two taking turns at going first. The target after the table: the
// backup within 1.2 x the time of `cp -a`.
//
//   bench_backup [FOLDER]
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "SafeFiles.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 4000;
constexpr double kTarget = 1.2;

void MakeRecordings(const fs::path &live) {
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> size(8 << 10, 60 << 10);
    for (const char *sub : {"VoiceNames", "Greetings"})
        fs::create_directories(live / sub);
    for (int i = 0; i < kFiles; ++i) {
        std::string bytes(size_t(size(gen)), '\0');
        for (char &c : bytes)
            c = char(gen());
        std::ofstream(live / (i % 2 ? "VoiceNames" : "Greetings") /
                          ("r" + std::to_string(i) + ".wav"),
                      std::ios::binary)
            << bytes;
    }
}

template <class F> double Seconds(F f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    std::string t = (fs::current_path() / "bench-backup-XXXXXX").string();
    if (!::mkdtemp(t.data()))
        return 1;
    const fs::path dir = t, live = argc > 1 ? fs::path(argv[1]) : dir / "Stream Files";
    if (argc <= 1)
        MakeRecordings(live);
    long files = 0;
    for (const auto &e : fs::recursive_directory_iterator(live))
        files += e.is_regular_file();
    std::vector<double> backup, cp;
    for (int round = 0; round < 6; ++round) {
        fs::remove_all(dir / "backup");
        fs::remove_all(dir / "cp");
        ::sync();
        const auto ours = [&] {
            backup.push_back(Seconds([&] {
                brevita::CopyFolderAtomically(live, dir / "backup" / "Stream Files", false);
            }));
        };
        const std::string cmd =
            "cp -a '" + live.string() + "' '" + (dir / "cp").string() + "' && sync";
        const auto theirs = [&] {
            cp.push_back(Seconds([&] {
                if (std::system(cmd.c_str()) != 0)
                    std::exit(1);
            }));
        };
        // The first copy after the removals pays for the freed inodes: each
        // goes first in turn.
        if (round % 2) {
            theirs();
            ours();
        } else {
            ours();
            theirs();
        }
    }
    fs::remove_all(dir);
    const double b = Median(backup), c = Median(cp);
    std::printf("%ld recordings: backup %.1f ms, cp -a (and sync) %.1f ms\n", files, b * 1e3,
                c * 1e3);
    std::printf("Target: backup <= %.1f x cp -a: %.2f x  %s\n", kTarget, b / c,
                b <= kTarget * c ? "met" : "NOT MET");
    return 0;
}
