// Licence page model: the line splitter and the acceptance state.
#include "pages/licence.h"

#include "base/text.h"
#include "pages/page.h"

size_t SplitLicenceText(const char* bytes, size_t size, LicenceLineSink sink, void* context) {
    char line[kPathSize];  // one working text, reused for every entry
    size_t position = 0;
    size_t entries = 0;
    while (position < size) {
        size_t length = 0;
        while (position < size && length < kLicenceLineMax && bytes[position] != '\r') {
            line[length++] = bytes[position++];
        }
        line[length] = 0;
        sink(context, line);
        ++entries;
        // Step over the CR and the byte after it only when the line ended there; a line cut at
        // the entry limit goes on with its next byte.
        if (position < size && bytes[position] == '\r') {
            position += (size - position >= 2) ? 2 : 1;
        }
    }
    return entries;
}

void LicenceOpen(LicenceModel& page) {
    page.accepted = false;
    page.proceedEnabled = false;
}

void LicenceAcceptToggled(LicenceModel& page, long checkState) {
    page.accepted = checkState != 0;
    page.proceedEnabled = page.accepted;
}

bool LicenceEndsWith(const LicenceModel& page, int controlId, int* result) {
    if (controlId == kPageProceedId && !page.proceedEnabled) return false;
    return PageEndsWith(controlId, result);
}
