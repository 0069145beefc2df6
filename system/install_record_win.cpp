// The installation record and the "Installed apps" entry over the Win32 registry: written by the
// installer, read and removed by the uninstaller.
#include "system/install_record_win.h"

#include <windows.h>

#include "base/install_state.h"
#include "base/product.h"
#include "base/text.h"
#include "base/wide_text_win.h"
#include "system/install_record.h"
#include "system/uninstall_entry.h"

namespace {

HKEY RootKey(RegistryRoot root) { return root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

struct Win32Registry final : Registry {
    bool OpenKey(RegistryRoot root, const char* path, RegistryKey* key) override {
        HKEY opened;
        if (RegOpenKeyExA(RootKey(root), path, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return false;
        *key = opened;
        return true;
    }

    bool CreateKey(RegistryRoot root, const char* path, const char* keyClass, RegistryKey* key) override {
        HKEY created;
        DWORD disposition;
        if (RegCreateKeyExA(RootKey(root), path, 0, const_cast<char*>(keyClass), 0, KEY_ALL_ACCESS, NULL, &created,
                            &disposition) != ERROR_SUCCESS)
            return false;
        *key = created;
        return true;
    }

    bool QueryValue(RegistryKey key, const char* name, char* data, uint32_t limit, uint32_t* size) override {
        DWORD bytes = limit;
        LONG result = RegQueryValueExA(static_cast<HKEY>(key), name, NULL, NULL, reinterpret_cast<BYTE*>(data), &bytes);
        if (result != ERROR_SUCCESS) return false;  // ERROR_MORE_DATA included: too long counts as missing
        *size = bytes;
        return true;
    }

    bool SetTextValue(RegistryKey key, const char* name, const char* text, uint32_t length, TextCode code) override {
        if (code == TextCode::Cp1251) {
            // Stored as UTF-16, terminator included when length counts it.
            WCHAR wide[kPathSize];
            WCHAR wideName[64];
            const int units = MultiByteToWideChar(1251, 0, text, static_cast<int>(length), wide, kPathSize);
            if (units == 0 || !WideFrom1251(name, wideName, 64)) return false;
            return RegSetValueExW(static_cast<HKEY>(key), wideName, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide),
                                  static_cast<DWORD>(units) * sizeof(WCHAR)) == ERROR_SUCCESS;
        }
        return RegSetValueExA(static_cast<HKEY>(key), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), length) ==
               ERROR_SUCCESS;
    }

    bool SetNumberValue(RegistryKey key, const char* name, uint32_t value) override {
        const DWORD data = value;
        return RegSetValueExA(static_cast<HKEY>(key), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                              sizeof data) == ERROR_SUCCESS;
    }

    void DeleteValue(RegistryKey key, const char* name) override { RegDeleteValueA(static_cast<HKEY>(key), name); }
    void CloseKey(RegistryKey key) override { RegCloseKey(static_cast<HKEY>(key)); }

    bool DeleteKey(RegistryRoot root, const char* path) override {
        return RegDeleteKeyA(RootKey(root), path) == ERROR_SUCCESS;
    }
};

}  // namespace

bool ReadProgramFilesDir(char* buffer) {
    Win32Registry registry;
    return ReadProgramFilesDir(registry, buffer);
}

bool ReadInstalledPath(char (&buffer)[kPathSize]) {
    Win32Registry registry;
    return ReadInstalledPath(registry, buffer);
}

bool ReadRecordedFolder(char (&buffer)[kPathSize]) {
    Win32Registry registry;
    return ReadRecordedFolder(registry, buffer);
}

void FullInstallFolder(const char* folder, char (&buffer)[kPathSize]) {
    const DWORD length = GetFullPathNameA(folder, sizeof buffer, buffer, NULL);
    if (length == 0 || length >= sizeof buffer) CopyText(buffer, folder);
}

bool WriteInstallRecord(const InstallState& state) {
    char full[kPathSize];
    FullInstallFolder(state.folder, full);
    Win32Registry registry;
    return WriteInstallRecord(registry, state, full);
}

bool WriteUninstallEntry(const InstallState& state, uint64_t installedBytes) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    const LocalDate today = {now.wYear, static_cast<uint8_t>(now.wMonth), static_cast<uint8_t>(now.wDay)};
    char full[kPathSize];
    FullInstallFolder(state.folder, full);
    Win32Registry registry;
    return WriteUninstallEntry(registry, full, installedBytes, today);
}

void DeleteSetupValue(const char* name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSetupKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

void DeleteKeyIfEmpty(const char* path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return;
    DWORD subkeys = 1, values = 1;
    const bool known =
        RegQueryInfoKeyA(key, NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (known && subkeys == 0 && values == 0) RegDeleteKeyA(HKEY_CURRENT_USER, path);
}

bool ReadEntryLocation(RegistryRoot root, char (&buffer)[kPathSize]) {
    HKEY key;
    if (RegOpenKeyExA(RootKey(root), PEL_UNINSTALL_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = sizeof buffer - 1;
    const bool read = RegQueryValueExA(key, kInstallLocationValue, NULL, &type, reinterpret_cast<BYTE*>(buffer),
                                       &size) == ERROR_SUCCESS &&
                      type == REG_SZ;
    RegCloseKey(key);
    buffer[read && size < sizeof buffer ? size : 0] = 0;
    return read && buffer[0] != 0;
}

void DeleteUninstallEntry(RegistryRoot root) { RegDeleteKeyA(RootKey(root), PEL_UNINSTALL_KEY); }
