// Licence page (dialog 2): the licence agreement, one text line per list entry, and the
// acceptance box that alone lets the user go on.
#pragma once
#include <stddef.h>

#include "resources/resource.h"

constexpr int kLicenceListId = PEL_ID_LICENCE_LIST;
constexpr int kLicenceAcceptBoxId = PEL_ID_LICENCE_ACCEPT;
constexpr size_t kLicenceLineMax = 1000;  // bytes of one list entry

// Receives one entry: a zero-terminated text of at most kLicenceLineMax bytes, valid only
// during the call.
typedef void (*LicenceLineSink)(void* context, const char* line);

// Splits the licence text (Windows-1251, lines ended by CR LF, the last line may lack its line
// end) into entries in text order, empty lines included, and returns their number.
// A CR ends a line and the byte after it (the LF) is skipped; a lone LF is an ordinary byte.
// A line longer than kLicenceLineMax bytes goes on in further entries, no byte lost.
// Reads nothing outside bytes[0, size).
size_t SplitLicenceText(const char* bytes, size_t size, LicenceLineSink sink, void* context);

struct LicenceModel {
    bool accepted;        // the acceptance box
    bool proceedEnabled;  // "Далее >>>", always equal to accepted
};

// The page opens with the box clear and "Далее >>>" disabled.
void LicenceOpen(LicenceModel& page);
// The box was clicked; checkState is what the box reports (0 clear, else ticked).
void LicenceAcceptToggled(LicenceModel& page, long checkState);
// Whether a command from controlId ends the page, and with which result. "Далее >>>" counts
// only while it is enabled: the Enter key sends its id even when the button is disabled.
bool LicenceEndsWith(const LicenceModel& page, int controlId, int* result);
