// pelpack: writes and reads the installer's payload archive on the build host.
//   pack DIR -o FILE   archive a folder (deterministic; SOURCE_DATE_EPOCH fixes every time)
//   names DIR -o LIST  the list of what pack would archive, for the uninstaller
//   list FILE          tab-separated listing
//   verify FILE        checksum check: 0 match, 1 mismatch, 2 broken
//   extract FILE DIR   the installer's own extraction onto this file system
// FILE is a bare archive or a built installer (PE32/PE32+), whose RCDATA 101 resource is read.
#include <algorithm>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <inttypes.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "base/cp1251.h"
#include "payload/archive.h"
#include "payload/archive_builder.h"
#include "payload/extract_host_posix.h"
#include "system/installed_files.h"
#include "tools/pack_names.h"
#include "tools/pe_resource.h"

namespace {

// Exit codes: 0 done; 1 the operation said no (checksum mismatch, extraction false, pack
// refused); 2 the command could not run (usage, unreadable or broken input).
const int kExitOk = 0;
const int kExitNo = 1;
const int kExitBad = 2;

const uint32_t kRtRcdata = 10;
const uint32_t kPayloadId = 101;

// The largest payload the shipped 32-bit installer installs: it maps its own image, which carries
// the archive, and makes the extraction's two working copies of it, all in the 4 GB of addresses
// a large-address-aware program has on 64-bit Windows. Measured under Wine 10
// (bench/payload_limit.sh), less a margin for addresses the system's own libraries split.
const uint64_t kMeasuredPayloadMb = 896;
const uint64_t kPayloadMarginMb = 128;
const uint64_t kPayloadLimit = (kMeasuredPayloadMb - kPayloadMarginMb) << 20;

const char kHelp[] =
    "pelpack: writes and reads the installer's payload archive.\n"
    "\n"
    "  pelpack pack DIR -o FILE [--add NAME=PATH]...\n"
    "      Archives the folder DIR into FILE. Entries are sorted by name (bytewise), every\n"
    "      subfolder gets a directory entry (parents first), files get attributes 0x20,\n"
    "      folders 0x30; times are the modification times, or SOURCE_DATE_EPOCH (seconds\n"
    "      since 1970) for every entry when it is set; a time that a FILETIME cannot hold\n"
    "      is refused.\n"
    "      Names are converted from UTF-8 to Windows-1251. A name without a Windows-1251\n"
    "      form, one Windows cannot hold, one that differs from a neighbour only in letter\n"
    "      case, a path over the format's limits, a symbolic link or a special file is\n"
    "      refused, and then nothing is written.\n"
    "\n"
    "  --limit BYTES (pack)\n"
    "      Refuses a folder whose files hold more than BYTES (0: no limit). The default is\n"
    "      what the shipped 32-bit installer installs (the last line of this help).\n"
    "\n"
    "  --add NAME=PATH (pack and names, repeatable)\n"
    "      Packs the file PATH as NAME in DIR's top folder, in place of a file of that name\n"
    "      there (names compared as Windows does, without letter case); a line says which.\n"
    "\n"
    "  pelpack names DIR [--add NAME[=PATH]]... -o LIST\n"
    "      Writes what pack would archive: Windows-1251, one path a line (CR LF), relative\n"
    "      to DIR, folders first and ending in '\\', then the files in archive order, each\n"
    "      followed by a tab, its size, a tab, its time as pack gives it (FILETIME,\n"
    "      decimal), a tab and the checksum of its bytes (as verify's, 8 hex digits);\n"
    "      '-' and '-' for a NAME added without its PATH.\n"
    "\n"
    "  pelpack list FILE\n"
    "      Prints a '#' line with the archive header, then tab-separated rows\n"
    "      kind, index, attributes, time (FILETIME, decimal), directoryIndex, dataLength, name\n"
    "      (names in UTF-8; '-' stands for the columns a directory does not have).\n"
    "\n"
    "  pelpack verify FILE\n"
    "      Checks the archive's structure and recomputes its checksum.\n"
    "      Exit 0: checksum matches; 1: it does not; 2: the archive is broken.\n"
    "\n"
    "  pelpack extract FILE DIR\n"
    "      Unpacks the archive into DIR (created as one level when missing) exactly as the\n"
    "      installer does, without its shortcuts and closing actions. Exit 0 on success, 1\n"
    "      when the extraction fails (its message goes to standard error; a file that cannot\n"
    "      be written in full stops it, its earlier copy intact), 2 for a broken archive.\n"
    "      Links found inside DIR are never followed.\n"
    "\n"
    "FILE is a bare archive or a built installer (PE32 or PE32+): then its RCDATA resource\n"
    "101 is read, language 0 preferred, any language otherwise.\n"
    "Exit 2 for wrong arguments and for input that cannot be read or is not an archive.\n";

void Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    fputs("pelpack: ", stderr);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    va_end(args);
}

