// Previous-installation page (dialog 4): shows the folder of an earlier installation and asks
// whether to go on. The folder is the process's current directory when the page opens.
#pragma once
#include <stddef.h>

#include "base/text.h"
#include "resources/resource.h"

constexpr int kPreviousFolderFieldId = PEL_ID_PREVIOUS_FOLDER;

struct PreviousInstallModel {
    char16_t folder[kPathSize];  // shown greyed in field 105
};

// Takes the current directory as the system reported it: reported is the length it returned,
// 0 when it failed and the size it needs when the text did not fit. Only a text that fitted is
// shown; otherwise the field stays empty.
void PreviousInstallOpen(PreviousInstallModel& page, const char16_t* directory, size_t reported);
