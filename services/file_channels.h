#pragma once
// Numbered file channels over system files. Failures are recorded in the caller's ErrorCell
// and answered with an empty or zero value; nothing throws.
#include "error_numbers.h"
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

using FileNumber = std::int16_t;

// Open mode words: the mode in the high byte; read (0x80), write (0x40), explicit access
// (0x20), existing files only (0x10) and the lock value (1-4, sharing = lock - 1) in the low
// byte. Without 0x10 a missing file is created.
enum : std::uint16_t {
    ModeOutput = 0x02,
    ModeBinary = 0x20,
    AccessExistingOnly = 0x10,
    OpenBinaryReadWrite = 0x20C1,      // conversion job's output: falls back to read-only
    OpenBinaryExisting = 0x20D1,       // conversion job's input and output: never creates a file
    OpenOutputExplicit = 0x0261,       // output probe: write or nothing
    OpenBinarySharedInput = 0x2094,    // record-length guess: reads, never creates or locks
};

// The name a channel opens: the name itself; empty for a name with a wildcard, or one longer
// than a file name may be.
std::string ChannelPath(const std::string& name);

FileNumber NextFreeFileNumber();
void OpenChannel(const std::string& name, FileNumber number, std::uint16_t modeWord,
                 std::int32_t recordLength, ErrorCell& error);
std::uint64_t ChannelLength(FileNumber number, ErrorCell& error);
void CutAtPosition(FileNumber number, ErrorCell& error);
// Reads up to count bytes into bytes (resized to what arrived; empty at end of file).
void ReadChunk(FileNumber number, std::int32_t count, std::string& bytes, ErrorCell& error);
// Reads up to count bytes into the room at into; returns how many arrived (0 at end of file
// and on an error).
std::size_t ReadInto(FileNumber number, std::int32_t count, char* into, ErrorCell& error);
void WriteBytes(FileNumber number, std::string_view bytes, ErrorCell& error);
void CloseChannel(FileNumber number, ErrorCell& error);
// False for a channel on a device or a pipe, and for a number with no channel.
bool ChannelIsDisk(FileNumber number);

// A channel on a new file beside finalName (a full path), for writing an output that may take
// finalName only once it is whole. The system removes the file when the channel closes, and
// when the process ends however it ends, unless CommitTemporaryChannel put it in place first.
// Fails, creating nothing, where the folder takes no new file or has no room for the name.
void OpenTemporaryChannel(const std::string& finalName, FileNumber number, ErrorCell& error);
// Puts the temporary file of channel number in finalName's place in one step and closes the
// channel: replacing, onto the existing file, which keeps its attributes and permissions; else
// onto a name that must still be free. On a failure finalName is as it was and the temporary
// file is gone.
void CommitTemporaryChannel(FileNumber number, const std::string& finalName, bool replacing, ErrorCell& error);

// Tests make reads and writes fail here as a bad sector or a full disk would: asked before each
// system read or write of a channel, a hook that answers a system code other than 0 has the
// call fail with it. An empty hook restores the system's own answers.
using ChannelFault = std::function<DWORD(FileNumber number, bool writing)>;
ChannelFault SetChannelFault(ChannelFault fault);
// True when a file of that name can be opened for writing: an existing file is neither
// changed nor emptied, and a file created to find out is removed again.
bool CanOpenForWriting(const std::string& name);
// Deletes every ordinary file (not hidden, system or directory) that matches the name.
void DeleteMatchingFiles(const std::string& pattern, ErrorCell& error);
