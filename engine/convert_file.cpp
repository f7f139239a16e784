#include "convert_file.h"
#include "file_channels.h"
#include "messages.h"
#include "translation_table.h"
#include "window_state.h"
#include <algorithm>
#include <cstring>
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

// Cuts a stream of translated bytes into records. The first n bytes of buffer continue the
// stream; CR LF goes in after every record end, moving the bytes towards the back of the
// buffer, which has room for them. With last set, a partial record at the end is closed
// too. Returns the new length of the buffer's contents.
class RecordCutter {
public:
    explicit RecordCutter(std::int32_t lrecl) : lrecl_(static_cast<std::size_t>(lrecl)) {}

    // Room the buffer needs beyond n bytes of input.
    std::size_t Headroom(std::size_t n) const { return 2 * (n / lrecl_ + 2); }

    std::size_t Cut(char* buffer, std::size_t n, bool last)
    {
        std::size_t toFirstEnd = lrecl_ - offset_;
        std::size_t ends = n >= toFirstEnd ? 1 + (n - toFirstEnd) / lrecl_ : 0;
        std::size_t tailStart = ends > 0 ? toFirstEnd + (ends - 1) * lrecl_ : 0;
        std::size_t tailLength = n - tailStart;
        std::size_t partial = ends > 0 ? tailLength : offset_ + n;
        bool closeTail = last && partial > 0;
        std::size_t length = n + 2 * (ends + (closeTail ? 1 : 0));

        std::size_t to = length;
        if (closeTail) PutRecordEnd(buffer, to);
        to -= tailLength;
        std::memmove(buffer + to, buffer + tailStart, tailLength);
        std::size_t from = tailStart;
        for (std::size_t k = ends; k > 0; --k) {
            PutRecordEnd(buffer, to);
            std::size_t record = k == 1 ? toFirstEnd : lrecl_;
            from -= record;
            to -= record;
            std::memmove(buffer + to, buffer + from, record);
        }
        offset_ = closeTail ? 0 : partial;
        records_ += static_cast<std::int64_t>(ends) + (closeTail ? 1 : 0);
        return length;
    }

    std::int64_t Records() const { return records_; }

private:
    static void PutRecordEnd(char* buffer, std::size_t& to)
    {
        buffer[--to] = '\n';
        buffer[--to] = '\r';
    }

    std::size_t lrecl_;
    std::size_t offset_ = 0;  // bytes of the current record already passed
    std::int64_t records_ = 0;
};

}  // namespace

std::int64_t ConvertFile(HWND window, const std::string& inputName, const std::string& outputName,
                         std::int32_t fixedRecords, std::int32_t lrecl, ConvertObserver* observer)
{
    WindowDisabled disabled(window);
    ErrorCell error;

    JobChannel input(NextFreeFileNumber());
    OpenChannel(inputName, input.Number(), OpenBinaryReadWrite, 128, error);
    if (std::uint8_t number = TakeErrorNumber(error)) {
        ReportError(InputErrorText, number);
        return 0;
    }
    std::uint64_t remaining = ChannelLength(input.Number(), error);
    if (std::uint8_t number = TakeErrorNumber(error)) {
        ReportError(InputErrorText, number);
        return 0;
    }

    JobChannel output(0);
    OpenChannel(outputName, output.Number(), OpenBinaryReadWrite, 128, error);
    if (std::uint8_t number = TakeErrorNumber(error)) {
        ReportError(OutputErrorText, number);
        return 0;
    }
    CutAtPosition(output.Number(), error);
    TakeErrorNumber(error);  // a device that cannot be cut is written all the same

    bool records = fixedRecords != 0 && lrecl > 0;
    RecordCutter cutter(records ? lrecl : 1);
    std::int64_t bytesWritten = 0;
    std::string buffer;
    try {
        std::size_t most = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, ConvertStepSize));
        buffer.reserve(most + (records ? cutter.Headroom(most) : 0));
    } catch (const std::bad_alloc&) {
        ReportError(InputErrorText, 7);
        return 0;
    }

    const std::uint64_t total = remaining;
    std::uint64_t done = 0;
    if (observer != nullptr) observer->Progress(done, total);
    while (remaining > 0) {
        auto step = static_cast<std::int32_t>(std::min<std::uint64_t>(remaining, ConvertStepSize));
        ReadChunk(input.Number(), step, buffer, error);
        if (std::uint8_t number = TakeErrorNumber(error)) {
            ReportError(InputErrorText, number);
            return 0;
        }
        std::size_t got = buffer.size();
        // An input that shrank since it was measured ends the job where it really ends.
        remaining = got < static_cast<std::size_t>(step) ? 0 : remaining - got;
        TranslateBuffer(buffer.data(), &buffer[0], static_cast<std::int32_t>(got));
        std::size_t length = got;
        if (records) {
            buffer.resize(got + cutter.Headroom(got));
            length = cutter.Cut(&buffer[0], got, remaining == 0);
        }
        WriteBytes(output.Number(), std::string_view(buffer.data(), length), error);
        if (std::uint8_t number = TakeErrorNumber(error)) {
            ReportError(OutputErrorText, number);
            return 0;
        }
        bytesWritten += static_cast<std::int64_t>(got);
        done += got;
        if (observer != nullptr) observer->Progress(done, total);
    }
    return records ? cutter.Records() : bytesWritten;
}
