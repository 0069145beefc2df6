// Writes the benchmark's payload tree: FOLDERS folders (ten top folders, the rest below them),
// FILES files spread evenly over them, with sizes and contents from a fixed pseudo-random
// sequence, so every run gets the same tree. Usage: bench_make_payload DIR [FILES] [FOLDERS] [MEAN]
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

uint64_t g_state = 0x9E3779B97F4A7C15ull;

uint64_t Next() {  // xorshift64*
    g_state ^= g_state >> 12;
    g_state ^= g_state << 25;
    g_state ^= g_state >> 27;
    return g_state * 0x2545F4914F6CDD1Dull;
}

bool MakeFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return true;
    fprintf(stderr, "bench_make_payload: %s: %s\n", path.c_str(), strerror(errno));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: bench_make_payload DIR [FILES] [FOLDERS] [MEAN_BYTES]\n");
        return 2;
    }
    std::string root = argv[1];
    long files = argc > 2 ? atol(argv[2]) : 5000;
    long folders = argc > 3 ? atol(argv[3]) : 50;
    long mean = argc > 4 ? atol(argv[4]) : 40000;
    if (files < 1 || folders < 1 || mean < 1) return 2;
    if (!MakeFolder(root)) return 1;

    std::vector<std::string> paths;
    const long top = folders < 10 ? folders : 10;
    for (long i = 0; i < top; ++i) {
        char name[32];
        snprintf(name, sizeof name, "/part%02ld", i);
        paths.push_back(root + name);
    }
    for (long i = top; i < folders; ++i) {
        char name[32];
        snprintf(name, sizeof name, "/sub%03ld", i);
        paths.push_back(paths[static_cast<size_t>(i % top)] + name);
    }
    for (const std::string& p : paths)
        if (!MakeFolder(p)) return 1;

    std::vector<uint8_t> block;
    uint64_t total = 0;
    for (long i = 0; i < files; ++i) {
        // Sizes uniform in [0, 2*mean]: the total comes out near files * mean.
        size_t size = static_cast<size_t>(Next() % static_cast<uint64_t>(2 * mean + 1));
        block.resize(size);
        for (size_t j = 0; j < size; j += 8) {
            uint64_t v = Next();
            memcpy(&block[j], &v, size - j < 8 ? size - j : 8);
        }
        char name[48];
        snprintf(name, sizeof name, "/file%05ld.dat", i);
        std::string path = paths[static_cast<size_t>(i % folders)] + name;
        FILE* f = fopen(path.c_str(), "wb");
        if (!f || fwrite(block.data(), 1, size, f) != size || fclose(f) != 0) {
            fprintf(stderr, "bench_make_payload: %s: %s\n", path.c_str(), strerror(errno));
            return 1;
        }
        total += size;
    }
    printf("%ld files, %ld folders, %llu bytes\n", files, folders, (unsigned long long)total);
    return 0;
}
