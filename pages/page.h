// What the pages share: the ids of the proceed and cancel buttons and the results they end with.
#pragma once
#include "resources/resource.h"

constexpr int kPageProceedId = PEL_ID_PROCEED;  // "Далее >>>", "OK" or "ОК"
constexpr int kPageCancelId = PEL_ID_CANCEL;    // "Отмена"; the Esc key and the close box arrive with this id too
constexpr int kPageBitmapId = PEL_ID_PICTURE;

constexpr int kPageResultCancel = 0;
constexpr int kPageResultProceed = 1;

// Whether a command from control id ends the page, and with which result: 1 for the proceed
// button, 0 for the cancel id; every other control leaves the page open.
bool PageEndsWith(int controlId, int* result);
