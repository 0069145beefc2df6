// Compiled-in product constants. Narrow literals reach the program as Windows-1251 bytes.
#pragma once

#define PEL_DISPLAY_NAME "Пелбриксон"     // caption of the installer's messages, group folder name
#define PEL_PROGRAM_FILE "Pelbrix.exe"
#define PEL_FOLDER_NAME "Pelbrix"         // appended to the Program Files folder
#define PEL_VERSION "1.8.3"               // stored in the installation record
#define PEL_DATA_FILE "Tolva.dat"         // the user's data file, kept when present

// Resource ids.
#define PEL_DLG_DESTINATION 1
#define PEL_DLG_LICENCE 2
#define PEL_DLG_FOLDER_BROWSER 3
#define PEL_DLG_PREVIOUS_INSTALL 4
#define PEL_DLG_COMPLETION 5
#define PEL_BITMAP_PAGE 1
#define PEL_ICON_MAIN 1
#define PEL_RCDATA_LICENCE 100
#define PEL_RCDATA_PAYLOAD 101