// ---------------------------------------------------------------------------------------------
// Input: the archive bytes of a bare archive or of an installer's resource, mapped read-only.

struct Input {
    const uint8_t* mapped = nullptr;
    size_t mappedSize = 0;
    const uint8_t* archive = nullptr;  // the archive's first byte
    size_t size = 0;                   // bytes available from there (the resource's size)
    bool fromPe = false;
};

void CloseInput(Input& in) {
    if (in.mapped) munmap(const_cast<uint8_t*>(in.mapped), in.mappedSize);
    in = Input{};
}

bool OpenInput(const char* path, Input& in) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Fail("%s: %s", path, strerror(errno));
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        Fail("%s: %s", path, strerror(errno));
        close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        Fail("%s: not a regular file", path);
        close(fd);
        return false;
    }
    if (st.st_size == 0) {
        Fail("%s: empty file, not an archive", path);
        close(fd);
        return false;
    }
    size_t size = static_cast<size_t>(st.st_size);
    // Populated at once: one call instead of a page fault for every few pages.
    void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    int mapError = errno;
    close(fd);
    if (map == MAP_FAILED) {
        Fail("%s: cannot map: %s", path, strerror(mapError));
        return false;
    }
    in.mapped = static_cast<const uint8_t*>(map);
    in.mappedSize = size;
    in.archive = in.mapped;
    in.size = size;

    PeResourceSpan span{};
    const char* why = "";
    switch (FindPeResource(in.mapped, size, kRtRcdata, kPayloadId, &span, &why)) {
    case PeLookup::Found:
        in.archive = in.mapped + span.offset;
        in.size = span.length;
        in.fromPe = true;
        return true;
    case PeLookup::NotPe:  // a bare archive (even one whose first bytes happen to read "MZ")
        return true;
    case PeLookup::Malformed: Fail("%s: malformed PE file: %s", path, why); break;
    case PeLookup::NoResource: Fail("%s: PE file without an RCDATA %u resource: %s", path, kPayloadId, why); break;
    }
    CloseInput(in);
    return false;
}

bool CheckStructure(const char* path, const Input& in) {
    ArchiveError error{};
    if (ValidateArchive(in.archive, in.size, error)) return true;
    char text[160];
    DescribeArchiveError(error, text, sizeof text);
    if (!in.fromPe && in.size >= 2 && in.archive[0] == 'M' && in.archive[1] == 'Z')
        Fail("%s: neither a complete PE file nor a sound archive (%s)", path, text);
    else
        Fail("%s: broken archive: %s", path, text);
    return false;
}

// The input, opened and found to be a sound archive; closed again when it is not.
bool OpenCheckedInput(const char* path, Input& in) {
    if (!OpenInput(path, in)) return false;
    if (CheckStructure(path, in)) return true;
    CloseInput(in);
    return false;
}

// ---------------------------------------------------------------------------------------------
// list

