#include "kxlib/reader/filekxl.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "kxlib/kxchannels.h"
#include "kxlib/reader/kxlibexcept.h"
#include "kxlib/reader/pathtext.h"
#include "kxlib/table/kxtable.h"

using ZmLib::KxdProt;
using ZmLib::SdSection;

namespace {

// Decimal digits only, at most max; false for anything else.
bool ParseDecimal(const char* text, size_t size, int64_t max, int64_t* value)
{
    if (size == 0 || size > 18)
        return false;
    int64_t v = 0;
    for (size_t k = 0; k < size; ++k) {
        if (!ZmLib::AsciiIsDigit(text[k]))
            return false;
        v = v * 10 + (text[k] - '0');
    }
    if (v > max)
        return false;
    *value = v;
    return true;
}

uint64_t U32At(const uint8_t* data, uint64_t at)
{
    uint32_t v;
    memcpy(&v, data + at, 4);
    return v;
}

// Whether the table took every bookmark of the section: well formed, and
// added (the bookmarks it gained) as many as the section lists.
bool BookmarksComplete(const uint8_t* data, size_t size, uint64_t added)
{
    if (size < 4)
        return false;
    const uint64_t nv = U32At(data, 0);
    const uint64_t visibleEnd = 4 + 4 * nv;
    uint64_t expected = nv;
    if (size != visibleEnd) {
        if (size < visibleEnd + 4)
            return false;
        const uint64_t nh = U32At(data, visibleEnd);
        if (size != visibleEnd + 4 + 4 * nh)
            return false;
        expected += nh;
    }
    return added == expected;
}

// Whether the table took every range whole: well formed, no empty range, and
// selected (its selected rows) the sum of the ranges' rows.
bool SelectionsComplete(const uint8_t* data, size_t size, uint64_t selected)
{
    if (size < 4)
        return false;
    const uint64_t n = U32At(data, 0);
    if (n == 0 || size != 4 + 12 * n)
        return false;
    uint64_t rows = 0;
    for (uint64_t k = 0; k < n; ++k) {
        const uint64_t count = U32At(data, 4 + 12 * k + 4);
        if (count == 0)
            return false;
        rows += count;
    }
    return selected == rows;
}

} // namespace

const char* const FileKxl::SectionNames[SEC_Nums] = {"KXLVER",    "TABLESIZE",  "TABLE", "FILTER",
                                                     "BOOKMARKS", "SELECTIONS", "INI"};

FileKxl::FileKxl(const char* path) : file_(sections_, SEC_Nums), iniText_(1, '\0')
{
    pathOk_ = file_.SetPath(path);
    if (!pathOk_)
        shownPath_ = PathForMessage(path);
}

FileKxl::~FileKxl()
{
    StopReadAhead();
    file_.Close();
}

bool FileKxl::ReadSection(int32_t id, uint64_t limit, std::vector<char>& out)
{
    SdSection& sec = sections_[id];
    if (sec.DataSize < 0 || uint64_t(sec.DataSize) > limit)
        return false;
    // The buffer's capacity must exceed the data for its NUL.
    out.assign(size_t(sec.DataSize) + 2, '\0');
    ZmLib::StrBase buffer(out.data(), uint32_t(sec.DataSize) + 1);
    if (!sec.ReadAllData(file_.File, buffer))
        return false;
    out.resize(size_t(sec.DataSize) + 1);
    return true;
}

bool FileKxl::ReadNumber(int32_t id, int64_t* value)
{
    std::vector<char> text;
    return ReadSection(id, 18, text) && ParseDecimal(text.data(), text.size() - 1, INT32_MAX, value);
}

int32_t FileKxl::Refuse(int32_t code, std::string why)
{
    failure_ = std::move(why);
    return code;
}

bool FileKxl::Failed(int error, const std::string& refusal)
{
    failure_ = !refusal.empty() ? refusal : strerror(error != 0 ? error : EIO);
    return false;
}

