// Fuzz target: a names list read from disk, untrusted, as the earlier version's list of the
// installer's removal and as the list of an earlier uninstaller a killed update left aside, over
// the fake system of tests/fake_system.h (which aborts on a change at or through a link). Nothing
// outside the installation folder goes, nor the data file, nor a file the new version lists; every
// line the list names is found in its index.
#include <stdint.h>
#include <string>

#include "tests/fake_system.h"

namespace {

// A link in the folder to one outside (its file with the facts a list line may give), a file
// outside beside the folder.
void Plant(FakeSystem& system) {
    system.disk["C:\\Pelbrix\\Docs"] = {kAttributeDirectory | kAttributeReparsePoint, "", 0};
    system.disk["C:\\Pelbrix\\Docs\\v1.txt"] = system.disk["C:\\Outside\\v1.txt"] = kWritten;
}

void CheckKept(const Disk& disk, const std::vector<std::string>& kept) {
    for (const std::string& path : kept) Check(disk.count(path) == 1, ("removed: " + path).c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string list(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> kept = {"C:\\Outside\\v1.txt", "C:\\Pelbrix\\Tolva.dat",
                                           "C:\\Pelbrix\\Docs\\v1.txt"};

    FakeSystem installer;
    Plant(installer);
    NamesIndex index;
    Check(IndexNames(installer, list.data(), list.size(), index), "no index");
    ListedName name, found;
    for (const char* cursor = list.data(); ParseNextName(cursor, list.data() + list.size(), name);)
        Check(FindListed(index, name.path, name.folder ? false : true, found), "a listed line not found");
    ReleaseIndex(installer, index);
    RemoveEarlierFiles(installer, kMarkedFolder, list.data(), list.size(), kNames, sizeof kNames - 1);
    std::vector<std::string> current = kept;
    for (const char* f : {"HlpPic\\Deep\\a.gif", "HlpPic\\logo.gif", "Pelbrix.exe", "uninstall.exe"})
        current.push_back(std::string(kFolder) + "\\" + f);
    CheckKept(installer.disk, current);

    FakeSystem uninstaller;
    Plant(uninstaller);
    uninstaller.disk["C:\\Pelbrix\\~pel0badcafe-uninstall.exe"] = {0x20, list, 1};
    uninstaller.Run();
    CheckKept(uninstaller.disk, kept);
    return 0;
}
