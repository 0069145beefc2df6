// The earlier version's removal at scale: RemoveEarlierFiles over an earlier list of L lines and a
// new list of L lines (a tenth of the earlier files gone from it, as many new ones), in one order
// and in opposite orders, over a file system in memory that answers at once. Prints the time of
// each and the time per line: a pass linear in the lines costs the same per line at both sizes.
//   removal_bench [LINES...]   (default: 10000 100000)
#include <chrono>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include "system/installed_files.h"

namespace {

// Every folder is there and every file is as its line says, so every gone file is removed.
struct InstantFiles final : FilesHost {
    size_t removed = 0;
    RemoveResult RemoveFile(const char*) override { return ++removed, RemoveResult::Removed; }
    bool RemoveEmptyFolder(const char*) override { return true; }
    EntryFacts Inspect(const char* path) override {
        const size_t n = strlen(path);
        return n > 4 && strcmp(path + n - 4, ".gif") == 0 ? EntryFacts{EntryKind::File, 10, 50000000}
                                                          : EntryFacts{EntryKind::Folder, 0, 0};
    }
    bool FileChecksum(const char*, uint32_t&) override { return false; }
    bool ReadNamesList(const char*, char*&, size_t&) override { return false; }
    void* ObtainMemory(size_t size) override { return malloc(size); }
    void ReleaseMemory(void* block) override { free(block); }
};

// Folders first, a hundred files in each; files numbered from first.
std::string List(size_t files, size_t first, bool reversed) {
    std::string folders, lines;
    for (size_t f = 0; f < (files + 99) / 100; ++f) folders += "Pics" + std::to_string(f) + "\\\r\n";
    for (size_t i = 0; i < files; ++i) {
        const size_t k = reversed ? files - 1 - i : i;
        lines += "Pics" + std::to_string((first + k) / 100) + "\\picture" + std::to_string(first + k) +
                 ".gif\t10\t50000000\t597b3839\r\n";
    }
    return folders + lines;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<size_t> sizes = {10000, 100000};
    if (argc > 1) sizes.clear();
    for (int a = 1; a < argc; ++a) sizes.push_back(strtoul(argv[a], nullptr, 10));
    printf("%-9s %-10s %9s %10s %9s\n", "lines", "orders", "removed", "ms", "ns/line");
    for (size_t lines : sizes) {
        for (bool opposite : {false, true}) {
            const std::string earlier = List(lines, 0, false), current = List(lines, lines / 10, opposite);
            InstantFiles host;
            const auto start = std::chrono::steady_clock::now();
            RemoveEarlierFiles(host, "C:\\Pelbrix", earlier.data(), earlier.size(), current.data(), current.size());
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            printf("%-9zu %-10s %9zu %10.1f %9.0f\n", lines, opposite ? "opposite" : "the same", host.removed, ms,
                   ms * 1e6 / static_cast<double>(2 * lines));
        }
    }
    return 0;
}
