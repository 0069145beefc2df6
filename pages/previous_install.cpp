// Previous-installation page model.
#include "pages/previous_install.h"

#include "base/text.h"

void PreviousInstallOpen(PreviousInstallModel& page, const char16_t* directory, size_t reported) {
    page.folder[0] = 0;
    // A failed or too-long query leaves the system's buffer unspecified: show nothing of it.
    if (reported == 0 || reported >= kPathSize) return;
    CopyTextN(page.folder, kPathSize, directory, reported);
}
