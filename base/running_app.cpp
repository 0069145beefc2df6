// The running application's window: class and title prefix.
#include "base/running_app.h"

#include <string.h>

#include "base/product.h"
#include "base/text.h"

const char kRunningWindowClass[] = "TFormMain";

bool IsRunningProductTitle(const char* title) {
    static const char kDisplayName[] = PEL_DISPLAY_NAME;
    const size_t kLength = sizeof(kDisplayName) - 1;  // 10 bytes in Windows-1251
    char head[kLength + 1];
    CopyTextN(head, sizeof head, title, kLength);
    return strcmp(head, kDisplayName) == 0;
}
