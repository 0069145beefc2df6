// Writes the fuzz seed corpus: a few small sound archives and a few broken ones.
// Usage: make_fuzz_corpus OUTDIR
#include <stdio.h>
#include <string>
#include <vector>

#include "payload/archive_builder.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

void Save(const std::string& dir, const char* name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) perror(path.c_str());
    if (f != nullptr) fclose(f);
}

std::vector<uint8_t> Build(const std::vector<ArchiveDirectorySpec>& d, const std::vector<ArchiveFileSpec>& f) {
    std::vector<uint8_t> out;
    std::string message;
    if (!BuildArchive(d, f, out, message)) fprintf(stderr, "seed refused: %s\n", message.c_str());
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string dir = argv[1];
    const uint64_t t = 132670656001234567ull;
    const std::vector<uint8_t> shipped =
        Build({{0x30, t, "HlpPic"}}, {{0x20, t, 0, "Pelbrix.exe", Bytes("MZ\x90")},
                                      {0x20, t, 0, "Tolva.dat", Bytes("data")},
                                      {0x20, t, 0, "features.htm", Bytes("<html></html>")},
                                      {0x20, t, 1, "arrow.gif", Bytes("GIF89a")},
                                      {0x21, t, 0, "empty", {}}});
    Save(dir, "shipped-like", shipped);
    Save(dir, "no-directories", Build({}, {{0x22, t, 0, "a", Bytes("x")}, {0x20, 1, 0, "TOLVA.DAT", {}}}));
    Save(dir, "empty", Build({}, {}));
    Save(dir, "nested",
         Build({{0x30, t, "A"}, {0x30, t, "A\\B"}, {0x30, t, "A/C"}},
               {{0x20, t, 2, "f", Bytes("1")}, {0x20, t, 3, "g", Bytes("22")}, {0x20, t, 1, "h", {}}}));
    Save(dir, "cyrillic",
         Build({{0x30, t, "\xD1\xEF\xF0\xE0\xE2\xEA\xE0"}}, {{0x20, t, 1, "\xB8\xEB\xEA\xE0.gif", Bytes("GIF")}}));
    // Broken: cut inside the data, an index past the table, an unsafe name.
    std::vector<uint8_t> cut(shipped.begin(), shipped.begin() + 40);
    Save(dir, "broken-cut", cut);
    std::vector<uint8_t> index = shipped;
    index[31 + 12] = 5;
    Save(dir, "broken-index", index);
    std::vector<uint8_t> dots = shipped;
    dots[24] = '.', dots[25] = '.', dots[26] = '\\';
    Save(dir, "broken-dotdot", dots);
    return 0;
}
