#include "file_channels.h"
#include "file_search.h"
#include "handles.h"
#include "text.h"
#include <cstdio>
#include <forward_list>
#include <new>
#include <utility>

namespace {

struct FileChannel {
    FileNumber number;
    KernelHandle handle;
    bool isDisk;
    std::uint8_t mode;
    std::uint8_t access;  // after a read-only retry, without the write bit
    std::string name;
    std::uint64_t position;
    std::int32_t recordLength;
    std::string temporaryPath;  // a temporary channel's file, removed when its handle closes
};

// Newest first. Nodes never move, so a channel pointer stays good until its close.
std::forward_list<FileChannel> ChannelTable;
SpinLock TableLock;

FileChannel* FindChannel(FileNumber number)
{
    SpinGuard guard(TableLock);
    for (FileChannel& channel : ChannelTable)
        if (channel.number == number) return &channel;
    return nullptr;
}

HANDLE OpenSystemFile(const std::string& name, std::uint8_t access, DWORD& code)
{
    DWORD desired = ((access & 0x80) ? GENERIC_READ : 0u) | ((access & 0x40) ? GENERIC_WRITE : 0u);
    DWORD lock = access & 0x07u;
    DWORD sharing = lock > 0 ? (lock - 1) & 0x03u : 0u;
    DWORD disposition = (access & AccessExistingOnly) ? OPEN_EXISTING : OPEN_ALWAYS;
    return GuardedSystemCall([&] {
        return CreateFileA(name.c_str(), desired, sharing, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }, code);
}

ChannelFault& CurrentFault()
{
    static ChannelFault fault;
    return fault;
}

// The code a test's fault hook answers for this call; 0 when the system is to be asked.
DWORD FaultCode(FileNumber number, bool writing)
{
    const ChannelFault& fault = CurrentFault();
    return fault ? fault(number, writing) : 0;
}

// Removes channel number from the table; the list is empty when no channel has it.
std::forward_list<FileChannel> TakeChannel(FileNumber number)
{
    std::forward_list<FileChannel> taken;
    SpinGuard guard(TableLock);
    auto before = ChannelTable.before_begin();
    for (auto it = ChannelTable.begin(); it != ChannelTable.end(); before = it++) {
        if (it->number == number) {
            taken.splice_after(taken.before_begin(), ChannelTable, before);
            break;
        }
    }
    return taken;
}

// Marks a file to be removed when its last handle closes, or takes the mark back. Unlike
// FILE_FLAG_DELETE_ON_CLOSE the mark can be taken back, and unlike a removal by name it is
// carried out by the system when the process is ended from outside.
bool MarkForRemoval(HANDLE file, bool remove, DWORD& code)
{
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = remove ? TRUE : FALSE;
    return GuardedSystemCall([&] {
        return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
    }, code) != FALSE;
}

// A new file beside finalName, marked for removal; invalid when none could be made.
KernelHandle NewTemporaryFile(const std::string& finalName, std::string& path, DWORD& code)
{
    std::string folder = finalName.substr(0, finalName.find_last_of('\\') + 1);
    if (folder.empty()) {
        code = ERROR_BAD_PATHNAME;
        return KernelHandle();
    }
    static DWORD made = 0;
    DWORD seed = GetCurrentProcessId() * 0x9E3779B1u ^ GetTickCount();
    for (int attempt = 0; attempt < 16; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "~velmor-%08lx.tmp", static_cast<unsigned long>(seed + ++made * 0x6F4F2A1Du));
        path = folder + name;
        if (!FileNameFits(path)) {
            code = ERROR_FILENAME_EXCED_RANGE;
            return KernelHandle();
        }
        KernelHandle file(GuardedSystemCall([&] {
            return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        }, code));
        if (file.Valid()) {
            if (MarkForRemoval(file.Get(), true, code)) return file;
            file.Reset();
            DWORD ignored = 0;
            GuardedSystemCall([&] { return DeleteFileA(path.c_str()); }, ignored);
            return KernelHandle();
        }
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) return KernelHandle();
    }
    return KernelHandle();
}

