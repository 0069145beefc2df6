// The program's own RCDATA resources, read in place from the module.
#pragma once
#include <stddef.h>
#include <stdint.h>

// Finds RCDATA id (language neutral) in the program's own module and gives its bytes and size.
// False when it cannot be found or loaded.
bool LoadRcData(int id, const uint8_t*& bytes, size_t& size);
