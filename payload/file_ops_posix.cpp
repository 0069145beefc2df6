// The extraction's POSIX host: the archive from memory, files under a folder descriptor.
#include "payload/file_ops_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <stdint.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "base/install_state.h"
#include "payload/cp1251.h"
#include "payload/extract.h"

namespace {

const size_t kMapHeader = 16;  // keeps the block 16-byte aligned; holds the mapping length

// Seconds from 1601-01-01 to 1970-01-01, in FILETIME units.
const uint64_t kUnixEpochFileTime = 116444736000000000ull;
const uint64_t kTicksPerSecond = 10000000ull;

const uint32_t kAttributeReadOnly = 0x01;
const uint32_t kAttributeHidden = 0x02;
const uint32_t kAttributeSystem = 0x04;

// A Windows-1251 path with "\" separators as a UTF-8 path with "/" (every byte can grow to 3).
struct NativePath {
    char text[3 * 1024 + 1];
    bool ok;
    explicit NativePath(const char* path) {
        ok = Cp1251ToUtf8(text, sizeof text, path);
        for (char* p = text; *p != 0; ++p)
            if (*p == '\\') *p = '/';
    }
};

class PosixHost : public ExtractHost {
public:
    PosixHost(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}
    ~PosixHost() {
        if (folder_ >= 0) close(folder_);
    }

    bool LoadPayload(const uint8_t*& bytes, size_t& size) override {
        bytes = bytes_;
        size = size_;
        return bytes_ != nullptr;
    }
    // Working copies come pre-faulted in one call: touching hundreds of megabytes of fresh pages
    // one fault at a time costs more than the copying itself. The mapping's length sits in a
    // small header before the block, for the release.
    void* ObtainMemory(size_t size) override {
        if (size > SIZE_MAX - kMapHeader) return nullptr;
        const size_t length = size + kMapHeader;
        void* map = mmap(nullptr, length, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (map == MAP_FAILED) return nullptr;
        memcpy(map, &length, sizeof length);
        return static_cast<uint8_t*>(map) + kMapHeader;
    }
    void ReleaseMemory(void* block) override {
        if (block == nullptr) return;
        uint8_t* map = static_cast<uint8_t*>(block) - kMapHeader;
        size_t length;
        memcpy(&length, map, sizeof length);
        munmap(map, length);
    }

    DirectoryResult CreateDirectoryLevel(const char* path) override {
        NativePath native(path);
        if (!native.ok) return DirectoryResult::Failed;
        if (mkdirat(Base(), native.text, 0777) == 0) return DirectoryResult::Created;
        return errno == EEXIST ? DirectoryResult::AlreadyExists : DirectoryResult::Failed;
    }
    // The "current folder" is a descriptor: relative paths resolve against it, and the
    // process's own working directory is left alone.
    bool SetCurrentFolder(const char* path) override {
        NativePath native(path);
        if (!native.ok) return false;
        const int fd = openat(Base(), native.text, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return false;
        if (folder_ >= 0) close(folder_);
        folder_ = fd;
        return true;
    }
    FileHandle OpenExistingForWrite(const char* path) override {
        NativePath native(path);
        if (!native.ok) return kNoFile;
        return openat(Base(), native.text, O_WRONLY | O_CLOEXEC);
    }
    FileHandle CreateForWrite(const char* path) override {
        NativePath native(path);
        if (!native.ok) return kNoFile;
        return openat(Base(), native.text, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    }
    void WriteBlock(FileHandle file, const uint8_t* data, uint32_t length) override {
        // One block; the kernel may take a large one in pieces.
        size_t done = 0;
        while (done < length) {
            const ssize_t n = write(static_cast<int>(file), data + done, length - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            done += static_cast<size_t>(n);
        }
    }
    // Linux keeps no creation time: the record's time goes to access and modification.
    void SetFileTimes(FileHandle file, uint64_t time) override {
        const struct timespec t = FileTimeToTimespec(time);
        const struct timespec times[2] = {t, t};
        futimens(static_cast<int>(file), times);
    }
    void CloseFile(FileHandle file) override { close(static_cast<int>(file)); }
    // Only the bits Linux can hold: read-only as the write permissions, hidden and system in
    // "user.DOSATTRIB" as "0x" and hex digits. Nothing is done for the usual archive bit alone.
    void SetAttributes(const char* path, uint32_t attributes) override {
        const uint32_t extended = attributes & (kAttributeHidden | kAttributeSystem);
        if ((attributes & kAttributeReadOnly) == 0 && extended == 0) return;
        NativePath native(path);
        if (!native.ok) return;
        const int fd = openat(Base(), native.text, O_RDONLY | O_CLOEXEC);
        if (fd < 0) return;
        if (extended != 0) {
            char value[16];
            const int length = snprintf(value, sizeof value, "0x%x", extended);
            fsetxattr(fd, "user.DOSATTRIB", value, static_cast<size_t>(length), 0);
        }
        struct stat st;
        if ((attributes & kAttributeReadOnly) != 0 && fstat(fd, &st) == 0)
            fchmod(fd, st.st_mode & 07555);
        close(fd);
    }
    void ShowMessage(const char* text) override {
        char utf8[4 * 1024];
        Cp1251ToUtf8(utf8, sizeof utf8, text);
        fprintf(stderr, "%s\n", utf8);
    }
    void PostQuitRequest(int) override {}
    void RunClosingActions() override {}

private:
    int Base() const { return folder_ >= 0 ? folder_ : AT_FDCWD; }

    const uint8_t* bytes_;
    size_t size_;
    int folder_ = -1;
};

}  // namespace

struct timespec FileTimeToTimespec(uint64_t fileTime) {
    struct timespec t;
    if (fileTime >= kUnixEpochFileTime) {
        const uint64_t ticks = fileTime - kUnixEpochFileTime;
        t.tv_sec = static_cast<time_t>(ticks / kTicksPerSecond);
        t.tv_nsec = static_cast<long>(ticks % kTicksPerSecond) * 100;
    } else {
        // Before 1970: whole seconds rounded down, the remainder forward as nanoseconds.
        const uint64_t ticks = kUnixEpochFileTime - fileTime;
        const uint64_t seconds = (ticks + kTicksPerSecond - 1) / kTicksPerSecond;
        t.tv_sec = -static_cast<time_t>(seconds);
        t.tv_nsec = static_cast<long>(seconds * kTicksPerSecond - ticks) * 100;
    }
    return t;
}

uint64_t TimespecToFileTime(const struct timespec& t) {
    const int64_t ticks = static_cast<int64_t>(t.tv_sec) * static_cast<int64_t>(kTicksPerSecond) +
                          t.tv_nsec / 100;
    return kUnixEpochFileTime + static_cast<uint64_t>(ticks);
}

bool ExtractArchiveToFolder(const uint8_t* bytes, size_t size, const char* folderUtf8) {
    InstallState state = {};
    const Utf8ToCp1251Result converted = Utf8ToCp1251(state.folder, sizeof state.folder, folderUtf8);
    if (converted != Utf8ToCp1251Result::Ok) {
        fprintf(stderr, "%s: %s\n", folderUtf8,
                converted == Utf8ToCp1251Result::Cut ? "folder name is longer than 1023 bytes"
                                                     : "folder name has no Windows-1251 form");
        return false;
    }
    PosixHost host(bytes, size);
    return ExtractPayload(host, state);
}
