#pragma once
// What the dialog's Process command and the console program share: the checks before a
// conversion and the report after it.
#include <cstdint>
#include <string>

enum class EntryField { None, Input, Output, RecordLength };

struct EntryCheck {
    EntryField field;     // the entry to correct; None when all entries are good
    const char* message;  // null when all entries are good
};

// The input's check: name is not empty and names an ordinary file (or a pattern that matches one).
bool InputFileFound(const std::string& name);

// Checks, in this order, that the input names an ordinary file, that the output can be
// written and, for records, that the record length is above 0.
EntryCheck CheckProcessEntries(const std::string& inputName, const std::string& outputName,
                               std::int32_t fixedRecords, std::int32_t lrecl);

// "Created " and the count, with the record length or " bytes in output file."
std::string ResultsText(std::int64_t count, std::int32_t fixedRecords, std::int32_t lrecl);
