#pragma once
#include <cstdint>

// Translates count EBCDIC bytes into PC bytes through the fixed table. Source and
// destination may be the same buffer; a count of 0 or less changes nothing.
void TranslateBuffer(const void* source, void* destination, std::int32_t count);
