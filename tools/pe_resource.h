// Finds one resource in a PE32 or PE32+ file held in memory, reading the resource directory
// with every offset and count checked against the bytes at hand: a malformed file gives an
// error, never a read outside the buffer.
//
// File layout walked here (all fields little-endian):
//   DOS header: "MZ", u32 e_lfanew at 0x3C -> "PE\0\0", then the 20-byte COFF header
//     (u16 NumberOfSections at +2, u16 SizeOfOptionalHeader at +16), then the optional header
//     (u16 magic 0x10B PE32 / 0x20B PE32+; NumberOfRvaAndSizes at 92 / 108, data directories
//     of 8 bytes each from 96 / 112; the resource table is directory 2: u32 rva, u32 size),
//     then NumberOfSections section headers of 40 bytes (VirtualSize +8, VirtualAddress +12,
//     SizeOfRawData +16, PointerToRawData +20).
//   Resource tree, offsets relative to its start: a directory is 16 bytes (u16 named count at
//     +12, u16 id count at +14) followed by 8-byte entries (u32 name or id, high bit = named;
//     u32 offset, high bit = subdirectory). Three levels: type, name, language. A leaf is a
//     16-byte data entry whose first u32 is the data's RVA and second its size.
#pragma once
#include <stddef.h>
#include <stdint.h>

enum class PeLookup {
    Found,
    NotPe,       // no "MZ"/"PE\0\0" signatures: not a PE file at all
    Malformed,   // a PE whose headers or resource tree do not fit the file
    NoResource,  // a sound PE without the resource asked for
};

struct PeResourceSpan {
    size_t offset;      // position of the resource's first byte in the file
    size_t length;      // its size in bytes
    uint16_t language;  // the language entry it was taken from
    bool pe32Plus;      // the file is PE32+ (64-bit)
};

// Looks up resource type/id in the file bytes, preferring language 0 (neutral) and otherwise
// taking the first language listed. On anything but Found, *why (when given) points at a
// short English reason.
PeLookup FindPeResource(const uint8_t* file, size_t size, uint32_t type, uint32_t id, PeResourceSpan* span,
                        const char** why);