int32_t FileKxl::Open()
{
    failure_.clear();
    if (!pathOk_) {
        KX_ERROR(KxReaderChannel, "Path too long, at most %u characters: \"%s\"", ZmLib::TEMP_STR_CAPACITY,
                 shownPath_.c_str());
        return Refuse(KxLibExcept::OPEN_FAILED,
                      "the path is longer than " + std::to_string(ZmLib::TEMP_STR_CAPACITY) + " characters");
    }
    KX_PRINT(KxReaderChannel, ZmLib::KX_LEVEL_NOTICE, "About to open KXL file \"%s\"", GetPath());
    StopReadAhead();
    recordCount_ = 0;
    RecordsAccepted = RecordsBad = 0;
    iniText_.assign(1, '\0');
    // Only a regular file is scanned: a folder fails with EISDIR, a pipe or
    // device is refused saying what it is.
    errno = 0;
    const int32_t found = file_.ScanAll();
    if (!file_.IsOpen()) {
        Failed(errno, file_.Refusal());
        return OPEN_BROKEN;
    }
    // Empty when nothing could be read: a file that says it is empty
    // (/proc) may hold bytes all the same.
    if (found == 0)
        return Refuse(OPEN_BROKEN, file_.File.Tell64() == 0 ? "the file is empty" : "not a KXL file");
    int64_t version = -1;
    std::vector<char> text;
    if (!ReadSection(SEC_KXLVER, 18, text))
        return Refuse(OPEN_BROKEN, "not a KXL file");
    if (!ParseDecimal(text.data(), text.size() - 1, INT32_MAX, &version) || version != VERSION) {
        KX_WARNING(KxReaderChannel, "File '%s': unsupported version %d", GetPath(), int(version));
        return Refuse(OPEN_BROKEN, version < 0 ? std::string("not a KXL file")
                                               : "KXL version " + std::to_string(version) + " is not supported");
    }
    if (found != SEC_Nums) {
        KX_WARNING(KxReaderChannel, "File '%s' is broken!", GetPath());
        return Refuse(OPEN_BROKEN, "damaged KXL file: " + std::to_string(found) + " of its " +
                                       std::to_string(int(SEC_Nums)) + " sections are whole");
    }
    int64_t count = 0;
    if (!ReadNumber(SEC_TABLESIZE, &count)) {
        KX_WARNING(KxReaderChannel, "File '%s': unreadable record count", GetPath());
        return Refuse(OPEN_BROKEN, "damaged KXL file: its record count cannot be read");
    }
    const SdSection& table = sections_[SEC_TABLE];
    if (table.DataSize / KxdProt::SIZE != count)
        return Refuse(OPEN_TABLE_SIZE, "damaged KXL file: its record count does not match its records");
    const SdSection& ini = sections_[SEC_INI];
    if (strcmp(ini.Name.c_str(), "INI") != 0)
        return Refuse(OPEN_NO_INI, "damaged KXL file: its view settings are missing");
    if (ini.DataSize >= INI_SIZE_LIMIT)
        return Refuse(OPEN_INI_TOO_LONG, "damaged KXL file: its view settings are too long");
    if (!ReadSection(SEC_INI, INI_SIZE_LIMIT, iniText_)) {
        iniText_.assign(1, '\0');
        return Refuse(OPEN_BROKEN, "damaged KXL file: its view settings cannot be read");
    }
    if (!sections_[SEC_TABLE].SeekStart(file_.File, true))
        return Refuse(OPEN_SEEK_FAILED, "damaged KXL file: its records cannot be reached");
    recordCount_ = uint32_t(count);
    return 0;
}

int32_t FileKxl::ReadRecord()
{
    KX_ASSERT(KxReaderChannel, Record != nullptr);
    // The records end where TABLE ends; FILTER's bytes are no record.
    if (RecordsAccepted >= recordCount_) {
        KxLibExcept end(KxLibExcept::END_OF_STREAM, int32_t(RecordsAccepted), int32_t(RecordsBad));
        KX_PRINT(KxReaderChannel, ZmLib::KX_LEVEL_NOTICE, "%s", end.text);
        throw end;
    }
    if (!file_.IsOpen() || !NextRecordBytes()) {
        ReadErrno = aheadErrno_;
        ++RecordsBad;
        KxLibExcept bad(KxLibExcept::FILE_IO_ERROR, int32_t(RecordsAccepted), 0);
        KX_ERROR(KxReaderChannel, "%s", bad.text);
        throw bad;
    }
    CheckStrings(*Record, RecordsAccepted);
    ++RecordsAccepted;
    return 1;
}

