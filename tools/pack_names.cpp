// Name checks and case folding for pelpack.
#include "tools/pack_names.h"

#include "base/cp1251.h"
#include "payload/archive.h"

bool PackName(const std::string& utf8, std::string& name1251, std::string& problem) {
    char converted[kArchivePathCapacity];
    size_t failedAt = 0;
    switch (Utf8ToCp1251(converted, sizeof converted, utf8.data(), utf8.size(), &failedAt)) {
    case Utf8ToCp1251Result::Ok: break;
    case Utf8ToCp1251Result::Cut: problem = "name longer than an archive path can hold (1023 bytes)"; return false;
    case Utf8ToCp1251Result::Unconvertible:
        problem = "name has a character without a Windows-1251 form (at byte " + std::to_string(failedAt) + ")";
        return false;
    }
    name1251 = converted;
    const NameFault fault = CheckNamePart(name1251.data(), name1251.size());
    if (fault != NameFault::None) {
        problem = NameFaultText(fault);
        return false;
    }
    return true;
}

std::string FoldCase1251(const std::string& name1251) {
    std::string key = name1251;
    for (char& ch : key) ch = UpperCase1251(ch);
    return key;
}
