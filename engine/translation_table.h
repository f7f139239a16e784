#pragma once
#include <cstddef>
#include <cstdint>

// Translates count EBCDIC bytes into PC bytes through the fixed table. Source and
// destination may be the same buffer; a count of 0 or less changes nothing.
void TranslateBuffer(const void* source, void* destination, std::int32_t count);

// Translates count bytes from source into destination as TranslateBuffer does, and cuts them
// into records on the way: CR LF after every record end of the stream, whose state cut holds
// and moves on. Returns the bytes put into destination, which is apart from source or ahead
// of it in the same buffer by as much as the record loop asks (translation_kernel.h).
struct RecordCut;
std::size_t TranslateIntoRecords(const void* source, std::size_t count, void* destination, RecordCut& cut);