bool FileKxl::NextRecordBytes()
{
    if (recordBufLen_ - recordBufPos_ < KxdProt::SIZE) {
        if (!aheadThread_.joinable()) {
            aheadBuf_.resize(RECORD_BUF_RECORDS * KxdProt::SIZE);
            recordBuf_.resize(aheadBuf_.size());
            aheadFull_ = aheadEnded_ = aheadStop_ = false;
            const size_t left = recordCount_ - RecordsAccepted;
            aheadThread_ = std::thread([this, left] { ReadAhead(left); });
        }
        std::unique_lock<std::mutex> lock(aheadMutex_);
        aheadWake_.wait(lock, [this] { return aheadFull_ || aheadEnded_; });
        // Pieces hold whole records but where the file ended: what is left
        // of a record cut short there is no record.
        if (!aheadFull_)
            return false;
        recordBuf_.swap(aheadBuf_);
        recordBufPos_ = 0;
        recordBufLen_ = aheadLen_;
        aheadFull_ = false;
        lock.unlock();
        aheadWake_.notify_one();
        if (recordBufLen_ < KxdProt::SIZE)
            return false;
    }
    memcpy(Record, recordBuf_.data() + recordBufPos_, KxdProt::SIZE);
    recordBufPos_ += KxdProt::SIZE;
    return true;
}

void FileKxl::ReadAhead(size_t left)
{
    std::unique_lock<std::mutex> lock(aheadMutex_);
    while (left > 0) {
        aheadWake_.wait(lock, [this] { return aheadStop_ || !aheadFull_; });
        if (aheadStop_)
            return;
        const size_t want = std::min<size_t>(RECORD_BUF_RECORDS, left) * KxdProt::SIZE;
        lock.unlock();
        const size_t got = file_.File.Read(aheadBuf_.data(), want);
        const int error = got < want && file_.File.Handle != nullptr && ferror(file_.File.Handle) ? errno : 0;
        lock.lock();
        aheadErrno_ = error;
        aheadLen_ = got;
        aheadFull_ = true;
        aheadWake_.notify_one();
        if (got < want)
            break;
        left -= want / KxdProt::SIZE;
    }
    aheadEnded_ = true;
    aheadWake_.notify_one();
}

void FileKxl::StopReadAhead()
{
    if (!aheadThread_.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(aheadMutex_);
        aheadStop_ = true;
    }
    aheadWake_.notify_one();
    aheadThread_.join();
    recordBufPos_ = recordBufLen_ = 0;
}

int64_t FileKxl::GetFileSize() { return recordCount_; }

