// The registry operations the installation record and the "Installed apps" entry need, as a seam: Win32 in
// install_record_win.cpp, a fake in the unit tests.
#pragma once
#include <stdint.h>

enum class RegistryRoot { LocalMachine, CurrentUser };
// A stored text is the system's own (Windows-1251, stored so that it reads right whatever the
// code page), one in the system's ANSI code page (the folder as typed), whose bytes are kept, or
// one the system handed over in UTF-16 (a folder made full), kept as UTF-8 here and stored and
// read as UTF-16.
enum class TextCode { Ansi, Cp1251, Utf8 };
typedef void* RegistryKey;

struct Registry {
    // Opens an existing key for reading values.
    virtual bool OpenKey(RegistryRoot root, const char* path, RegistryKey* key) = 0;
    // Creates or opens a key with full access; keyClass is given to a newly created key.
    virtual bool CreateKey(RegistryRoot root, const char* path, const char* keyClass, RegistryKey* key) = 0;
    // Reads at most limit bytes of a value into data, whatever its type (Ansi: its bytes; Utf8: its
    // text as UTF-8); *size gets the bytes returned. False when the value is missing, unreadable
    // or longer than limit.
    virtual bool QueryValue(RegistryKey key, const char* name, char* data, uint32_t limit, uint32_t* size,
                            TextCode code) = 0;
    // Stores length bytes of text as a REG_SZ value.
    virtual bool SetTextValue(RegistryKey key, const char* name, const char* text, uint32_t length, TextCode code) = 0;
    // Stores a REG_DWORD value.
    virtual bool SetNumberValue(RegistryKey key, const char* name, uint32_t value) = 0;
    // Removes a value of a key opened by CreateKey; a missing value is no failure.
    virtual void DeleteValue(RegistryKey key, const char* name) = 0;
    virtual void CloseKey(RegistryKey key) = 0;
    virtual bool DeleteKey(RegistryRoot root, const char* path) = 0;

protected:
    ~Registry() = default;
};
