#include "process_request.h"
#include "file_search.h"
#include "messages.h"
#include "output_probe.h"

bool InputFileFound(const std::string& name)
{
    ErrorCell error;
    return !name.empty() && !FindFileName(name, 0, error).empty();
}

EntryCheck CheckProcessEntries(const std::string& inputName, const std::string& outputName,
                               std::int32_t fixedRecords, std::int32_t lrecl)
{
    if (!InputFileFound(inputName))
        return {EntryField::Input, "Input File Not Found"};
    if (!CanCreateFile(outputName)) return {EntryField::Output, "Invalid Output File name or path"};
    if (fixedRecords != 0 && lrecl <= 0)
        return {EntryField::RecordLength, "LRECL Required if CRLF to be added"};
    return {EntryField::None, nullptr};
}

std::string ResultsText(std::int64_t count, std::int32_t fixedRecords, std::int32_t lrecl)
{
    std::string text = "Created " + NumberToText(static_cast<double>(count));
    if (fixedRecords != 0) return text + " " + TrimLeadingBlanks(NumberToText(lrecl)) + "-byte records";
    return text + " bytes in output file.";
}
