// The document file (".kxl"): a sectioned container of exactly seven
// sections, always in this order:
//
//   0 "KXLVER"     the format version, the text "1"
//   1 "TABLESIZE"  the record count as decimal text
//   2 "TABLE"      every record's 496 bytes in original order
//   3 "FILTER"     u32 original index per visible row; empty without filter
//   4 "BOOKMARKS"  u32 nv, nv visible rows [, u32 nh, nh original indices]
//   5 "SELECTIONS" u32 n, n x {u32 first row, u32 row count, u32 tag}
//   6 "INI"        the document's view block, fewer than 10000 bytes
//
// FileKxl reads such a file as a record reader (one unit per record) and
// writes it, either whole or, when the records did not change, from FILTER
// on in place. The view block is opaque here: the caller hands its text to
// the writer and takes it from the reader.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kxlib/reader/kxreader.h"
#include "utils/common/sdfile.h"

class KxTable;

class FileKxl : public KxReader {
public:
    enum Section : int32_t {
        SEC_KXLVER = 0,
        SEC_TABLESIZE,
        SEC_TABLE,
        SEC_FILTER,
        SEC_BOOKMARKS,
        SEC_SELECTIONS,
        SEC_INI,
        SEC_Nums
    };
    // The first section that an update in place rewrites.
    static constexpr int32_t PART_1ST_METADATA = SEC_FILTER;
    // The view block must stay below this size.
    static constexpr uint32_t INI_SIZE_LIMIT = 10000;
    static constexpr int32_t VERSION = 1;

    // Open results besides 0.
    enum OpenCode : int32_t {
        OPEN_SEEK_FAILED = 7,
        OPEN_BROKEN = 8,
        OPEN_NO_INI = 9,
        OPEN_INI_TOO_LONG = 10,
        OPEN_TABLE_SIZE = 11,
    };

    // A path longer than 1099 characters makes Open fail with code 6 and an
    // error that names it.
    explicit FileKxl(const char* path);
    ~FileKxl() override;

    // Reading.
    // Checks the sections, reads the view block and positions at the first
    // record: 0, or an OpenCode.
    int32_t Open() override;
    // Reads the next record (its strings made safe) and returns 1; throws
    // code 7 on a short read and code 1 after the last record.
    int32_t ReadRecord() override;
    // The record count of the document.
    int64_t GetFileSize() override;
    // Applies FILTER, BOOKMARKS and SELECTIONS to the table that received
    // the records, and keeps its current row and Time0Index inside it. Bad
    // sections and entries are reported and skipped; false when anything of
    // the three sections was not applied as stored.
    bool ReadMetadata(KxTable& table);
    // The view block read by Open, NUL-terminated.
    const char* IniText() const { return iniText_.data(); }
    uint32_t IniSize() const { return uint32_t(iniText_.size() - 1); }
    uint32_t RecordCount() const { return recordCount_; }

    // Writing. ini is the view-block text (iniSize bytes); the table must
    // have one, below INI_SIZE_LIMIT bytes.
    // Writes the whole file; the previous file is replaced only when the new
    // one is complete.
    bool CreateFile(KxTable& table, const char* ini, size_t iniSize);
    // Rewrites the sections from FILTER on in place; false (file unchanged)
    // when the file cannot be opened, holds another record count, or has no
    // room for the new sections.
    bool UpdateMetadata(KxTable& table, const char* ini, size_t iniSize);
    // The save command: an update in place when the file exists and the
    // records were not modified, else (or when the update fails) the whole
    // file.
    static bool Save(const char* path, KxTable& table, const char* ini, size_t iniSize, bool recordsModified);

    const char* GetPath() const { return file_.GetPath(); }
    // Why the last Open, CreateFile or UpdateMetadata failed, in words for
    // the user: "not a KXL file", the system's own ("Permission denied"), or
    // why a link on the way is not followed.
    // Empty after one that succeeded.
    const std::string& Failure() const { return failure_; }

private:
    static const char* const SectionNames[SEC_Nums];

    // Reads a section's data, which must hold at most limit bytes.
    bool ReadSection(int32_t id, uint64_t limit, std::vector<char>& out);
    bool ReadNumber(int32_t id, int64_t* value);
    // Keeps why as the failure and returns code.
    int32_t Refuse(int32_t code, std::string why);
    // Keeps the system's text of error (of an input or output failure of
    // unknown cause when 0) as the failure, or a refusal's own words when
    // given; false.
    bool Failed(int error, const std::string& refusal = std::string());
    bool CheckIni(KxTable& table, const char* ini, size_t iniSize);
    bool WriteSections(KxTable& table, int32_t firstId);
    // Ends the file being written: the end marker, and a new file in place
    // of the old one.
    bool Finish(KxTable& table);
    bool WriteData(ZmLib::SdSection& sec, const void* data, size_t size);
    bool WriteSection(KxTable& table, int32_t id, ZmLib::SdSection& sec);
    bool CreateTable(KxTable& table, ZmLib::SdSection& sec);
    // The next record's bytes into the destination record; false when the
    // file ends before them.
    bool NextRecordBytes();
    // The pieces of records are read on a thread of their own while the
    // records of the piece before are taken: the copy out of the file then
    // does not hold up the load. Stopped before anything else uses the file.
    void ReadAhead(size_t left);
    void StopReadAhead();
    static constexpr size_t RECORD_BUF_RECORDS = 2048;
    // Record bytes a writer writes before it starts their disk writes.
    static constexpr size_t WRITE_BEHIND_BYTES = size_t(8) << 20;
    // Reserves the disk space of the metadata about to be written from the
    // current section on, so that an update in place cannot run out of room
    // half-way.
    bool ReserveTail(KxTable& table);
    uint64_t MetadataSize(KxTable& table);

    ZmLib::SdSection sections_[SEC_Nums];
    ZmLib::SdFileBase file_;
    bool pathOk_;
    // A path that does not fit, as messages name it.
    std::string shownPath_;
    uint32_t recordCount_ = 0;
    std::vector<char> iniText_;
    // The view block being written.
    const char* ini_ = nullptr;
    size_t iniSize_ = 0;
    // Records pass through here in large pieces on reading and writing;
    // reading never takes more than the records left.
    std::vector<char> recordBuf_;
    size_t recordBufPos_ = 0;
    size_t recordBufLen_ = 0;
    std::thread aheadThread_;
    std::mutex aheadMutex_;
    std::condition_variable aheadWake_;
    std::vector<char> aheadBuf_;
    size_t aheadLen_ = 0;
    bool aheadFull_ = false;  // aheadBuf_ holds a piece not taken yet
    bool aheadEnded_ = false; // every record read, or the file ended
    bool aheadStop_ = false;
    int aheadErrno_ = 0; // the read that ended the pieces failed with it
    std::string failure_;
};