int List(const char* path) {
    Input in;
    if (!OpenCheckedInput(path, in)) return kExitBad;
    ArchiveReader reader{};
    ArchiveError error{};
    OpenArchive(reader, in.archive, in.size, error);
    printf("# archiveLength=%" PRIu32 " checksum=0x%08" PRIX32 " directoryCount=%" PRIu32 "%s\n",
           reader.header.archiveLength, reader.header.checksum, reader.header.directoryCount,
           in.fromPe ? " source=RCDATA/101" : "");
    printf("kind\tindex\tattributes\ttime\tdirectoryIndex\tdataLength\tname\n");
    char name[4 * kArchivePathCapacity];
    DirectoryEntry dir{};
    uint32_t index = 0;
    while (NextDirectoryEntry(reader, dir, error) == ArchiveStep::Item) {
        Cp1251ToUtf8(name, sizeof name, dir.name, dir.nameLength);
        printf("dir\t%" PRIu32 "\t0x%02" PRIX32 "\t%" PRIu64 "\t-\t-\t%s\n", ++index, dir.attributes, dir.time, name);
    }
    FileEntry file{};
    index = 0;
    while (NextFileEntry(reader, file, error) == ArchiveStep::Item) {
        Cp1251ToUtf8(name, sizeof name, file.name, file.nameLength);
        printf("file\t%" PRIu32 "\t0x%02" PRIX32 "\t%" PRIu64 "\t%" PRIu32 "\t%" PRIu32 "\t%s\n", ++index,
               file.attributes, file.time, file.directoryIndex, file.dataLength, name);
    }
    CloseInput(in);
    if (fflush(stdout) != 0 || ferror(stdout)) {
        Fail("cannot write the listing: %s", strerror(errno));
        return kExitBad;
    }
    return kExitOk;
}

// ---------------------------------------------------------------------------------------------
// verify

int Verify(const char* path) {
    Input in;
    if (!OpenCheckedInput(path, in)) return kExitBad;
    uint32_t archiveLength = 0, stored = 0;
    memcpy(&archiveLength, in.archive, 4);  // the host is little-endian, as the format
    memcpy(&stored, in.archive + 4, 4);
    // The checksum covers archiveLength bytes from position 12, so it runs 12 bytes into the tail;
    // the whole 16-byte zero tail belongs to a sound archive.
    size_t tailEnd = size_t{archiveLength} + kArchiveTailSize;
    bool tailOk = in.size >= tailEnd;
    for (size_t i = archiveLength; tailOk && i < tailEnd; ++i) tailOk = in.archive[i] == 0;
    if (!tailOk) {
        Fail("%s: broken archive: the 16-byte zero tail after archiveLength %" PRIu32 " is missing or not zero", path,
             archiveLength);
        CloseInput(in);
        return kExitBad;
    }
    uint32_t actual = ChecksumCrc32(in.archive + kArchiveHeaderSize, archiveLength);
    CloseInput(in);
    if (actual != stored) {
        Fail("%s: checksum mismatch: stored 0x%08" PRIX32 ", computed 0x%08" PRIX32, path, stored, actual);
        return kExitNo;
    }
    printf("%s: checksum 0x%08" PRIX32 " ok\n", path, actual);
    return kExitOk;
}

// ---------------------------------------------------------------------------------------------
// extract

// A broken archive is bad input like for list and verify; a file that cannot be written in full
// ends the extraction with its message (the earlier copy intact) and exit 1.
int Extract(const char* path, const char* folder) {
    Input in;
    if (!OpenCheckedInput(path, in)) return kExitBad;
    bool done = ExtractArchiveToFolder(in.archive, in.size, folder);
    CloseInput(in);
    return done ? kExitOk : kExitNo;
}

// ---------------------------------------------------------------------------------------------
// pack

const uint32_t kPackedFileAttributes = 0x20;    // archive
const uint32_t kPackedFolderAttributes = 0x30;  // directory, archive

