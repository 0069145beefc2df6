// The installation record over any registry: the Program Files folder, the recorded folder, the record itself.
#include "system/install_record.h"

#include "base/product.h"
#include "base/text.h"

const char kWindowsVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kProgramFilesValue[] = "ProgramFilesDir";
const char kProductKey[] = "Software\\Pelbrix";
const char kSetupKey[] = "Software\\Pelbrix\\Setup";
const char kSetupKeyClass[] = "VORTA";
const char kPathValue[] = "Path";
const char kVersionValue[] = "Version";
const char kFullPathValue[] = "FullPath";
const char kToolBarKey[] = "Software\\Pelbrix\\Main\\TFormMainToolBar";

namespace {

const uint32_t kProgramFilesLimit = 260;
const uint32_t kInstalledPathLimit = 1023;  // one byte of the 1024 is kept for the terminator

// Reads a value as text into data (limit + 1 bytes): the bytes returned, then a zero, since
// a value may be stored without its terminator. False when the value cannot be read.
bool QueryText(Registry& registry, RegistryKey key, const char* name, char* data, uint32_t limit,
               TextCode code = TextCode::Ansi) {
    uint32_t size = limit;
    if (!registry.QueryValue(key, name, data, limit, &size, code)) {
        data[0] = 0;  // a failed read may leave anything in the buffer
        return false;
    }
    if (size > limit) size = limit;
    data[size] = 0;
    return true;
}

void SetText(Registry& registry, RegistryKey key, const char* name, const char* text, size_t cap,
             TextCode code = TextCode::Ansi) {
    // Stored without the terminator: "1.8.3" is 5 bytes.
    registry.SetTextValue(key, name, text, static_cast<uint32_t>(TextLengthN(text, cap)), code);
}

}  // namespace

bool ReadProgramFilesDir(Registry& registry, char* buffer) {
    RegistryKey key;
    if (!registry.OpenKey(RegistryRoot::LocalMachine, kWindowsVersionKey, &key)) return true;
    // Read aside: the caller's buffer changes only when a whole, terminated folder was read.
    char value[kProgramFilesLimit + 1];
    if (QueryText(registry, key, kProgramFilesValue, value, kProgramFilesLimit)) {
        // A value that fills all 260 bytes has no room for its terminator in the caller's
        // buffer: it counts as unreadable rather than being cut.
        if (TextLengthN(value, sizeof value) < kProgramFilesLimit) CopyTextN(buffer, kProgramFilesLimit, value);
    }
    registry.CloseKey(key);
    return true;
}

bool ReadRecordedFolder(Registry& registry, char (&buffer)[kPathSize]) {
    RegistryKey key;
    if (!registry.OpenKey(RegistryRoot::CurrentUser, kSetupKey, &key)) return false;
    if (!QueryText(registry, key, kFullPathValue, buffer, kInstalledPathLimit, TextCode::Utf8) || buffer[0] == 0)
        QueryText(registry, key, kPathValue, buffer, kInstalledPathLimit, TextCode::Utf8);
    registry.CloseKey(key);
    return buffer[0] != 0;
}

bool WriteInstallRecord(Registry& registry, const InstallState& state, const char* fullFolder) {
    RegistryKey key;
    if (registry.CreateKey(RegistryRoot::CurrentUser, kSetupKey, kSetupKeyClass, &key)) {
        SetText(registry, key, kPathValue, state.folder, sizeof state.folder);
        SetText(registry, key, kVersionValue, PEL_VERSION, sizeof PEL_VERSION);
        // One left by an earlier installation elsewhere would name that folder.
        if (fullFolder[0] != 0)
            SetText(registry, key, kFullPathValue, fullFolder, kPathSize, TextCode::Utf8);
        else
            registry.DeleteValue(key, kFullPathValue);
        registry.CloseKey(key);
    }
    // The application's saved toolbar layout does not fit the new version; gone in every case.
    registry.DeleteKey(RegistryRoot::CurrentUser, kToolBarKey);
    return true;
}
