// The sectioned file container: named byte blocks one after another in one
// file, each behind a 37-byte text header, an end marker after the last:
//
//   "\nSECTION:%10s:%-16lld\n" data ... "\n<<<END OF FILE>>>\n"
//
// A section's offset is the position of its header's first LF; its data
// starts 37 bytes later and the next header follows the data directly. A
// writer may rewrite the file from a given section onwards in place.
#pragma once

#include <cstdint>
#include <string>

#include "utils/common/replacefile.h"
#include "utils/common/strbase.h"
#include "utils/osal/fileb.h"

namespace ZmLib {

constexpr int64_t SD_HEADER_SIZE = 37;
constexpr int64_t SD_END_MARKER_SIZE = 19;
// Longest name that keeps the header at 37 bytes.
constexpr uint32_t SD_NAME_MAX = 10;
extern const char SD_END_MARKER[];

class SdSection {
public:
    // Seeks the open file to the header, or to the data when atData is set.
    bool SeekStart(FILEB& file, bool atData);
    // Reads the data into buffer, whose capacity must exceed DataSize; Data
    // then points at the buffer's characters, NUL after them.
    bool ReadAllData(FILEB& file, StrBase& buffer);

    Str<32> Name;
    uint8_t* Data = nullptr; // not owned
    int64_t DataSize = 0;
    int64_t Offset = -1;
};

class SdFileBase {
public:
    // sections: the owner's table of maxSections entries.
    SdFileBase(SdSection* sections, int32_t maxSections);
    // An unfinished new file is discarded.
    ~SdFileBase() { Close(); }
    SdFileBase(const SdFileBase&) = delete;
    SdFileBase& operator=(const SdFileBase&) = delete;

    bool SetPath(const char* path);
    const char* GetPath() const { return Path.c_str(); }

    // Writing.
    // The next table entry, placed after the previous section.
    SdSection* AddSection(const char* name);
    // Starts a new file; it replaces the one at the path only when FlushStop
    // completes, so a failed write keeps the previous file.
    bool FlushStart4Create();
    // Opens the existing file in place at section fromsection, which with
    // all later ones the caller then adds and writes again.
    bool FlushStart4Update(int32_t fromsection);
    bool FlushSection(SdSection& sec);
    // False for a name that would not keep the header at 37 bytes.
    bool WriteSectionHeader(SdSection& sec);
    // Writes the end marker and closes; false when anything failed.
    bool FlushStop();
    // From 0: writes the whole table as a new file. From k > 0: cuts the
    // file after section k - 1.
    bool FlushSections(int32_t startsection);

    // Reading.
    SdSection& GetSection(int32_t id);
    // Reads the header at the current position into the next table entry;
    // null (with a warning) for a short, corrupt or out-of-range header.
    SdSection* ScanSectionHeader();
    SdSection* ScanFirst();
    SdSection* SeekNextSection();
    // Scans from the start until a header fails or the table is full;
    // returns NumSections. The stream stays open for reading the data.
    int32_t ScanAll();

    // Why the last scan or FlushStart4Create or FlushStart4Update refused
    // the path (what is not a regular file, readpath.h; another user's link
    // or file, writepath.h); empty when it did not.
    const std::string& Refusal() const { return refusal_; }

    // Closes the stream; a new file not completed is discarded.
    bool Close();
    bool IsOpen() const { return File.IsOpen(); }

    FILEB File;
    PathStr Path;
    SdSection* Sections;
    int32_t MaxSections;
    int32_t NumSections = 0;
    // Where the next header is expected.
    int64_t ScanPos = 0;

private:
    ReplaceFile saver_;
    std::string refusal_;
};

} // namespace ZmLib
