// Resource and control ids, shared by installer.rc and the code. Plain defines: windres reads
// this file too.
#pragma once

// Dialogs (pages).
#define PEL_DLG_DESTINATION 1
#define PEL_DLG_LICENCE 2
#define PEL_DLG_FOLDER_BROWSER 3
#define PEL_DLG_PREVIOUS_INSTALL 4
#define PEL_DLG_COMPLETION 5

// Other resources.
#define PEL_BITMAP_PAGE 1
#define PEL_ICON_MAIN 1
#define PEL_MANIFEST 1
#define PEL_RCDATA_LICENCE 100
#define PEL_RCDATA_PAYLOAD 101
#define PEL_RCDATA_NAMES 102  // the uninstaller's list of the packed folders and files

// Controls every page shares: 1 goes on, 2 cancels (Esc and the close box arrive as 2 too).
#define PEL_ID_PROCEED 1
#define PEL_ID_CANCEL 2
#define PEL_ID_PICTURE 101

// Destination page.
#define PEL_ID_DEST_FOLDER 106
#define PEL_ID_DEST_BROWSE 107
#define PEL_ID_DEST_DESKTOP 108
// Licence page.
#define PEL_ID_LICENCE_LIST 102
#define PEL_ID_LICENCE_ACCEPT 104
// Folder browser.
#define PEL_ID_BROWSER_PATH 106
#define PEL_ID_BROWSER_FOLDERS 110
#define PEL_ID_BROWSER_DRIVES 111
// Previous-installation page.
#define PEL_ID_PREVIOUS_FOLDER 105