bool FileKxl::ReadMetadata(KxTable& table)
{
    StopReadAhead();
    if (!file_.IsOpen() || file_.NumSections != SEC_Nums) {
        KX_WARNING(KxReaderChannel, "File '%s': no metadata to read, the file is not open", GetPath());
        return false;
    }
    // Bounds of sane sections for this table; larger ones are not read.
    const uint64_t records = uint64_t(table.RecordCount());
    bool ok = true;
    for (int32_t id = SEC_FILTER; id <= SEC_SELECTIONS; ++id) {
        if (sections_[id].DataSize == 0)
            continue;
        const uint64_t rows = uint64_t(table.RowCount());
        const uint64_t limit = id == SEC_FILTER ? records * 4 : id == SEC_BOOKMARKS ? 8 + (rows + records) * 4
                                                                                    : 4 + rows * 12;
        std::vector<char> data;
        if (sections_[id].DataSize > int64_t(limit)) {
            KX_WARNING(KxReaderChannel, "File '%s': section '%s' of %lld bytes is too long for %d records, skipped",
                       GetPath(), SectionNames[id], static_cast<long long>(sections_[id].DataSize),
                       table.RecordCount());
            ok = false;
            // Rows of the later sections belong to the filter.
            if (id == SEC_FILTER)
                break;
            continue;
        }
        static const char* const checks[] = {"File.ReadSectionData(tb2, tbuf.GetBuffer())",
                                             "File.ReadSectionData(tb4, tbuf.GetBuffer())",
                                             "File.ReadSectionData(tb5, tbuf.GetBuffer())"};
        if (!KX_VERIFY_TEXT(KxReaderChannel, ReadSection(id, limit, data), checks[id - SEC_FILTER])) {
            ok = false;
            break;
        }
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(data.data());
        const size_t size = data.size() - 1;
        if (id == SEC_FILTER) {
            if (!table.DeserializeFiltered(bytes, size)) {
                KX_WARNING(KxReaderChannel, "File '%s': filter not applied, its bookmarks and selections skipped",
                           GetPath());
                ok = false;
                break;
            }
        } else if (id == SEC_BOOKMARKS) {
            const uint64_t before = table.Bookmarks().Length() + uint64_t(table.HiddenBookmarks().Length());
            table.DeserializeBookmarks(bytes, size);
            const uint64_t after = table.Bookmarks().Length() + uint64_t(table.HiddenBookmarks().Length());
            ok = BookmarksComplete(bytes, size, after - before) && ok;
        } else {
            table.DeserializeSelections(bytes, size);
            ok = SelectionsComplete(bytes, size, table.NumSelected) && ok;
        }
    }
    PrefKxTable& prefs = table.Prefs();
    if (prefs.Time0Index >= table.RecordCount()) {
        KX_WARNING(KxReaderChannel, "File '%s': Time0Index %d beyond %d records", GetPath(), prefs.Time0Index,
                   table.RecordCount());
        prefs.Time0Index = -1;
    }
    table.SetCurRow(table.CurRow());
    return ok;
}

bool FileKxl::WriteData(SdSection& sec, const void* data, size_t size)
{
    // A failed write is the disk's, not the program's: the save reports it.
    sec.DataSize = int64_t(size);
    errno = 0;
    if (!file_.WriteSectionHeader(sec) || (size > 0 && file_.File.Write(data, size) != size))
        return Failed(errno);
    return true;
}

namespace {

// Records per writer at least: fewer are not worth a thread.
constexpr int32_t RECORDS_PER_WRITER = 32768;
constexpr unsigned MAX_WRITERS = 8;

// Every byte at offset, or false.
bool WriteAllAt(int fd, const char* data, size_t size, int64_t offset)
{
    while (size > 0) {
        const ssize_t done = pwrite(fd, data, size, offset);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        data += done;
        size -= size_t(done);
        offset += done;
    }
    return true;
}

} // namespace

