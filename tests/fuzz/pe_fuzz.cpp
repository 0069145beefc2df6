// Fuzz target: pelpack's lookup of the payload resource in a PE file (an installer given to
// list, verify or extract). Whatever the bytes, a span found lies inside the file and a failure
// names its reason. The corpus starts from a PE32 and a PE32+ file holding RCDATA 101 in two
// languages (the neutral one listed second) and RCDATA 100.
#include <stdint.h>
#include <stdlib.h>

#include "tools/pe_resource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PeResourceSpan span{};
    const char* why = nullptr;
    if (FindPeResource(data, size, 10, 101, &span, &why) == PeLookup::Found) {
        if (span.length > size || span.offset > size - span.length) abort();
    } else if (why == nullptr) {
        abort();
    }
    return 0;
}
