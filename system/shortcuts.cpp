// The link table and the texts the closing actions build.
#include "system/shortcuts.h"

#include "base/messages.h"
#include "base/product.h"

const LinkRow kStartMenuLinks[6] = {
    {PEL_PROGRAM_FILE, kLinkProgram}, {"Help.htm", kLinkHelp},         {"News.htm", kLinkNews},
    {"Licence.txt", kLinkLicence},    {"features.htm", kLinkFeatures}, {"uninstall.exe", kLinkUninstall},
};
const LinkRow kDesktopLink = {PEL_PROGRAM_FILE, PEL_DISPLAY_NAME};
const char kGroupFolderName[] = PEL_DISPLAY_NAME;
