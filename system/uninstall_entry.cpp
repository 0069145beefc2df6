// The "Installed apps" entry over any registry.
#include "system/uninstall_entry.h"

#include "base/product.h"
#include "base/text.h"

const char kDisplayNameValue[] = "DisplayName";
const char kDisplayVersionValue[] = "DisplayVersion";
const char kInstallLocationValue[] = "InstallLocation";
const char kUninstallStringValue[] = "UninstallString";
const char kDisplayIconValue[] = "DisplayIcon";
const char kEstimatedSizeValue[] = "EstimatedSize";
const char kNoModifyValue[] = "NoModify";
const char kNoRepairValue[] = "NoRepair";
const char kInstallDateValue[] = "InstallDate";

namespace {

// A folder of 1023 bytes, a backslash, a file name and the quotes or ",0" around it.
typedef char EntryText[kPathSize + 32];

// Stored with the terminator: other programs read these values.
void SetText(Registry& registry, RegistryKey key, const char* name, const char* text, TextCode code) {
    registry.SetTextValue(key, name, text, static_cast<uint32_t>(TextLengthN(text, sizeof(EntryText)) + 1), code);
}

// prefix + folder + "\" + file + suffix.
void ComposeFilePath(EntryText& out, const char* prefix, const char* folder, const char* file, const char* suffix) {
    CopyText(out, prefix);
    AppendTextN(out, sizeof out, folder, kPathSize - 1);
    AppendText(out, "\\");
    AppendText(out, file);
    AppendText(out, suffix);
}

// "YYYYMMDD".
void FormatDate(char (&out)[9], LocalDate date) {
    const unsigned parts[3] = {date.year, date.month, date.day};
    const int widths[3] = {4, 2, 2};
    int at = 0;
    for (int p = 0; p < 3; ++p) {
        unsigned value = parts[p];
        for (int i = widths[p] - 1; i >= 0; --i, value /= 10) out[at + i] = static_cast<char>('0' + value % 10);
        at += widths[p];
    }
    out[8] = 0;
}

}  // namespace

uint32_t SizeInKiB(uint64_t bytes) {
    const uint64_t kib = bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0);
    return kib > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(kib);
}

bool WriteUninstallEntry(Registry& registry, const char* fullFolder, uint64_t installedBytes, LocalDate today) {
    RegistryKey key;
    if (!registry.CreateKey(RegistryRoot::LocalMachine, PEL_UNINSTALL_KEY, "", &key) &&
        !registry.CreateKey(RegistryRoot::CurrentUser, PEL_UNINSTALL_KEY, "", &key))
        return true;
    char folder[kPathSize], date[9];
    CopyTextN(folder, sizeof folder, fullFolder, kPathSize);
    FormatDate(date, today);
    EntryText uninstall, icon;
    ComposeFilePath(uninstall, "\"", folder, PEL_UNINSTALL_FILE, "\"");
    ComposeFilePath(icon, "", folder, PEL_PROGRAM_FILE, ",0");
    const struct {
        const char* name;
        const char* text;
        TextCode code;
    } texts[] = {
        {kDisplayNameValue, PEL_DISPLAY_NAME, TextCode::Cp1251},
        {kDisplayVersionValue, PEL_VERSION, TextCode::Ansi},
        {kInstallLocationValue, folder, TextCode::Utf8},
        {kUninstallStringValue, uninstall, TextCode::Utf8},
        {kDisplayIconValue, icon, TextCode::Utf8},
        {kInstallDateValue, date, TextCode::Ansi},
    };
    for (const auto& t : texts) SetText(registry, key, t.name, t.text, t.code);
    registry.SetNumberValue(key, kEstimatedSizeValue, SizeInKiB(installedBytes));
    registry.SetNumberValue(key, kNoModifyValue, 1);
    registry.SetNumberValue(key, kNoRepairValue, 1);
    registry.CloseKey(key);
    return true;
}
