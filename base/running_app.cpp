// The running application's window: class and title prefix.
#include "base/running_app.h"

#include "base/cp1251.h"
#include "base/product.h"

const char kRunningWindowClass[] = "TFormMain";

bool IsRunningProductTitle(const char16_t* title) {
    static const char kDisplayName[] = PEL_DISPLAY_NAME;
    const size_t kLength = sizeof(kDisplayName) - 1;  // 10 characters
    char16_t name[kLength + 1];
    Cp1251ToUtf16(name, kLength + 1, kDisplayName);
    for (size_t i = 0; i < kLength; ++i)
        if (title[i] != name[i]) return false;  // a shorter title ends in its terminator here
    return true;
}
