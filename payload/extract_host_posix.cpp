// The extraction's POSIX host: the archive from memory, files under a folder descriptor.
#include "payload/extract_host_posix.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "base/ansi_text.h"
#include "base/cp1251.h"
#include "base/install_state.h"
#include "base/text.h"
#include "payload/extract.h"

namespace {

const size_t kMapHeader = 16;  // keeps the block 16-byte aligned; holds the mapping length

// Seconds from 1601-01-01 to 1970-01-01, in FILETIME units.
const uint64_t kUnixEpochFileTime = 116444736000000000ull;
const uint64_t kTicksPerSecond = 10000000ull;

const uint32_t kAttributeHidden = 0x02;
const uint32_t kAttributeSystem = 0x04;
const char kDosAttributeName[] = "user.DOSATTRIB";

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

// The folder that the last relative path lay in, kept open: files come folder by folder, so most
// paths need no walk at all.
struct FolderCache {
    char path[sizeof(NativePath::text)] = {};
    int fd = -1;
    ~FolderCache() {
        if (fd >= 0) close(fd);
    }
};

// Where a path lies: the descriptor of its parent folder, reached one part at a time without
// following links (and then kept in the cache), and its last part. Paths before the
// installation folder is current (the folder's own text) resolve as given.
struct Place {
    int parent = -1;
    const char* leaf = nullptr;
    bool ok = false;
    NativePath native;
    Place(int base, const char* path, FolderCache& cache) : native(path) {
        if (!native.ok) return;
        if (native.text[0] == '/') base = AT_FDCWD;
        char* slash = strrchr(native.text, '/');
        if (base == AT_FDCWD || slash == nullptr) {
            parent = base;
            leaf = native.text;
            ok = true;
            return;
        }
        *slash = 0;
        leaf = slash + 1;
        if (cache.fd < 0 || strcmp(cache.path, native.text) != 0) {
            char walk[sizeof native.text];
            memcpy(walk, native.text, sizeof walk);
            int at = base;
            for (char* part = walk; part != nullptr;) {
                char* next = strchr(part, '/');
                if (next != nullptr) *next++ = 0;
                const int fd = openat(at, part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (at != base) close(at);
                if (fd < 0) return;
                at = fd;
                part = next;
            }
            if (cache.fd >= 0) close(cache.fd);
            cache.fd = at;
            memcpy(cache.path, native.text, sizeof cache.path);
        }
        parent = cache.fd;
        ok = true;
    }
};

uint64_t FileTimeOf(const struct timespec& t) {
    uint64_t time = 0;
    return TimespecToFileTime(t, time) ? time : 0;
}
// Linux keeps no creation time: the last write stands for it.
FileTimes TimesOf(const struct stat& st) {
    const FileTimes times = {FileTimeOf(st.st_mtim), FileTimeOf(st.st_atim), FileTimeOf(st.st_mtim)};
    return times;
}

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
        void* map = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
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
        Place place(Base(), path, folders_);
        if (!place.ok) return DirectoryResult::Failed;
        if (mkdirat(place.parent, place.leaf, 0777) == 0) return DirectoryResult::Created;
        if (errno != EEXIST) return DirectoryResult::Failed;
        // Only a real folder counts: a link found inside the folder is never followed.
        struct stat st;
        const bool folder = fstatat(place.parent, place.leaf, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        return folder ? DirectoryResult::AlreadyExists : DirectoryResult::Failed;
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
        if (folders_.fd >= 0) close(folders_.fd);  // it was below the earlier folder
        folders_.fd = -1;
        return true;
    }
    // Names the folder holds, as Windows-1251 (a name without that form cannot be the archive's
    // and is passed over); a link is a reparse point, as Wine reports it.
    bool ListFolder(const char* path, FolderVisitor visit, void* context) override {
        NativePath native(*path != 0 ? path : ".");
        const int fd = native.ok ? openat(Base(), native.text, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1;
        DIR* folder = fd >= 0 ? fdopendir(fd) : nullptr;
        if (folder == nullptr) {
            if (fd >= 0) close(fd);
            return false;
        }
        while (const struct dirent* entry = readdir(folder)) {
            char name[kPathSize];
            struct stat st;
            if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0 ||
                Utf8ToCp1251(name, sizeof name, entry->d_name) != Utf8ToCp1251Result::Ok ||
                fstatat(dirfd(folder), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            uint32_t attributes = S_ISDIR(st.st_mode) ? kAttributeDirectory : kAttributeArchive;
            if (S_ISLNK(st.st_mode)) attributes |= kAttributeReparsePoint;
            if ((st.st_mode & 0222) == 0) attributes |= kAttributeReadOnly;
            visit(context, name, attributes, TimesOf(st), static_cast<uint64_t>(st.st_size));
        }
        closedir(folder);
        return true;
    }
    FileHandle CreateNewFile(const char* path) override { return OpenAt(path, O_WRONLY | O_CREAT | O_EXCL); }
    bool WriteBlock(FileHandle file, const uint8_t* data, uint32_t length) override {
        // One block; the kernel may take a large one in pieces.
        size_t done = 0;
        while (done < length) {
            const ssize_t n = write(static_cast<int>(file), data + done, length - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }
    // Linux keeps no creation time: the record's time goes to access and modification.
    void SetFileTimes(FileHandle file, uint64_t time) override {
        const struct timespec t = FileTimeToTimespec(time);
        const struct timespec times[2] = {t, t};
        futimens(static_cast<int>(file), times);
    }
    bool CloseFile(FileHandle file) override { return close(static_cast<int>(file)) == 0; }
    uint32_t GetAttributes(const char* path, FileTimes* times) override {
        Place place(Base(), path, folders_);
        struct stat st;
        if (!place.ok || fstatat(place.parent, place.leaf, &st, AT_SYMLINK_NOFOLLOW) != 0) return kNoAttributes;
        if (times != nullptr) *times = TimesOf(st);
        uint32_t attributes = S_ISDIR(st.st_mode) ? kAttributeDirectory : kAttributeArchive;
        if ((st.st_mode & 0222) == 0) attributes |= kAttributeReadOnly;
        const int fd = openat(place.parent, place.leaf, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            char value[16] = {};
            if (fgetxattr(fd, kDosAttributeName, value, sizeof value - 1) > 0)
                attributes |=
                    static_cast<uint32_t>(strtoul(value, nullptr, 16)) & (kAttributeHidden | kAttributeSystem);
            close(fd);
        }
        return attributes;
    }
    bool SameContents(const char* path, const uint8_t* data, uint32_t length) override {
        const FileHandle file = OpenAt(path, O_RDONLY);
        if (file == kNoFile) return false;
        static uint8_t block[1 << 18];
        bool same = false;
        for (uint32_t done = 0;;) {
            const uint64_t left = length - done;
            const size_t want = left + 1 < sizeof block ? static_cast<size_t>(left + 1) : sizeof block;
            const ssize_t got = read(static_cast<int>(file), block, want);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0 || static_cast<uint64_t>(got) > left ||
                memcmp(block, data + done, static_cast<size_t>(got)) != 0)
                break;
            done += static_cast<uint32_t>(got);
            if (got == 0) {
                same = done == length;
                break;
            }
        }
        close(static_cast<int>(file));
        return same;
    }
    // Only the bits Linux can hold: read-only as the write permissions, hidden and system in
    // "user.DOSATTRIB" as "0x" and hex digits (removed when neither is set).
    bool SetAttributes(const char* path, uint32_t attributes) override {
        Place place(Base(), path, folders_);
        if (!place.ok) return false;
        const int fd = openat(place.parent, place.leaf, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return false;
        bool ok = true;
        const uint32_t extended = attributes & (kAttributeHidden | kAttributeSystem);
        if (extended != 0) {
            char value[16];
            const int length = snprintf(value, sizeof value, "0x%x", extended);
            ok = fsetxattr(fd, kDosAttributeName, value, static_cast<size_t>(length), 0) == 0;
        } else if (fremovexattr(fd, kDosAttributeName) != 0 && errno != ENODATA && errno != ENOTSUP) {
            ok = false;
        }
        struct stat st;
        if (fstat(fd, &st) == 0) {
            const mode_t mode = (attributes & kAttributeReadOnly) != 0 ? (st.st_mode & 07555) : (st.st_mode | S_IWUSR);
            if (mode != st.st_mode && fchmod(fd, mode) != 0) ok = false;
        }
        close(fd);
        return ok;
    }
    // Working and backup files lie beside their place: both paths share one folder (and one
    // cached descriptor). A link is renamed as a name, never followed; nothing is replaced.
    bool Rename(const char* from, const char* to) override {
        Place target(Base(), to, folders_);
        Place source(Base(), from, folders_);
        return source.ok && target.ok && source.parent == target.parent &&
               renameat2(source.parent, source.leaf, target.parent, target.leaf, RENAME_NOREPLACE) == 0;
    }
    void RestoreTimes(const char* path, const FileTimes& times, uint32_t attributes) override {
        Place place(Base(), path, folders_);
        const struct timespec both[2] = {FileTimeToTimespec(times.accessed), FileTimeToTimespec(times.written)};
        if (place.ok && utimensat(place.parent, place.leaf, both, AT_SYMLINK_NOFOLLOW) == 0)
            SetAttributes(path, attributes);
    }
    bool RemoveFile(const char* path) override {
        Place place(Base(), path, folders_);
        return place.ok && unlinkat(place.parent, place.leaf, 0) == 0;
    }
    // Nothing here keeps a file from being removed at once.
    void RemoveAtRestart(const char*) override {}
    bool RemoveDirectoryLevel(const char* path) override {
        Place place(Base(), path, folders_);
        return place.ok && unlinkat(place.parent, place.leaf, AT_REMOVEDIR) == 0;
    }
    // The fixed text is Windows-1251; a marked part is a path of this system, printed as it is.
    void RemoveEarlierVersion(const char*) override {}  // pelpack extracts into a new folder
    void ShowMessage(const char* text) override {
        char utf8[4 * 1024];
        for (bool own = false;; own = !own) {
            const char* end = strchr(text, kAnsiMark);
            const size_t length = end != nullptr ? static_cast<size_t>(end - text) : strlen(text);
            if (own) {
                fwrite(text, 1, length, stderr);
            } else {
                Cp1251ToUtf8(utf8, sizeof utf8, text, length);
                fputs(utf8, stderr);
            }
            if (end == nullptr) break;
            text = end + 1;
        }
        fputc('\n', stderr);
    }
    // The tool cannot ask: a file that cannot be written ends the extraction, after its message.
    FileAnswer AskAboutFile(const char* text) override {
        ShowMessage(text);
        return FileAnswer::Abort;
    }
    void PostQuitRequest(int) override {}
    uint32_t RunTag() override { return static_cast<uint32_t>(getpid()) ^ static_cast<uint32_t>(time(nullptr)) << 12; }

private:
    int Base() const { return folder_ >= 0 ? folder_ : AT_FDCWD; }
    FileHandle OpenAt(const char* path, int flags) {
        Place place(Base(), path, folders_);
        if (!place.ok) return kNoFile;
        return openat(place.parent, place.leaf, flags | O_NOFOLLOW | O_CLOEXEC, 0666);
    }

    const uint8_t* bytes_;
    size_t size_;
    int folder_ = -1;
    FolderCache folders_;
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

bool TimespecToFileTime(const struct timespec& t, uint64_t& fileTime) {
    // Whole seconds first, so that no product overflows: FILETIME runs from 1601 up to
    // INT64_MAX ticks (the year 30828), which is all that Windows converts.
    const int64_t kFirstSecond = -static_cast<int64_t>(kUnixEpochFileTime / kTicksPerSecond);
    const int64_t kLastSecond =
        (INT64_MAX - static_cast<int64_t>(kUnixEpochFileTime)) / static_cast<int64_t>(kTicksPerSecond) - 1;
    const int64_t seconds = static_cast<int64_t>(t.tv_sec);
    if (seconds < kFirstSecond || seconds > kLastSecond || t.tv_nsec < 0 || t.tv_nsec >= 1000000000L) return false;
    fileTime = static_cast<uint64_t>(static_cast<int64_t>(kUnixEpochFileTime) +
                                     seconds * static_cast<int64_t>(kTicksPerSecond) + t.tv_nsec / 100);
    return true;
}

bool ExtractArchiveToFolder(const uint8_t* bytes, size_t size, const char* folderUtf8) {
    // The extraction takes only absolute folders: a relative one is taken from here.
    char absolute[4096];
    char here[4096];
    if (folderUtf8[0] == '/') {
        snprintf(absolute, sizeof absolute, "%s", folderUtf8);
    } else if (getcwd(here, sizeof here) == nullptr ||
               snprintf(absolute, sizeof absolute, "%s/%s", here, folderUtf8) >= static_cast<int>(sizeof absolute)) {
        fprintf(stderr, "%s: the current folder cannot be read\n", folderUtf8);
        return false;
    }
    InstallState state = {};
    const Utf8ToCp1251Result converted = Utf8ToCp1251(state.folder, sizeof state.folder, absolute);
    if (converted != Utf8ToCp1251Result::Ok) {
        fprintf(stderr, "%s: %s\n", folderUtf8,
                converted == Utf8ToCp1251Result::Cut ? "folder name is longer than 1023 bytes"
                                                     : "folder name has no Windows-1251 form");
        return false;
    }
    PosixHost host(bytes, size);
    return ExtractPayload(host, state);
}
