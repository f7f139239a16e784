#pragma once
// Where a conversion job writes. A disk file is written as a temporary file beside it that
// takes the output's name in one step once it is whole, so that the name holds the old output
// or the whole new one, never a part: whatever ends the job early, the output is as it was.
// Devices (NUL, CON, ports, pipes), and a file whose folder takes no new file or has no room for
// a temporary name, are written in place.
#include "file_channels.h"
#include <cstdint>
#include <string>

class JobOutput {
public:
    JobOutput() = default;
    ~JobOutput() { Abandon(); }
    JobOutput(const JobOutput&) = delete;
    JobOutput& operator=(const JobOutput&) = delete;

    // Opens the output; the error number of a failed open, else 0. The output's own name is
    // opened first, as the job always has: that open fails while the job holds the input
    // under another spelling of its name, where a temporary file would replace the input
    // itself. A name that does not exist is not created.
    std::uint8_t Open(const std::string& name);
    // The channel the job writes to.
    FileNumber Number() const { return temporary_ ? temporaryNumber_ : 0; }
    // Puts the new output in its place; the error number of a failed replace, else 0.
    std::uint8_t Complete();
    // Lets go of everything; a temporary file goes with its channel. Done before the job
    // reports a failure, so that nothing of it is left while the message is read.
    void Abandon();
    // False once a disk file is written in place: then nothing can bring the old output back.
    bool AsBefore() const { return !inPlaceDisk_; }

private:
    void ReleaseOwnOpen();

    std::string fullName_;
    bool existed_ = false;   // the output's name was a file before the job
    bool ownOpen_ = false;   // channel 0 holds the output's own name
    bool temporary_ = false;
    FileNumber temporaryNumber_ = 0;
    bool inPlaceDisk_ = false;
};