bool FileKxl::CreateTable(KxTable& table, SdSection& sec)
{
    const int32_t count = table.RecordCount();
    sec.DataSize = int64_t(count) * KxdProt::SIZE;
    errno = 0;
    if (!file_.WriteSectionHeader(sec) || !file_.File.Flush())
        return Failed(errno);
    const int64_t base = file_.File.Tell64();
    if (base < 0)
        return Failed(errno);
    // The blocks and the index of each one's first record, so that every
    // writer can start at its own record.
    std::vector<const KxTblock*> blocks;
    std::vector<int32_t> firsts;
    int32_t listed = 0;
    for (const KxTblock* block = table.FirstBlock(); block; block = block->next) {
        blocks.push_back(block);
        firsts.push_back(listed);
        listed += int32_t(block->count);
    }
    if (!KX_VERIFY(KxReaderChannel, listed == count))
        return false;
    // Each writer copies a range of records into its own buffer and writes
    // it at the range's place in the file: the new pages of the file are
    // taken in by all writers at once.
    const unsigned writers = unsigned(std::clamp<int64_t>(
        count / RECORDS_PER_WRITER, 1, std::min(MAX_WRITERS, std::max(1u, std::thread::hardware_concurrency()))));
    const int fd = fileno(file_.File.Handle);
    std::atomic<bool> ok{true};
    // errno of the writer that failed first: each thread has its own.
    std::atomic<int> error{0};
    auto write = [&](int32_t from, int32_t to) {
        if (from >= to)
            return;
        std::vector<char> buffer(RECORD_BUF_RECORDS * KxdProt::SIZE);
        size_t block = size_t(std::upper_bound(firsts.begin(), firsts.end(), from) - firsts.begin()) - 1;
        uint32_t k = uint32_t(from - firsts[block]);
        int32_t index = from;
        int64_t unsynced = 0;
        while (index < to && ok) {
            size_t used = 0;
            const int32_t pieceStart = index;
            while (index < to && used < buffer.size()) {
                if (k == blocks[block]->count) {
                    ++block;
                    k = 0;
                    continue;
                }
                memcpy(buffer.data() + used, &blocks[block]->recs[k].prot, KxdProt::SIZE);
                used += KxdProt::SIZE;
                ++k;
                ++index;
            }
            const int64_t at = base + int64_t(pieceStart) * KxdProt::SIZE;
            if (!WriteAllAt(fd, buffer.data(), used, at)) {
                int none = 0;
                error.compare_exchange_strong(none, errno != 0 ? errno : EIO);
                ok = false;
                return;
            }
            // The save ends by waiting until the file is on disk: starting
            // the disk writes of what is written so far overlaps the rest.
            unsynced += int64_t(used);
            if (unsynced >= int64_t(WRITE_BEHIND_BYTES)) {
                sync_file_range(fd, at + int64_t(used) - unsynced, unsynced, SYNC_FILE_RANGE_WRITE);
                unsynced = 0;
            }
        }
    };
    std::vector<std::thread> threads;
    const int32_t share = int32_t((int64_t(count) + writers - 1) / writers);
    for (unsigned w = 1; w < writers; ++w)
        threads.emplace_back(write, std::min(count, int32_t(w) * share), std::min(count, int32_t(w + 1) * share));
    write(0, std::min(count, share));
    for (std::thread& thread : threads)
        thread.join();
    if (!ok)
        return Failed(error);
    return file_.File.Seek64(base + sec.DataSize) || Failed(errno);
}

bool FileKxl::WriteSection(KxTable& table, int32_t id, SdSection& sec)
{
    switch (id) {
    case SEC_KXLVER:
        return WriteData(sec, "1", 1);
    case SEC_TABLESIZE: {
        ZmLib::Str<16> text;
        text.Format("%d", table.RecordCount());
        return WriteData(sec, text.c_str(), text.Length());
    }
    case SEC_TABLE:
        return CreateTable(table, sec);
    case SEC_INI:
        return WriteData(sec, ini_, iniSize_);
    default: {
        std::vector<uint8_t> data;
        if (id == SEC_FILTER)
            table.SerializeFiltered(data);
        else if (id == SEC_BOOKMARKS)
            table.SerializeBookmarks(data);
        else
            table.SerializeSelections(data);
        return WriteData(sec, data.data(), data.size());
    }
    }
}

bool FileKxl::WriteSections(KxTable& table, int32_t firstId)
{
    for (int32_t id = firstId; id < SEC_Nums; ++id) {
        SdSection* sec = file_.AddSection(SectionNames[id]);
        if (!WriteSection(table, id, *sec)) {
            KX_WARNING(KxReaderChannel, "Table '%s': error while writing KXL file section '%s': %s", table.Name(),
                       SectionNames[id], failure_.c_str());
            return false;
        }
    }
    return true;
}

bool FileKxl::CheckIni(KxTable& table, const char* ini, size_t iniSize)
{
    failure_.clear();
    if (ini == nullptr) {
        KX_ERROR(KxReaderChannel, "Table '%s': no view block to write", table.Name());
        failure_ = "it has no view settings";
        return false;
    }
    if (iniSize >= INI_SIZE_LIMIT) {
        KX_WARNING(KxReaderChannel, "Table '%s': view block of %zu bytes, the limit is %u", table.Name(), iniSize,
                   INI_SIZE_LIMIT - 1);
        failure_ = "its view settings take " + std::to_string(iniSize) + " bytes, a KXL file keeps at most " +
                   std::to_string(INI_SIZE_LIMIT - 1);
        return false;
    }
    ini_ = ini;
    iniSize_ = iniSize;
    return true;
}

