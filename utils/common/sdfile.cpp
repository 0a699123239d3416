#include "utils/common/sdfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "utils/kx/kx.h"
#include "utils/osal/writepath.h"

namespace ZmLib {

const char SD_END_MARKER[] = "\n<<<END OF FILE>>>\n";
static_assert(sizeof(SD_END_MARKER) - 1 == SD_END_MARKER_SIZE, "the end marker is 19 bytes");

namespace {

const char HEADER_TAG[] = "\nSECTION:";
constexpr size_t HEADER_TAG_SIZE = sizeof(HEADER_TAG) - 1;

int64_t StreamSize(FILEB& file)
{
    struct stat st;
    if (file.Handle == nullptr || fstat(fileno(file.Handle), &st) != 0)
        return -1;
    return int64_t(st.st_size);
}

} // namespace

bool SdSection::SeekStart(FILEB& file, bool atData)
{
    KX_ASSERT(KxSys, file.IsOpen());
    KX_ASSERT(KxSys, Offset >= 0);
    int64_t offset = Offset + (atData ? SD_HEADER_SIZE : 0);
    return KX_VERIFY_TEXT(KxSys, file.Seek64(offset), "file.Seek64(offset)");
}

bool SdSection::ReadAllData(FILEB& file, StrBase& buffer)
{
    if (!SeekStart(file, true))
        return false;
    if (!KX_VERIFY_TEXT(KxSys, DataSize >= 0 && int64_t(buffer.Capacity()) > DataSize, "buffer.GetMaxLen() > DataSize"))
        return false;
    size_t datasize = size_t(DataSize);
    if (!KX_VERIFY_TEXT(KxSys, file.Read(buffer.Data(), datasize) == datasize,
                        "file.Read(Data,datasize) == datasize")) {
        buffer.Clear();
        return false;
    }
    buffer.SetLength(uint32_t(datasize));
    Data = reinterpret_cast<uint8_t*>(buffer.Data());
    return true;
}

SdFileBase::SdFileBase(SdSection* sections, int32_t maxSections) : Sections(sections), MaxSections(maxSections)
{
    KX_ASSERT(KxSys, sections != nullptr || maxSections == 0);
}

bool SdFileBase::SetPath(const char* path)
{
    if (path == nullptr || strlen(path) > Path.Capacity()) {
        Path.Clear();
        return false;
    }
    Path.Set(path);
    return File.SetPath(path);
}

SdSection* SdFileBase::AddSection(const char* name)
{
    KX_ASSERT(KxSys, NumSections < MaxSections);
    SdSection& sec = Sections[NumSections];
    sec.Name.Set(name != nullptr ? name : "");
    sec.Data = nullptr;
    sec.DataSize = 0;
    if (NumSections == 0) {
        sec.Offset = 0;
    } else {
        const SdSection& prev = Sections[NumSections - 1];
        sec.Offset = prev.Offset + SD_HEADER_SIZE + prev.DataSize;
    }
    ++NumSections;
    return &sec;
}

bool SdFileBase::FlushStart4Create()
{
    KX_ASSERT(KxSys, !IsOpen());
    const bool begun = saver_.Begin(File, Path.c_str());
    refusal_ = saver_.Refusal();
    return begun;
}

bool SdFileBase::FlushStart4Update(int32_t fromsection)
{
    KX_ASSERT(KxSys, !IsOpen());
    KX_ASSERT(KxSys, fromsection < NumSections);
    KX_ASSERT(KxSys, fromsection >= 0);
    refusal_.clear();
    if (Path.Empty())
        return false;
    // Written in place: through a link only where a new file could be.
    const int fd = OpenWriteTarget(Path.c_str(), O_RDWR | O_CLOEXEC, 0, refusal_);
    File.Close();
    File.Handle = fd >= 0 ? fdopen(fd, "r+b") : nullptr;
    if (File.Handle == nullptr) {
        const int error = errno;
        if (fd >= 0)
            close(fd);
        errno = error;
        return false;
    }
    SdSection& start = Sections[fromsection];
    // A file that shrank since the scan has no place for the section.
    bool placed = start.Offset >= 0 && start.Offset <= StreamSize(File) && start.SeekStart(File, false);
    if (!KX_VERIFY_TEXT(KxSys, placed, "SeekSectionPos(start,false)"))
        return false;
    NumSections = fromsection;
    return true;
}

bool SdFileBase::WriteSectionHeader(SdSection& sec)
{
    TempStr header;
    header.Format("\nSECTION:%10s:%-16lld\n", sec.Name.c_str(), static_cast<long long>(sec.DataSize));
    if (!KX_VERIFY(KxSys, header.Length() == SD_HEADER_SIZE))
        return false;
    return File.Write(header.c_str(), size_t(SD_HEADER_SIZE)) == size_t(SD_HEADER_SIZE);
}

bool SdFileBase::FlushSection(SdSection& sec)
{
    KX_ASSERT(KxSys, sec.DataSize >= 0);
    if (!KX_VERIFY_TEXT(KxSys, WriteSectionHeader(sec), "FlushSectionHeader(sec)"))
        return false;
    if (sec.DataSize > 0) {
        size_t size = size_t(sec.DataSize);
        if (!KX_VERIFY_TEXT(KxSys, File.Write(sec.Data, size) == size, "FlushSectionBody(sec)"))
            return false;
    }
    return true;
}

bool SdFileBase::FlushStop()
{
    if (!IsOpen())
        return false;
    bool ok = File.Write(SD_END_MARKER, size_t(SD_END_MARKER_SIZE)) == size_t(SD_END_MARKER_SIZE);
    if (saver_.Active()) {
        if (ok)
            return saver_.Commit();
        saver_.Discard();
        return false;
    }
    ok = File.Flush() && ok;
    return File.Close() && ok;
}

bool SdFileBase::FlushSections(int32_t startsection)
{
    bool started = startsection ? FlushStart4Update(startsection) : FlushStart4Create();
    if (!KX_VERIFY_TEXT(KxSys, started, "startsection ? FlushStart4Update(startsection) : FlushStart4Create()"))
        return false;
    if (startsection == 0) {
        for (int32_t i = 0; i < NumSections; ++i) {
            SdSection& sec = Sections[i];
            KX_ASSERT(KxSys, sec.Data);
            KX_ASSERT(KxSys, sec.Offset >= 0);
            if (i == 0 && !KX_VERIFY_TEXT(KxSys, File.Seek64(sec.Offset), "Seek64(sec.Offset)"))
                return false;
            if (!KX_VERIFY_TEXT(KxSys, FlushSection(sec), "FlushSection(sec)"))
                return false;
            if (i + 1 < NumSections)
                Sections[i + 1].Offset = sec.Offset + SD_HEADER_SIZE + sec.DataSize;
        }
    }
    return KX_VERIFY_TEXT(KxSys, FlushStop(), "FlushStop()");
}

SdSection& SdFileBase::GetSection(int32_t id)
{
    KX_ASSERT(KxSys, id < NumSections);
    KX_ASSERT(KxSys, id >= 0);
    return Sections[id];
}

SdSection* SdFileBase::ScanSectionHeader()
{
    if (!KX_VERIFY(KxSys, NumSections < MaxSections))
        return nullptr;
    int32_t index = NumSections;
    char header[SD_HEADER_SIZE + 1];
    size_t n = File.Read(header, size_t(SD_HEADER_SIZE));
    header[n] = 0;

    // The header must begin with the tag; the end marker (or any other text)
    // fails here.
    size_t tagBytes = n < HEADER_TAG_SIZE ? n : HEADER_TAG_SIZE;
    if (n > 0 && memcmp(header, HEADER_TAG, tagBytes) != 0) {
        KX_WARNING(KxSys, "File '%s': section #%d header corrupted", Path.c_str(), index);
        return nullptr;
    }
    if (n < size_t(SD_HEADER_SIZE)) {
        KX_WARNING(KxSys, "File '%s': section #%d read header error", Path.c_str(), index);
        return nullptr;
    }
    // Everything is looked for inside the 37 bytes; a header that does not
    // end with its LF there (a longer name, a shifted header) is corrupt.
    char* name = header + HEADER_TAG_SIZE;
    char* last = header + SD_HEADER_SIZE - 1;
    while (name < last && *name == ' ')
        ++name;
    char* colon = static_cast<char*>(memchr(name, ':', size_t(last - name)));
    if (*last != '\n' || colon == nullptr) {
        KX_WARNING(KxSys, "File '%s': section #%d header corrupted", Path.c_str(), index);
        return nullptr;
    }
    *colon = 0;
    *last = 0;

    // "%lli" semantics without its undefined overflow.
    char* end = nullptr;
    errno = 0;
    long long size = strtoll(colon + 1, &end, 0);
    if (end == colon + 1)
        size = 0;
    int64_t fileSize = StreamSize(File);
    int64_t room = fileSize - ScanPos - SD_HEADER_SIZE;
    if (errno == ERANGE || size < 0 || fileSize < 0 || size > room) {
        KX_WARNING(KxSys, "File '%s': section #%d data size %lld is out of the file", Path.c_str(), index, size);
        return nullptr;
    }

    SdSection& sec = Sections[index];
    sec.Name.Set(name);
    sec.Data = nullptr;
    sec.DataSize = size;
    sec.Offset = ScanPos;
    ScanPos += SD_HEADER_SIZE + size;
    ++NumSections;
    return &sec;
}

SdSection* SdFileBase::ScanFirst()
{
    Close();
    NumSections = 0;
    ScanPos = 0;
    if (!File.SetPath(Path.c_str()) || !File.OpenToRead(refusal_))
        return nullptr;
    return ScanSectionHeader();
}

SdSection* SdFileBase::SeekNextSection()
{
    KX_ASSERT(KxSys, NumSections < MaxSections);
    if (!File.Seek64(ScanPos)) {
        KX_WARNING(KxSys, "File '%s': section #%d read header error", Path.c_str(), NumSections);
        return nullptr;
    }
    return ScanSectionHeader();
}

int32_t SdFileBase::ScanAll()
{
    Close();
    NumSections = 0;
    ScanPos = 0;
    if (!File.SetPath(Path.c_str()) || !File.OpenToRead(refusal_))
        return 0;
    while (NumSections < MaxSections) {
        SdSection* sec = NumSections == 0 ? ScanSectionHeader() : SeekNextSection();
        if (sec == nullptr)
            break;
    }
    return NumSections;
}

bool SdFileBase::Close()
{
    if (saver_.Active()) {
        saver_.Discard();
        return true;
    }
    return File.Close();
}

} // namespace ZmLib