struct PackFile {
    std::string pathUtf8;  // on disk, for reading and for messages
    std::string name1251;
    uint32_t attributes;
    uint64_t time;
    uint64_t size = 0;
};

struct PackDirectory {
    std::string pathUtf8;
    std::string name1251;  // relative to DIR, "\" between levels; empty for DIR itself
    uint64_t time;
    std::vector<PackFile> files;
};

struct PackOptions {
    bool fixedTime = false;
    uint64_t time = 0;
};

// The entry's FILETIME; a modification time that a FILETIME cannot hold is refused.
bool EntryTime(const PackOptions& options, const std::string& path, const struct stat& st, uint64_t& time) {
    if (options.fixedTime) {
        time = options.time;
        return true;
    }
    if (TimespecToFileTime(st.st_mtim, time)) return true;
    Fail("%s: modification time lies outside what a FILETIME holds (1601 to 30828)", path.c_str());
    return false;
}

// Walks one folder: its files into `self`, its subfolders appended to `all` in sorted order,
// each followed at once by its own subfolders, so parents come before children.
bool WalkFolder(const PackOptions& options, size_t self, std::vector<PackDirectory>& all) {
    std::string folder = all[self].pathUtf8;
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        Fail("%s: %s", folder.c_str(), strerror(errno));
        return false;
    }
    std::vector<std::string> names;
    errno = 0;
    while (struct dirent* e = readdir(dir)) {
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
        errno = 0;
    }
    int readError = errno;
    closedir(dir);
    if (readError != 0) {
        Fail("%s: %s", folder.c_str(), strerror(readError));
        return false;
    }
    std::sort(names.begin(), names.end());  // std::string compares bytewise (unsigned)

    std::vector<std::string> folded;  // case-folded 1251 names seen in this folder, beside `names`
    std::vector<std::string> subfolders;
    for (const std::string& name : names) {
        std::string path = folder + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) {
            Fail("%s: %s", path.c_str(), strerror(errno));
            return false;
        }
        if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) {
            Fail("%s: %s not supported; only folders and regular files are packed", path.c_str(),
                 S_ISLNK(st.st_mode) ? "symbolic link" : "special file");
            return false;
        }
        std::string name1251;
        std::string problem;
        if (!PackName(name, name1251, problem)) {
            Fail("%s: %s", path.c_str(), problem.c_str());
            return false;
        }
        std::string key = FoldCase1251(name1251);
        for (size_t i = 0; i < folded.size(); ++i) {
            if (folded[i] == key) {
                Fail("%s: \"%s\" and \"%s\" differ only in letter case; Windows would make them one file",
                     folder.c_str(), names[i].c_str(), name.c_str());
                return false;
            }
        }
        folded.push_back(key);
        if (S_ISDIR(st.st_mode)) {
            subfolders.push_back(name);
            continue;
        }
        PackFile file;
        file.pathUtf8 = path;
        file.name1251 = name1251;
        file.attributes = kPackedFileAttributes;  // permissions never make an installed file read-only
        file.size = static_cast<uint64_t>(st.st_size);
        if (!EntryTime(options, path, st, file.time)) return false;
        all[self].files.push_back(file);
    }

    for (const std::string& name : subfolders) {
        PackDirectory child;
        child.pathUtf8 = folder + "/" + name;
        std::string name1251, problem;
        PackName(name, name1251, problem);  // checked above
        child.name1251 = all[self].name1251.empty() ? name1251 : all[self].name1251 + "\\" + name1251;
        struct stat st;
        if (lstat(child.pathUtf8.c_str(), &st) != 0) {
            Fail("%s: %s", child.pathUtf8.c_str(), strerror(errno));
            return false;
        }
        if (!EntryTime(options, child.pathUtf8, st, child.time)) return false;
        all.push_back(child);
        if (!WalkFolder(options, all.size() - 1, all)) return false;
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& data) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Fail("%s: %s", path.c_str(), strerror(errno));
        return false;
    }
    data.clear();
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_size > 0) data.reserve(static_cast<size_t>(st.st_size));
    uint8_t block[65536];
    for (;;) {
        ssize_t n = read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            Fail("%s: %s", path.c_str(), strerror(errno));
            close(fd);
            return false;
        }
        if (n == 0) break;
        data.insert(data.end(), block, block + n);
        if (data.size() > UINT32_MAX) {
            Fail("%s: larger than an archive can hold (4 GB)", path.c_str());
            close(fd);
            return false;
        }
    }
    close(fd);
    return true;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Writes through a temporary file beside the target and renames it into place, so a failed