// Gives file the attributes of the file it is to replace. ReplaceFileA does so on Windows, but
// not every system that runs the program does (Wine 8 does not). Read-only is left out: the
// replace could not take such a file's place, and the job never replaces one.
void TakeAttributesOf(const std::string& name, HANDLE file)
{
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                       FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    DWORD code = 0;
    DWORD attributes = GuardedSystemCall([&] { return GetFileAttributesA(name.c_str()); }, code);
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    FILE_BASIC_INFO basic = {};  // times of 0 stay as they are
    basic.FileAttributes = (attributes & kept) != 0 ? attributes & kept : FILE_ATTRIBUTE_NORMAL;
    GuardedSystemCall([&] { return SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic); }, code);
}

bool MoveToStart(HANDLE file, ErrorCell& error)
{
    DWORD code = 0;
    DWORD low = GuardedSystemCall([&] { return SetFilePointer(file, 0, nullptr, FILE_BEGIN); }, code);
    if (low == INVALID_SET_FILE_POINTER && code != NO_ERROR) {
        RecordSystemError(error, code);
        return false;
    }
    return true;
}

bool CutHere(HANDLE file, ErrorCell& error)
{
    DWORD code = 0;
    if (!GuardedSystemCall([&] { return SetEndOfFile(file); }, code)) {
        RecordSystemError(error, code);
        return false;
    }
    return true;
}

}  // namespace

std::string ChannelPath(const std::string& name)
{
    bool usable = FileNameFits(name) && name.find_first_of("*?") == std::string::npos;
    return usable ? name : std::string();
}

FileNumber NextFreeFileNumber()
{
    FileNumber number = 1;
    while (FindChannel(number) != nullptr) ++number;
    return number;
}

void OpenChannel(const std::string& name, FileNumber number, std::uint16_t modeWord,
                 std::int32_t recordLength, ErrorCell& error)
{
    SpinGuard open(OpenLock());
    try {
        std::string path = ChannelPath(name);
        if (path.empty()) return RecordError(error, 64);
        auto mode = static_cast<std::uint8_t>(modeWord >> 8);
        auto access = static_cast<std::uint8_t>(modeWord & 0xFF);
        if (mode == ModeOutput || mode == ModeBinary) recordLength = 1;
        if (number < 0) return RecordError(error, 52);
        if (recordLength < 1) return RecordError(error, 5);
        if (FindChannel(number) != nullptr) return RecordError(error, 55);

        DWORD code = 0;
        KernelHandle file(OpenSystemFile(path, access, code));
        if (!file.Valid() && !(access & 0x20) && (access & 0x40)) {
            access = static_cast<std::uint8_t>(access & ~0x40);
            file = KernelHandle(OpenSystemFile(path, access, code));
        }
        if (!file.Valid()) return RecordSystemError(error, code);

        DWORD type = GuardedSystemCall([&] { return GetFileType(file.Get()); }, code);
        bool isDisk = type == FILE_TYPE_DISK;
        if (mode == ModeOutput && isDisk) {
            if (!MoveToStart(file.Get(), error) || !CutHere(file.Get(), error)) return;
        } else if (mode == ModeBinary) {
            if (!MoveToStart(file.Get(), error)) return;
        }

        FileChannel channel{number, std::move(file), isDisk, mode, access, path, 0, recordLength, std::string()};
        SpinGuard guard(TableLock);
        ChannelTable.push_front(std::move(channel));
    } catch (const std::bad_alloc&) {
        RecordError(error, 7);  // the handle, if any, closed itself
    }
}