bool FileKxl::CreateFile(KxTable& table, const char* ini, size_t iniSize)
{
    StopReadAhead();
    if (!CheckIni(table, ini, iniSize))
        return false;
    file_.Close();
    file_.NumSections = 0;
    errno = 0;
    if (!pathOk_ || !file_.FlushStart4Create()) {
        if (pathOk_)
            Failed(errno, file_.Refusal());
        else
            failure_ = "the path is longer than " + std::to_string(ZmLib::TEMP_STR_CAPACITY) + " characters";
        KX_WARNING(KxReaderChannel, "Table '%s': cannot create KXL file '%s': %s", table.Name(),
                   pathOk_ ? GetPath() : shownPath_.c_str(), failure_.c_str());
        return false;
    }
    // A failed section leaves the previous file as it was.
    bool ok = WriteSections(table, SEC_KXLVER) && Finish(table);
    if (!ok)
        file_.Close();
    return ok;
}

bool FileKxl::Finish(KxTable& table)
{
    errno = 0;
    if (file_.FlushStop())
        return true;
    Failed(errno);
    KX_WARNING(KxReaderChannel, "Table '%s': KXL file '%s' not completed: %s", table.Name(), GetPath(),
               failure_.c_str());
    return false;
}

uint64_t FileKxl::MetadataSize(KxTable& table)
{
    std::vector<uint8_t> data;
    table.SerializeFiltered(data);
    table.SerializeBookmarks(data);
    table.SerializeSelections(data);
    return data.size() + iniSize_ + 4 * uint64_t(ZmLib::SD_HEADER_SIZE) + ZmLib::SD_END_MARKER_SIZE;
}

bool FileKxl::ReserveTail(KxTable& table)
{
    const int64_t start = sections_[PART_1ST_METADATA].Offset;
    const int64_t end = start + int64_t(MetadataSize(table));
    struct stat st;
    int fd = fileno(file_.File.Handle);
    if (fstat(fd, &st) != 0)
        return Failed(errno);
    if (end <= st.st_size)
        return true;
    const int error = posix_fallocate(fd, st.st_size, end - st.st_size);
    return error == 0 || Failed(error);
}

bool FileKxl::UpdateMetadata(KxTable& table, const char* ini, size_t iniSize)
{
    if (!CheckIni(table, ini, iniSize))
        return false;
    int32_t code = Open();
    if (code != 0) {
        KX_WARNING(KxReaderChannel, "KXL file '%s' open failure when updating, error = %d!", GetPath(), int(code));
        file_.Close();
        return false;
    }
    file_.Close();
    // Records unchanged by the caller must be the ones in the file.
    if (recordCount_ != uint32_t(table.RecordCount())) {
        KX_WARNING(KxReaderChannel, "KXL file '%s' holds %u records, the table %d", GetPath(), recordCount_,
                   table.RecordCount());
        return false;
    }
    const int32_t first = PART_1ST_METADATA;
    errno = 0;
    if (!file_.FlushStart4Update(first)) {
        Failed(errno, file_.Refusal());
        KX_WARNING(KxReaderChannel, "KXL file '%s' cannot be opened for an update: %s", GetPath(), failure_.c_str());
        file_.Close();
        return false;
    }
    // Room for the whole new tail is taken before a byte is written.
    if (!ReserveTail(table)) {
        KX_WARNING(KxReaderChannel, "KXL file '%s': no room for the new metadata", GetPath());
        file_.Close();
        return false;
    }
    bool ok = WriteSections(table, first) && Finish(table);
    if (!ok)
        file_.Close();
    return ok;
}

bool FileKxl::Save(const char* path, KxTable& table, const char* ini, size_t iniSize, bool recordsModified)
{
    if (path == nullptr)
        return false;
    FileKxl file(path);
    struct stat st;
    if (!recordsModified && stat(path, &st) == 0 && S_ISREG(st.st_mode)) {
        if (file.UpdateMetadata(table, ini, iniSize))
            return true;
        KX_WARNING(KxReaderChannel, "File '%s' update failure, will be recreated!", path);
    }
    return file.CreateFile(table, ini, iniSize);
}