// run leaves no partial archive and an earlier archive of that name stays intact.
bool WriteOutput(const char* output, const std::vector<uint8_t>& bytes) {
    std::string temp = std::string(output) + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back(0);
    int fd = mkstemp(name.data());
    if (fd < 0) {
        Fail("%s: cannot create: %s", output, strerror(errno));
        return false;
    }
    mode_t mask = umask(0);
    umask(mask);
    bool ok = fchmod(fd, 0666 & ~mask) == 0 && WriteAll(fd, bytes.data(), bytes.size());
    int writeError = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        writeError = errno;
    }
    if (ok && rename(name.data(), output) != 0) {
        ok = false;
        writeError = errno;
    }
    if (!ok) {
        unlink(name.data());
        Fail("%s: cannot write: %s", output, strerror(writeError));
    }
    return ok;
}

bool ParseSourceDateEpoch(PackOptions& options) {
    const char* text = getenv("SOURCE_DATE_EPOCH");
    if (!text || !*text) return true;
    char* end = nullptr;
    errno = 0;
    const unsigned long long seconds = strtoull(text, &end, 10);
    struct timespec t {};
    t.tv_sec = static_cast<time_t>(seconds);
    const bool number = *text >= '0' && *text <= '9' && *end == 0 && errno == 0 &&
                        seconds <= static_cast<unsigned long long>(INT64_MAX);
    if (!number || !TimespecToFileTime(t, options.time)) {
        Fail("SOURCE_DATE_EPOCH must be a count of seconds since 1970 that a FILETIME holds, not \"%s\"", text);
        return false;
    }
    options.fixedTime = true;
    return true;
}

// A file from elsewhere packed into the top folder under NAME.
struct Addition {
    std::string nameUtf8;
    std::string path;
};

// NAME=PATH, or NAME alone where the file is not read (names).
bool ParseAddition(const char* text, std::vector<Addition>& additions) {
    const char* equals = strchr(text, '=');
    if (!equals) equals = text + strlen(text);
    if (equals == text) return false;
    additions.push_back(Addition{std::string(text, equals), std::string(*equals ? equals + 1 : equals)});
    return true;
}

