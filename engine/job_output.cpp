#include "job_output.h"
#include "file_search.h"

std::uint8_t JobOutput::Open(const std::string& name)
{
    ErrorCell error;
    OpenChannel(name, 0, OpenBinaryExisting, 128, error);
    std::uint8_t number = TakeErrorNumber(error);
    if (number != 0 && number != 53) return number;
    existed_ = number == 0;
    ownOpen_ = existed_;
    if (existed_ && !ChannelIsDisk(0)) return 0;  // a device takes the bytes as they come

    // The system's ReplaceFileA wants full names (Wine's refuses a bare one).
    fullName_ = FullFileName(name, error);
    TakeErrorNumber(error);
    if (!fullName_.empty()) {
        temporaryNumber_ = NextFreeFileNumber();
        OpenTemporaryChannel(fullName_, temporaryNumber_, error);
        temporary_ = TakeErrorNumber(error) == 0;
        if (temporary_) {
            // Until its replace, others may read the old output, or change it.
            ReleaseOwnOpen();
            return 0;
        }
    }

    inPlaceDisk_ = true;
    if (!ownOpen_) {
        OpenChannel(name, 0, OpenBinaryReadWrite, 128, error);
        if (std::uint8_t failed = TakeErrorNumber(error)) return failed;
        ownOpen_ = true;
    }
    CutAtPosition(0, error);
    TakeErrorNumber(error);  // a file that cannot be cut is written all the same
    return 0;
}

std::uint8_t JobOutput::Complete()
{
    ErrorCell error;
    if (!temporary_) {
        Abandon();
        return 0;
    }
    temporary_ = false;
    CommitTemporaryChannel(temporaryNumber_, fullName_, existed_, error);
    return TakeErrorNumber(error);
}

void JobOutput::Abandon()
{
    ErrorCell ignored;
    if (temporary_) CloseChannel(temporaryNumber_, ignored);
    temporary_ = false;
    ReleaseOwnOpen();
}

void JobOutput::ReleaseOwnOpen()
{
    ErrorCell ignored;
    if (ownOpen_) CloseChannel(0, ignored);
    ownOpen_ = false;
}
