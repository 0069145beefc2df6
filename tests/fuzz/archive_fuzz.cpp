// Fuzz target: the archive check, the reader over both windows, and the whole extraction over an
// in-memory host that aborts when a path would leave the installation folder or a write would
// read outside the working copy.
#include <map>
#include <set>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>

#include "payload/archive.h"
#include "payload/extract.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "fuzz check failed: %s\n", what);
        abort();
    }
}

const char kFolder[] = "C:\\Install";

// Every path the extraction hands over is the installation folder itself or a relative path
// whose parts are all plain names.
void CheckInside(const char* path) {
    const size_t length = strnlen(path, kArchivePathCapacity);
    Check(length < kArchivePathCapacity, "path text without terminator in 1024 bytes");
    Check(length > 0, "empty path");
    Check(path[0] != '\\' && path[0] != '/', "absolute path");
    Check(strchr(path, ':') == nullptr, "drive or stream in path");
    std::string part;
    for (size_t i = 0; i <= length; ++i) {
        const char c = i < length ? path[i] : '\\';
        if (c != '\\' && c != '/') {
            part += c;
            continue;
        }
        Check(!part.empty(), "empty path part");
        Check(part.find_first_not_of(". ") != std::string::npos, "dot part in path");
        part.clear();
    }
}

// Nothing is on disk before the run; a file whose path is long enough fails to be created, so
// that the question and its answer (Ignore) run too.
struct MemoryHost : ExtractHost {
    const uint8_t* input;
    size_t size;
    std::map<const uint8_t*, size_t> blocks;
    std::set<FileHandle> open;
    FileHandle next = 1;
    bool inFolder = false, quit = false, created = false;
    int messages = 0;

    MemoryHost(const uint8_t* d, size_t s) : input(d), size(s) {}
    bool LoadPayload(const uint8_t*& bytes, size_t& length) override {
        bytes = input;
        length = size;
        return true;
    }
    void* ObtainMemory(size_t n) override {
        if (n > (64u << 20)) return nullptr;  // as a machine without that much memory
        uint8_t* p = static_cast<uint8_t*>(malloc(n == 0 ? 1 : n));
        blocks[p] = n;
        return p;
    }
    void ReleaseMemory(void* p) override {
        Check(blocks.erase(static_cast<uint8_t*>(p)) == 1, "release of unknown memory");
        free(p);
    }
    DirectoryResult CreateDirectoryLevel(const char* path) override {
        created = true;
        if (inFolder) CheckInside(path);
        Check(inFolder || strcmp(path, kFolder) == 0, "directory created before the folder was entered");
        return DirectoryResult::Created;
    }
    bool SetCurrentFolder(const char* path) override {
        Check(strcmp(path, kFolder) == 0, "current folder is not the installation folder");
        inFolder = true;
        return true;
    }
    FileHandle Open(const char* path, bool create) {
        Check(inFolder, "file opened outside the installation folder");
        CheckInside(path);
        if (!create || strlen(path) > 200) return kNoFile;
        created = true;
        open.insert(next);
        return next++;
    }
    FileHandle CreateNewFile(const char* path) override { return Open(path, true); }
    uint32_t RunTag() override { return 0x0badf00d; }
    bool RemoveDirectoryLevel(const char* path) override { return CheckInside(path), true; }
    bool ListFolder(const char* path, FolderVisitor, void*) override {
        if (*path != 0) CheckInside(path);
        return true;
    }
    bool WriteBlock(FileHandle file, const uint8_t* data, uint32_t length) override {
        Check(open.count(file) == 1, "write to a closed file");
        bool inside = length == 0;
        for (const auto& b : blocks)
            inside |= data >= b.first && data <= b.first + b.second && length <= b.second - (data - b.first);
        Check(inside, "file data outside the working copy");
        volatile uint8_t sink = 0;
        for (uint32_t i = 0; i < length; i += 97) sink = sink ^ data[i];  // touch it for ASan
        if (length != 0) sink = sink ^ data[length - 1];
        return true;
    }
    void SetFileTimes(FileHandle file, uint64_t) override { Check(open.count(file) == 1, "times on a closed file"); }
    bool CloseFile(FileHandle file) override { return Check(open.erase(file) == 1, "close of a closed file"), true; }
    uint32_t GetAttributes(const char* path) override { return CheckInside(path), kNoAttributes; }
    bool SetAttributes(const char* path, uint32_t) override { return CheckInside(path), true; }
    bool Rename(const char* from, const char* to) override { return CheckInside(from), CheckInside(to), true; }
    bool RemoveFile(const char* path) override { return CheckInside(path), true; }
    FileAnswer AskAboutFile(const char*) override { return FileAnswer::Ignore; }
    void ShowMessage(const char*) override { ++messages; }
    void PostQuitRequest(int code) override { Check(code == 1, "quit code"), quit = true; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ArchiveError error;
    const bool sound = ValidateArchive(data, size, error);
    char text[128];
    DescribeArchiveError(error, text, sizeof text);

    if (sound) {
        // The body window (positions 12..) gives the same items as the whole archive.
        ArchiveReader whole, body;
        Check(OpenArchive(whole, data, size, error), "open after a sound check");
        Check(
            OpenArchiveBody(body, data + 12, size - 12, whole.header.archiveLength, whole.header.directoryCount, error),
            "body open after a sound check");
        FileEntry a, b;
        for (;;) {
            const ArchiveStep sa = NextFileEntry(whole, a, error);
            const ArchiveStep sb = NextFileEntry(body, b, error);
            Check(sa == sb && sa != ArchiveStep::Broken, "walks differ or break");
            if (sa == ArchiveStep::End) break;
            Check(a.offset == b.offset && a.dataLength == b.dataLength, "items differ");
        }
    }

    MemoryHost host(data, size);
    InstallState state = {};
    memcpy(state.folder, kFolder, sizeof kFolder);
    const bool extracted = ExtractPayload(host, state);
    Check(host.blocks.empty(), "working memory not released");
    Check(host.open.empty(), "file left open");
    Check(extracted ? host.messages == 0 : host.messages == 1, "message count");
    if (!sound) {
        Check(!extracted && host.quit, "broken archive not refused");
        Check(!host.created, "broken archive created something");
    }
    return 0;
}
