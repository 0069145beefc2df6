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

    // A text read as UTF-16 may take up to three UTF-8 bytes a unit; it must fit limit as UTF-8.
    bool QueryValue(RegistryKey key, const char* name, char* data, uint32_t limit, uint32_t* size,
                    TextCode code) override {
        if (code != TextCode::Utf8) {
            DWORD bytes = limit;
            // ERROR_MORE_DATA included: too long counts as missing
            if (RegQueryValueExA(static_cast<HKEY>(key), name, NULL, NULL, reinterpret_cast<BYTE*>(data), &bytes) !=
                ERROR_SUCCESS)
                return false;
            *size = bytes;
            return true;
        }
        WCHAR wideName[64], text[kPathSize];
        DWORD bytes = sizeof text - sizeof(WCHAR);
        if (!WideFrom1251(name, wideName, 64) ||
            RegQueryValueExW(static_cast<HKEY>(key), wideName, NULL, NULL, reinterpret_cast<BYTE*>(text), &bytes) !=
                ERROR_SUCCESS)
            return false;
        text[bytes / sizeof(WCHAR)] = 0;  // stored with or without its terminator
        // With its terminator into the caller's limit + 1 bytes; one that does not fit is missing.
        if (!Utf8FromWide(text, data, limit + 1)) return false;
        *size = static_cast<uint32_t>(TextLengthN(data, limit + 1));
        return true;
    }

    bool SetTextValue(RegistryKey key, const char* name, const char* text, uint32_t length, TextCode code) override {
        if (code != TextCode::Ansi) {
            // Stored as UTF-16, terminator included when length counts it.
            WCHAR wide[kPathSize + 32];
            WCHAR wideName[64];
            const int units = MultiByteToWideChar(code == TextCode::Cp1251 ? 1251 : CP_UTF8, 0, text,
                                                  static_cast<int>(length), wide, kPathSize + 32);
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

bool ReadRecordedFolder(char (&buffer)[kPathSize]) {
    Win32Registry registry;
    return ReadRecordedFolder(registry, buffer);
}

bool FullInstallFolder(const char* folder, char (&buffer)[kPathSize]) {
    WCHAR typed[kPathSize], full[kPathSize];
    buffer[0] = 0;
    if (!WideFromAnsi(folder, typed, kPathSize)) return false;
    const DWORD length = GetFullPathNameW(typed, kPathSize, full, NULL);
    const bool made = length != 0 && length < kPathSize;
    Utf8FromWide(made ? full : typed, buffer, sizeof buffer);
    return made && CompareStringOrdinal(full, -1, typed, -1, FALSE) != CSTR_EQUAL;
}

bool WriteInstallRecord(const InstallState& state) {
    char full[kPathSize];
    if (!FullInstallFolder(state.folder, full)) full[0] = 0;  // the folder as typed is full already
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
    WCHAR name[64], text[kPathSize];
    DWORD type = 0, size = sizeof text - sizeof(WCHAR);
    const bool read = WideFrom1251(kInstallLocationValue, name, 64) &&
                      RegQueryValueExW(key, name, NULL, &type, reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS &&
                      type == REG_SZ;
    RegCloseKey(key);
    text[read ? size / sizeof(WCHAR) : 0] = 0;
    return Utf8FromWide(text, buffer, sizeof buffer) && buffer[0] != 0;
}

void DeleteUninstallEntry(RegistryRoot root) { RegDeleteKeyA(RootKey(root), PEL_UNINSTALL_KEY); }
