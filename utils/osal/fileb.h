// The file object of the library: a C stream with 64-bit offsets, an optional
// memory image of the whole file, and the path it was opened on. The static
// helpers work on a path and need no open file.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "utils/common/strbase.h"

namespace ZmLib {

// Attribute bits, numbered as the Windows attributes the callers know.
// On POSIX: read-only = no write permission bit at all, hidden = the name
// starts with '.', directory = S_ISDIR. NORMAL stands alone when no other
// bit applies.
enum FileAttrib : uint32_t {
    FILE_ATTRIB_READONLY = 0x01,
    FILE_ATTRIB_HIDDEN = 0x02,
    FILE_ATTRIB_DIRECTORY = 0x10,
    FILE_ATTRIB_NORMAL = 0x80,
};

// Difference between Windows file times (100 ns since 1601) and our
// microseconds since 1970.
constexpr int64_t FILETIME_EPOCH_US = 11644473600000000LL;

inline int64_t MicrosToFileTime(int64_t us) { return (us + FILETIME_EPOCH_US) * 10; }
inline int64_t FileTimeToMicros(int64_t fileTime) { return fileTime / 10 - FILETIME_EPOCH_US; }

class FILEB {
public:
    // Failure value of Size.
    static constexpr uint64_t SIZE_ERROR = UINT64_MAX;

    FILEB() = default;
    explicit FILEB(const char* path);
    ~FILEB();
    FILEB(const FILEB&) = delete;
    FILEB& operator=(const FILEB&) = delete;

    // Sets the path for a later Open or Create; false when it does not fit.
    bool SetPath(const char* path);
    const char* GetPath() const { return Path.c_str(); }

    // Opens Path with an fopen mode; a stream still open is closed first.
    bool Open(const char* mode);
    bool Open(const char* path, const char* mode);
    // Opens Path for binary reading when it is a regular file: anything else
    // is refused at once, never waited on (readpath.h), with why in refusal;
    // a folder fails with EISDIR.
    bool OpenToRead(std::string& refusal);
    // Creates (or empties) Path for binary writing.
    bool Create() { return Open("wb"); }
    bool IsOpen() const { return Handle != nullptr; }

    size_t Read(void* buffer, size_t count);
    size_t Write(const void* data, size_t count);
    bool Seek64(int64_t offset, int whence = SEEK_SET);
    int64_t Tell64();
    bool Flush();
    // Flushes the stream and the kernel's buffers to the disk.
    bool Commit();
    // Formats into a scratch buffer (at most 1099 characters) and writes it;
    // returns the number of bytes written, -1 without a stream.
    int Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    int VPrintf(const char* format, va_list args);

    // Reads the whole file into a NUL-terminated image (Membuf, MembufSize).
    // Returns the bytes read; 0 with no image on failure (an empty file gives
    // 0 with an image of one NUL). Anything but a regular file (a folder, a
    // device) and a file that shrinks while it is read are failures,
    // reported, never a stop of the program.
    uint64_t ReadToMemory();
    void FreeMemory();
    // Copies the open file to dest through ReplaceFile: a failed copy leaves
    // a previous dest untouched, and a dest that is a symbolic link stays
    // one, its final file receiving the copy.
    bool Copy(const char* dest);
    // The end position; the stream is left at its start. SIZE_ERROR on
    // failure.
    uint64_t Size();
    // Frees the image and closes the stream; false when fclose failed.
    bool Close();
    // Renames the file at Path to Path + ".bak", replacing an older one.
    bool RenameToBak();

    // Helpers on a path.
    static bool GetAttrib_(const char* path, uint32_t mask, bool* out);
    static bool SetAttrib_(const char* path, uint32_t mask, bool set);
    // Attributes as FileAttrib bits; UINT32_MAX for an unknown path.
    static uint32_t GetAttributes(const char* path);
    static uint64_t GetSize_(const char* path);
    // 0 also for a file whose size does not fit 32 bits.
    static uint32_t GetSize32(const char* path);
    static int64_t GetModTime(const char* path);
    // Last-write time as a Windows file time; 0 when unknown.
    static int64_t GetWriteTime(const char* path);
    static bool SetTimeSecs(const char* path, int64_t seconds);
    static bool SetTime(const char* path, int64_t fileTime);

    // The data of the file object.
    PathStr Path;
    uint8_t* Membuf = nullptr;
    uint64_t MembufSize = 0;
    FILE* Handle = nullptr;
};

// Free bytes of the volume holding path; 0 on failure.
int64_t DiskFree(const char* path);

} // namespace ZmLib
