#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

// Bytes per step of the plain form, and the most input bytes read in one step in either form.
constexpr std::int32_t ConvertStepSize = 0x200000;

// Told how far a job has come: at its start, after every step and at its end. Answering false
// stops the job: it leaves the output as it was (job_output.h) and reports nothing.
class ConvertObserver {
public:
    virtual bool Progress(std::uint64_t bytesDone, std::uint64_t bytesTotal) = 0;
    // Once, when the job has stopped because Progress answered false. outputAsBefore is false
    // only for an output written in place, which then holds part of the job.
    virtual void Stopped(bool outputAsBefore) { static_cast<void>(outputAsBefore); }

protected:
    ~ConvertObserver() = default;
};

// Converts the whole input into the output, plain (fixedRecords 0) or cut into records of
// lrecl bytes each followed by CR LF. window, if not null, is disabled while the job runs.
// Returns the records written (fixed form) or the bytes written (plain form); 0 after a
// failure, which the job has already reported in a message box, and after a stop.
std::int64_t ConvertFile(HWND window, const std::string& inputName, const std::string& outputName,
                         std::int32_t fixedRecords, std::int32_t lrecl, ConvertObserver* observer = nullptr);