std::uint64_t ChannelLength(FileNumber number, ErrorCell& error)
{
    FileChannel* channel = FindChannel(number);
    if (channel == nullptr) {
        RecordError(error, 52);
        return 0;
    }
    if (!channel->isDisk) return 0;
    DWORD high = 0;
    DWORD code = 0;
    DWORD low = GuardedSystemCall([&] { return GetFileSize(channel->handle.Get(), &high); }, code);
    if (low == INVALID_FILE_SIZE && code != NO_ERROR) {
        RecordSystemError(error, code);
        return 0;
    }
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

void CutAtPosition(FileNumber number, ErrorCell& error)
{
    FileChannel* channel = FindChannel(number);
    if (channel == nullptr) return RecordError(error, 52);
    CutHere(channel->handle.Get(), error);
}

void ReadChunk(FileNumber number, std::int32_t count, std::string& bytes, ErrorCell& error)
{
    // Reuse the caller's storage: a job reads every step into the same string.
    try {
        if (count > 0 && bytes.size() < static_cast<std::size_t>(count)) bytes.resize(static_cast<std::size_t>(count));
    } catch (const std::bad_alloc&) {
        bytes.clear();
        return RecordError(error, 7);
    }
    bytes.resize(ReadInto(number, count, count > 0 ? &bytes[0] : nullptr, error));
}

std::size_t ReadInto(FileNumber number, std::int32_t count, char* into, ErrorCell& error)
{
    FileChannel* channel = FindChannel(number);
    bool usable = channel != nullptr && channel->mode == ModeBinary;
    if (!usable) RecordError(error, channel == nullptr ? 52 : 54);
    if (!usable || count <= 0) return 0;
    // A disk read stops short only at the end of the file; other devices may deliver less
    // per call, so keep asking until the count is met or nothing more comes.
    DWORD total = 0;
    while (total < static_cast<DWORD>(count)) {
        DWORD got = 0;
        DWORD code = FaultCode(number, false);
        BOOL ok = code == 0 && GuardedSystemCall([&] {
            return ReadFile(channel->handle.Get(), into + total, static_cast<DWORD>(count) - total, &got, nullptr);
        }, code);
        if (!ok) {
            RecordSystemError(error, code);
            return 0;
        }
        if (got == 0) break;
        total += got;
        channel->position += got;
    }
    return total;
}

void WriteBytes(FileNumber number, std::string_view bytes, ErrorCell& error)
{
    FileChannel* channel = FindChannel(number);
    if (channel == nullptr) return RecordError(error, 52);
    if (channel->mode != ModeBinary) return RecordError(error, 54);
    std::size_t total = 0;
    while (total < bytes.size()) {
        DWORD wrote = 0;
        DWORD code = FaultCode(number, true);
        BOOL ok = code == 0 && GuardedSystemCall([&] {
            return WriteFile(channel->handle.Get(), bytes.data() + total,
                             static_cast<DWORD>(bytes.size() - total), &wrote, nullptr);
        }, code);
        if (!ok) return RecordSystemError(error, code);
        total += wrote;
        channel->position += wrote;
        if (wrote == 0) return RecordError(error, 61);  // the device took nothing: disk full
    }
}

void CloseChannel(FileNumber number, ErrorCell& error)
{
    std::forward_list<FileChannel> closing = TakeChannel(number);
    if (closing.empty()) return;
    FileChannel& channel = closing.front();
    ErrorCell first;
    if (channel.mode == ModeOutput) CutHere(channel.handle.Get(), first);
    DWORD code = 0;
    HANDLE handle = channel.handle.Release();
    if (!GuardedSystemCall([&] { return CloseHandle(handle); }, code) && first.number == 0)
        RecordSystemError(first, code);
    if (first.number != 0) RecordError(error, first.number);
}

bool ChannelIsDisk(FileNumber number)
{
    FileChannel* channel = FindChannel(number);
    return channel != nullptr && channel->isDisk;
}

void OpenTemporaryChannel(const std::string& finalName, FileNumber number, ErrorCell& error)
{
    try {
        if (FindChannel(number) != nullptr) return RecordError(error, 55);
        std::string path;
        DWORD code = 0;
        KernelHandle file = NewTemporaryFile(finalName, path, code);
        if (!file.Valid()) return RecordSystemError(error, code);
        FileChannel channel{number, std::move(file), true, ModeBinary, 0xC1, path, 0, 1, path};
        SpinGuard guard(TableLock);
        ChannelTable.push_front(std::move(channel));
    } catch (const std::bad_alloc&) {
        RecordError(error, 7);  // the file, if made, went with its handle
    }
}

void CommitTemporaryChannel(FileNumber number, const std::string& finalName, bool replacing, ErrorCell& error)
{
    FileChannel* found = FindChannel(number);
    if (found == nullptr || found->temporaryPath.empty()) return RecordError(error, 52);
    std::forward_list<FileChannel> committing = TakeChannel(number);
    FileChannel& channel = committing.front();
    DWORD code = 0;
    if (replacing) TakeAttributesOf(finalName, channel.handle.Get());
    if (!MarkForRemoval(channel.handle.Get(), false, code)) return RecordSystemError(error, code);
    HANDLE handle = channel.handle.Release();
    const char* temporary = channel.temporaryPath.c_str();
    bool closed = GuardedSystemCall([&] { return CloseHandle(handle); }, code) != FALSE;
    bool moved = false;
    if (closed && replacing) {
        moved = GuardedSystemCall([&] {
            return ReplaceFileA(finalName.c_str(), temporary, nullptr, 0, nullptr, nullptr);
        }, code) != FALSE;
        // The old file is gone, by the replace's own failure or someone else's removal during
        // the job, and the new one still has its temporary name.
        if (!moved && (code == ERROR_UNABLE_TO_MOVE_REPLACEMENT || code == ERROR_FILE_NOT_FOUND)) replacing = false;
    }
    if (closed && !replacing) {
        // Never onto an existing file here: one that someone made under the name during the job is
        // theirs.
        moved = GuardedSystemCall([&] {
            return MoveFileExA(temporary, finalName.c_str(), MOVEFILE_WRITE_THROUGH);
        }, code) != FALSE;
    }
    if (moved) return;
    RecordSystemError(error, code);
    DWORD ignored = 0;
    GuardedSystemCall([&] { return DeleteFileA(temporary); }, ignored);
}

ChannelFault SetChannelFault(ChannelFault fault)
{
    return std::exchange(CurrentFault(), std::move(fault));
}

void DeleteMatchingFiles(const std::string& pattern, ErrorCell& error)
{
    try {
        std::string search = SearchPattern(pattern);
        if (search.empty()) return RecordError(error, 64);
        std::string folder = search.substr(0, search.find_last_of("\\:") + 1);

        WIN32_FIND_DATAA entry;
        DWORD code = 0;
        FindHandle find(GuardedSystemCall([&] { return FindFirstFileA(search.c_str(), &entry); }, code));
        if (!find.Valid()) return RecordSystemError(error, code);
        const DWORD passedOver = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_DIRECTORY | 0x08u /* volume label */;
        for (;;) {
            if ((entry.dwFileAttributes & passedOver) == 0) {
                std::string path = folder + entry.cFileName;
                if (!GuardedSystemCall([&] { return DeleteFileA(path.c_str()); }, code))
                    return RecordSystemError(error, code);
            }
            if (!GuardedSystemCall([&] { return FindNextFileA(find.Get(), &entry); }, code)) {
                if (code != ERROR_NO_MORE_FILES) RecordSystemError(error, code);
                return;
            }
        }
    } catch (const std::bad_alloc&) {
        RecordError(error, 7);
    }
}

bool CanOpenForWriting(const std::string& name)
{
    std::string path = ChannelPath(name);  // the probe asks about the very file a channel opens
    if (path.empty()) return false;
    DWORD code = 0;
    KernelHandle existing(GuardedSystemCall([&] {
        return CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }, code));
    if (existing.Valid()) return true;
    if (code != ERROR_FILE_NOT_FOUND) return false;
    // CREATE_NEW never touches a file that appeared meanwhile; the flag removes ours.
    KernelHandle created(GuardedSystemCall([&] {
        return CreateFileA(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    }, code));
    return created.Valid();
}
