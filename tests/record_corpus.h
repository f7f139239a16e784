#pragma once
// Files shaped as mainframe files reach a PC, made up from a seed: card images, print files
// and data records of fixed lengths, and files with no fixed records at all.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct CorpusFile {
    std::string name;
    std::string bytes;
    std::int32_t recordLength;  // what a guess must say: 0 for a file without fixed records
};

// A few dozen files of every kind; another seed gives other files of the same kinds.
std::vector<CorpusFile> RecordCorpus(unsigned seed);

// count card images of 80 bytes: program source padded with blanks, sequence numbers in 73-80.
std::string CardImages(std::size_t count, unsigned seed);
// count lines of EBCDIC text of varying length, each ended by NL (0x15).
std::string NewLineText(std::size_t count, unsigned seed);
