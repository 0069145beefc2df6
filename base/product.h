// Compiled-in product constants. Narrow literals reach the program as Windows-1251 bytes.
#pragma once

#define PEL_DISPLAY_NAME "Пелбриксон"  // caption of the installer's messages, group folder name
#define PEL_PROGRAM_FILE "Pelbrix.exe"
#define PEL_FOLDER_NAME "Pelbrix"  // appended to the Program Files folder
#define PEL_VERSION "1.8.3"        // stored in the installation record
#define PEL_DATA_FILE "Tolva.dat"  // the user's data file, kept when present

// Held for the whole run by the installer and the uninstaller: one of them at a time.
#define PEL_RUN_MUTEX "Pelbrix.Setup.Run"
// The "Installed apps" entry, under HKLM (or HKCU without administrator rights).
#define PEL_UNINSTALL_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pelbrix"
#define PEL_UNINSTALL_FILE "uninstall.exe"
