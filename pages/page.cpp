// Results of the pages' proceed and cancel commands.
#include "pages/page.h"

bool PageEndsWith(int controlId, int* result) {
    if (controlId == kPageProceedId) {
        *result = kPageResultProceed;
        return true;
    }
    if (controlId == kPageCancelId) {
        *result = kPageResultCancel;
        return true;
    }
    return false;
}
