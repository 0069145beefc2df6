// The link table and the texts the closing actions build.
#include "system/shortcuts.h"

#include "base/messages.h"
#include "base/product.h"
#include "base/text.h"

const LinkRow kStartMenuLinks[6] = {
    {PEL_PROGRAM_FILE, kLinkProgram}, {"Help.htm", kLinkHelp},         {"News.htm", kLinkNews},
    {"Licence.txt", kLinkLicence},    {"features.htm", kLinkFeatures}, {"uninstall.exe", kLinkUninstall},
};
const LinkRow kDesktopLink = {PEL_PROGRAM_FILE, PEL_DISPLAY_NAME};
const char kGroupFolderName[] = PEL_DISPLAY_NAME;

bool JoinLinkPath(char* out, size_t cap, const char* folder, const char* name) {
    // Plain concatenation: a folder ending in "\" gets a second one.
    return CopyTextN(out, cap, folder) && AppendTextN(out, cap, "\\") && AppendTextN(out, cap, name);
}

bool LinkTargetPath(char (&out)[kLinkTargetSize], const char* folder, const char* name) {
    return JoinLinkPath(out, kLinkTargetSize, folder, name);
}

bool LinkWorkingDirectory(char (&out)[kWorkingDirSize], const char* target) {
    size_t end = TextLengthN(target, static_cast<size_t>(-1));
    while (end > 0 && target[end] != '\\') --end;
    if (end >= kWorkingDirSize) {
        out[0] = 0;  // a cut folder would name another place
        return false;
    }
    CopyTextN(out, kWorkingDirSize, target, end);
    return true;
}

bool LinkFilePath(char (&out)[kLinkPathSize], const char* linksFolder, const char* title) {
    return JoinLinkPath(out, kLinkPathSize, linksFolder, title) && AppendText(out, ".lnk");
}
