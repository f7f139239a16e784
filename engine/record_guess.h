#pragma once
// The record length a file's own structure shows. A file that reaches a PC from a mainframe by
// a binary transfer has no line ends: its records follow each other at a fixed length, and at
// that length its columns line up (blanks where lines end, digits where numbers stand, the
// same bytes in fixed fields). A wrong length is worse than none, so the guess names one only
// when the file shows it clearly.
#include <cstddef>
#include <cstdint>
#include <string>

constexpr std::int32_t ShortestGuess = 2;
constexpr std::int32_t LongestGuess = 32760;
// The most of a file the guess reads, from its start, however large the file.
constexpr std::size_t GuessSampleSize = 2u << 20;

// The record length of the file of fileSize bytes whose first bytes sample holds, or 0 when it
// shows no fixed records clearly: fewer than ten whole records or 768 bytes, no column
// structure, or more than one length that fits. Of the lengths that fit, the record's own,
// never a multiple of it nor a table repeated within it.
std::int32_t GuessRecordLength(const unsigned char* sample, std::size_t sampleSize, std::uint64_t fileSize);

// The same for a file: it reads at most GuessSampleSize bytes of it, never changes or locks it,
// and gives 0 for a file it cannot read and for a device or a pipe.
std::int32_t GuessRecordLength(const std::string& fileName);
