// Compiled-in product constants. Narrow literals reach the program as Windows-1251 bytes.
#pragma once

#define PEL_DISPLAY_NAME "Пелбриксон"  // caption of the installer's messages, group folder name
#define PEL_PROGRAM_FILE "Pelbrix.exe"
#define PEL_FOLDER_NAME "Pelbrix"  // appended to the Program Files folder
#define PEL_VERSION "1.8.3"        // stored in the installation record
#define PEL_DATA_FILE "Tolva.dat"  // the user's data file, kept when present