// Puts each addition into the top folder, in place of a file of the same name (as Windows
// compares names) or after its files. With `read` false only the names are used.
bool ApplyAdditions(const PackOptions& options, const std::vector<Addition>& additions, bool read,
                    std::vector<PackDirectory>& all) {
    for (const Addition& addition : additions) {
        PackFile file;
        std::string problem;
        if (!PackName(addition.nameUtf8, file.name1251, problem)) {
            Fail("--add %s: %s", addition.nameUtf8.c_str(), problem.c_str());
            return false;
        }
        file.pathUtf8 = addition.path;
        file.attributes = kPackedFileAttributes;
        file.time = options.time;
        struct stat st;
        if (read || !addition.path.empty()) {
            if (stat(addition.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
                Fail("--add %s: %s is not a readable file", addition.nameUtf8.c_str(), addition.path.c_str());
                return false;
            }
            if (!EntryTime(options, addition.path, st, file.time)) return false;
            file.size = static_cast<uint64_t>(st.st_size);
        }
        const std::string key = FoldCase1251(file.name1251);
        for (size_t k = 1; k < all.size(); ++k) {
            if (FoldCase1251(all[k].name1251) == key) {
                Fail("--add %s: %s has a folder of that name", addition.nameUtf8.c_str(), all[0].pathUtf8.c_str());
                return false;
            }
        }
        std::vector<PackFile>& top = all[0].files;
        auto same =
            std::find_if(top.begin(), top.end(), [&](const PackFile& f) { return FoldCase1251(f.name1251) == key; });
        if (read) {
            if (same != top.end())
                printf("pelpack: %s: packed from %s in place of %s\n", addition.nameUtf8.c_str(), addition.path.c_str(),
                       same->pathUtf8.c_str());
            else
                printf("pelpack: %s: packed from %s\n", addition.nameUtf8.c_str(), addition.path.c_str());
        }
        if (same != top.end())
            *same = file;
        else
            top.push_back(file);
    }
    return true;
}

// The folder walked and the additions applied, as pack archives it.
bool IsFolder(const char* folder) {
    struct stat st;
    if (stat(folder, &st) != 0) {
        Fail("%s: %s", folder, strerror(errno));
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        Fail("%s: not a folder", folder);
        return false;
    }
    return true;
}

bool CollectPayload(const char* folder, const PackOptions& options, const std::vector<Addition>& additions, bool read,
                    std::vector<PackDirectory>& all) {
    all.assign(1, PackDirectory{});
    all[0].pathUtf8 = folder;
    while (all[0].pathUtf8.size() > 1 && all[0].pathUtf8.back() == '/') all[0].pathUtf8.pop_back();
    return WalkFolder(options, 0, all) && ApplyAdditions(options, additions, read, all);
}

int Names(const char* folder, const std::vector<Addition>& additions, const char* output) {
    PackOptions options;
    if (!ParseSourceDateEpoch(options) || !IsFolder(folder)) return kExitBad;
    std::vector<PackDirectory> all;
    if (!CollectPayload(folder, options, additions, false, all)) return kExitNo;
    std::string list;
    std::vector<uint8_t> data;
    for (size_t k = 1; k < all.size(); ++k) list += all[k].name1251 + "\\\r\n";
    for (size_t k = 0; k < all.size(); ++k) {
        for (const PackFile& file : all[k].files) {
            list += (k == 0 ? "" : all[k].name1251 + "\\") + file.name1251;
            // The size and time the installer gives the file and the checksum of its bytes; an
            // addition named without its file is the uninstaller itself, which cannot carry its
            // own size.
            if (file.pathUtf8.empty()) {
                list += "\t-\t-\r\n";
                continue;
            }
            if (!ReadWholeFile(file.pathUtf8, data)) return kExitBad;
            char checksum[16];
            snprintf(checksum, sizeof checksum, "\t%08" PRIx32 "\r\n", ChecksumCrc32(data.data(), data.size()));
            list +=
                "\t" + std::to_string(static_cast<uint64_t>(data.size())) + "\t" + std::to_string(file.time) + checksum;
        }
    }
    // An installer reads no list larger than this from an earlier uninstaller.
    if (list.size() > kNamesLimit) {
        Fail("%s: the list of names is %zu bytes, more than the %zu an installer reads", folder, list.size(),
             kNamesLimit);
        return kExitNo;
    }
    return WriteOutput(output, std::vector<uint8_t>(list.begin(), list.end())) ? kExitOk : kExitBad;
}

int Pack(const char* folder, const std::vector<Addition>& additions, const char* output, uint64_t limit) {
    PackOptions options;
    if (!ParseSourceDateEpoch(options) || !IsFolder(folder)) return kExitBad;
    std::vector<PackDirectory> all;
    if (!CollectPayload(folder, options, additions, true, all)) return kExitNo;
    // Refused here, where the release engineer sees it, rather than on a user's machine.
    uint64_t total = 0;
    for (const PackDirectory& directory : all)
        for (const PackFile& file : directory.files) total += file.size;
    if (limit != 0 && total > limit) {
        Fail("%s: its files hold %" PRIu64 " bytes (%" PRIu64 " MB), more than the %" PRIu64
             " MB the shipped 32-bit installer installs (%" PRIu64 " MB measured, less %" PRIu64
             " MB for memory the system splits)",
             folder, total, (total + (1 << 20) - 1) >> 20, limit >> 20, kMeasuredPayloadMb, kPayloadMarginMb);
        return kExitNo;
    }

    ArchiveBuilder builder;
    ArchiveBegin(builder);
    std::string message;
    for (size_t k = 1; k < all.size(); ++k) {
        if (!ArchiveAddDirectory(builder, kPackedFolderAttributes, all[k].time, all[k].name1251, message)) {
            Fail("%s: %s", all[k].pathUtf8.c_str(), message.c_str());
            return kExitNo;
        }
    }
    std::vector<uint8_t> data;
    for (size_t k = 0; k < all.size(); ++k) {
        for (const PackFile& file : all[k].files) {
            if (!ReadWholeFile(file.pathUtf8, data)) return kExitBad;
            if (!ArchiveAddFile(builder, file.attributes, file.time, static_cast<uint32_t>(k), file.name1251,
                                data.data(), data.size(), message)) {
                Fail("%s: %s", file.pathUtf8.c_str(), message.c_str());
                return kExitNo;
            }
        }
    }
    std::vector<uint8_t>().swap(data);
    std::vector<uint8_t> archive;
    if (!ArchiveFinish(builder, archive, message)) {
        Fail("%s: %s", folder, message.c_str());
        return kExitNo;
    }
    return WriteOutput(output, archive) ? kExitOk : kExitBad;
}

int Usage(const char* problem) {
    Fail("%s (see pelpack --help)", problem);
    return kExitBad;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage("no command given");
    std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        fputs(kHelp, stdout);
        printf("The shipped 32-bit installer's limit: %" PRIu64 " bytes.\n", kPayloadLimit);
        return kExitOk;
    }
    std::vector<const char*> args(argv + 2, argv + argc);
    if (command == "pack" || command == "names") {
        const char* folder = nullptr;
        const char* output = nullptr;
        std::vector<Addition> additions;
        uint64_t limit = kPayloadLimit;
        for (size_t i = 0; i < args.size(); ++i) {
            char* end = nullptr;
            if (strcmp(args[i], "--limit") == 0 && command == "pack") {
                limit = i + 1 < args.size() ? strtoull(args[++i], &end, 10) : 0;
                if (end == nullptr || *end != 0 || end == args[i]) return Usage("--limit needs BYTES");
            } else if (strcmp(args[i], "-o") == 0) {
                if (output || i + 1 >= args.size()) return Usage("pack: -o needs one FILE");
                output = args[++i];
            } else if (strcmp(args[i], "--add") == 0) {
                if (i + 1 >= args.size() || !ParseAddition(args[++i], additions)) return Usage("--add needs NAME=PATH");
            } else if (!folder) {
                folder = args[i];
            } else {
                return Usage("pack: too many arguments");
            }
        }
        if (!folder || !output) return Usage("pack: needs DIR and -o FILE");
        return command == "pack" ? Pack(folder, additions, output, limit) : Names(folder, additions, output);
    }
    if (command == "list" || command == "verify") {
        if (args.size() != 1) return Usage((command + ": needs exactly one FILE").c_str());
        return command == "list" ? List(args[0]) : Verify(args[0]);
    }
    if (command == "extract") {
        if (args.size() != 2) return Usage("extract: needs FILE and DIR");
        return Extract(args[0], args[1]);
    }
    return Usage(("unknown command \"" + command + "\"").c_str());
}
