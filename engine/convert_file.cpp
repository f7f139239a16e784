#include "convert_file.h"
#include "file_channels.h"
#include "job_output.h"
#include "messages.h"
#include "record_cutter.h"
#include "translation_table.h"
#include "window_state.h"
#include <algorithm>
#include <new>

namespace {

const char InputErrorText[] = "Error on Input File, code=";
const char OutputErrorText[] = "Error on Output File, code=";

void ReportError(const char* text, std::uint8_t number)
{
    ShowMessage(text + NumberToText(number), ErrorCaption.Text(), MB_ICONHAND);
}

// An open channel of the job; it closes on every way out of the job.
class JobChannel {
public:
    explicit JobChannel(FileNumber number) : number_(number) {}
    ~JobChannel()
    {
        ErrorCell ignored;
        CloseChannel(number_, ignored);
    }
    JobChannel(const JobChannel&) = delete;
    JobChannel& operator=(const JobChannel&) = delete;
    FileNumber Number() const { return number_; }

private:
    FileNumber number_;
};

}  // namespace

std::int64_t ConvertFile(HWND window, const std::string& inputName, const std::string& outputName,
                         std::int32_t fixedRecords, std::int32_t lrecl, ConvertObserver* observer)
{
    WindowDisabled disabled(window);
    ErrorCell error;

    JobChannel input(NextFreeFileNumber());
    // An input that vanished since its check is an error, not an empty file to create.
    OpenChannel(inputName, input.Number(), OpenBinaryExisting, 128, error);
    if (std::uint8_t number = TakeErrorNumber(error)) {
        ReportError(InputErrorText, number);
        return 0;
    }
    std::uint64_t remaining = ChannelLength(input.Number(), error);
    if (std::uint8_t number = TakeErrorNumber(error)) {
        ReportError(InputErrorText, number);
        return 0;
    }

    JobOutput output;
    if (std::uint8_t number = output.Open(outputName)) {
        ReportError(OutputErrorText, number);
        return 0;
    }
    // Whatever ends the job early, its output goes first, then it says why.
    auto fail = [&output](const char* text, std::uint8_t number) {
        output.Abandon();
        ReportError(text, number);
        return 0;
    };
    auto goOn = [&](std::uint64_t done, std::uint64_t total) {
        if (observer == nullptr || observer->Progress(done, total)) return true;
        output.Abandon();
        observer->Stopped(output.AsBefore());
        return false;
    };

    bool records = fixedRecords != 0 && lrecl > 0;
    RecordCutter cutter(records ? lrecl : 1);
    std::int64_t bytesWritten = 0;
    // Plain form translates each step in place. Record form reads each step behind room
    // enough for its record ends and cuts it forward into the same buffer, so every byte
    // still makes one trip through the same few MiB of memory.
    std::string buffer;
    std::size_t lead = 0;
    try {
        std::size_t most = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, ConvertStepSize));
        if (records) lead = cutter.Lead(most);
        buffer.resize(lead + most);
    } catch (const std::bad_alloc&) {
        return fail(InputErrorText, 7);
    }

    const std::uint64_t total = remaining;
    std::uint64_t done = 0;
    if (!goOn(done, total)) return 0;
    while (remaining > 0) {
        auto step = static_cast<std::int32_t>(std::min<std::uint64_t>(remaining, ConvertStepSize));
        std::size_t got = ReadInto(input.Number(), step, &buffer[lead], error);
        if (std::uint8_t number = TakeErrorNumber(error)) return fail(InputErrorText, number);
        // An input that shrank since it was measured ends the job where it really ends.
        remaining = got < static_cast<std::size_t>(step) ? 0 : remaining - got;
        std::string_view translated;
        if (records) {
            translated = std::string_view(buffer.data(), cutter.Cut(buffer.data() + lead, got, &buffer[0], remaining == 0));
        } else {
            TranslateBuffer(buffer.data(), &buffer[0], static_cast<std::int32_t>(got));
            translated = std::string_view(buffer.data(), got);
        }
        WriteBytes(output.Number(), translated, error);
        if (std::uint8_t number = TakeErrorNumber(error)) return fail(OutputErrorText, number);
        bytesWritten += static_cast<std::int64_t>(got);
        done += got;
        if (!goOn(done, total)) return 0;
    }
    if (std::uint8_t number = output.Complete()) return fail(OutputErrorText, number);
    return records ? cutter.Records() : bytesWritten;
}
