#include "utils/common/inifile.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "utils/common/replacefile.h"
#include "utils/kx/kx.h"

namespace ZmLib {

namespace {

inline bool IsBlankOrTab(char ch) { return ch == ' ' || ch == '\t'; }
// What the line parser cuts from a line's end (blanks, tabs, CR, LF and the
// other control characters); the comment split cuts the same before a ';',
// so that a value reads the same with and without its comment.
inline bool IsLineEndSpace(char ch) { return ch != 0 && static_cast<unsigned char>(ch) <= 32; }

// Sections and entries are single heap blocks: the object followed by the
// private copies of its texts.
template <class T>
T* NewBlock(size_t textBytes, char*& text)
{
    void* block = ::operator new(sizeof(T) + textBytes);
    T* object = new (block) T();
    text = reinterpret_cast<char*>(object + 1);
    return object;
}

template <class T>
void DeleteBlock(T* object)
{
    object->~T();
    ::operator delete(static_cast<void*>(object));
}

// Copies text (with its NUL) to dst and returns the copy; null stays null.
char* CopyInto(char*& dst, const char* text)
{
    if (text == nullptr)
        return nullptr;
    size_t n = strlen(text) + 1;
    char* copy = dst;
    memcpy(copy, text, n);
    dst += n;
    return copy;
}

size_t TextBytes(const char* text) { return text != nullptr ? strlen(text) + 1 : 0; }

// A value whose first character after blanks is '"' is read verbatim, so it
// is written as it stands; any other value gets a '\' before each ';'.
bool IsVerbatimValue(const char* value)
{
    while (IsBlankOrTab(*value))
        ++value;
    return *value == '"';
}

size_t EncodedLength(const char* value)
{
    size_t n = strlen(value);
    if (IsVerbatimValue(value))
        return n;
    for (const char* p = strchr(value, ';'); p != nullptr; p = strchr(p + 1, ';'))
        ++n;
    return n;
}

// Splits the comment off the text that starts at start: it begins at the
// first ';' (with escapes: one not directly after a '\'), or at the blanks
// and control characters right before that ';', never before start.
void SplitComment(char* start, bool escapes, IniLine& out)
{
    char* semi = strchr(start, ';');
    while (escapes && semi != nullptr && semi > start && semi[-1] == '\\')
        semi = strchr(semi + 1, ';');
    if (semi == nullptr)
        return;
    char* sep = semi;
    while (sep > start && IsLineEndSpace(sep[-1]))
        --sep;
    out.Separator = *sep;
    out.Comment = sep + 1;
    *sep = 0;
}

// "\;" stands for ';' in a value that is not verbatim.
void UnescapeValue(char* value)
{
    char* w = value;
    for (const char* r = value; *r != 0; ++r) {
        if (r[0] == '\\' && r[1] == ';')
            continue;
        *w++ = *r;
    }
    *w = 0;
}

// Every piece goes through Write, which never cuts a long text.
class IniWriter {
public:
    explicit IniWriter(TextIo& io) : io_(io) {}

    void Put(const char* text, size_t n)
    {
        if (n > 0 && io_.Write(text, n) != n)
            ok_ = false;
    }
    void Put(const char* text) { Put(text, strlen(text)); }
    void Put(char ch) { Put(&ch, 1); }
    void PutValue(const char* value)
    {
        if (IsVerbatimValue(value)) {
            Put(value);
            return;
        }
        for (const char* semi = strchr(value, ';'); semi != nullptr; semi = strchr(value, ';')) {
            Put(value, size_t(semi - value));
            Put("\\;", 2);
            value = semi + 1;
        }
        Put(value);
    }
    bool Ok() const { return ok_; }

private:
    TextIo& io_;
    bool ok_ = true;
};

// The 1-based number of the entry after which the blank line goes: after
// the last entry that is not part of the comments closing the section (so
// that they stand next to the following section); 0 for none.
uint32_t BlankLinePosition(const IniSection* section)
{
    uint32_t trailing = 0;
    for (const IniEntry* e = static_cast<const IniEntry*>(section->Entries.Last); e != nullptr && e->IsComment();
         e = e->PrevEntry())
        ++trailing;
    uint32_t count = section->Entries.Count;
    return count > trailing ? count - trailing : trailing;
}

// Only the head section goes without header: a nameless first section
// whose first written line is one of its entries. Any other nameless
// section (an empty one, one with a comment, or one after others) keeps its
// "[]", so the text reads back with the same sections.
bool NeedsHeader(const IniSection* section, bool first, bool stripComments)
{
    if (section->Name[0] != 0 || !first)
        return true;
    if (!stripComments)
        return (section->Comment != nullptr && section->Separator != 0) || section->Entries.IsEmpty();
    for (const IniEntry* e = section->FirstEntry(); e != nullptr; e = e->NextEntry())
        if (!e->IsComment())
            return false;
    return true;
}

} // namespace

int IniBase::ParseLine(char* line, IniLine& out)
{
    out = IniLine{};
    char* p = line;
    while (IsBlankOrTab(*p))
        ++p;
    if (*p == 0 || *p == '\n' || *p == '\r')
        return INI_LINE_EMPTY;
    char* end = p + strlen(p);
    while (end > p + 1 && IsLineEndSpace(end[-1]))
        --end;
    *end = 0;

    if (*p == ';') {
        out.Name = p;
        return INI_LINE_COMMENT;
    }
    if (*p == '[') {
        SplitComment(p, false, out);
        char* close = strchr(p + 1, ']');
        if (close != nullptr)
            *close = 0;
        out.Name = p + 1;
        return INI_LINE_SECTION;
    }
    char* eq = *p == '"' ? nullptr : strchr(p, '=');
    if (eq == nullptr) {
        out.Name = p;
        return INI_LINE_OTHER;
    }
    char* value = eq + 1;
    while (eq > p && IsBlankOrTab(eq[-1]))
        --eq;
    *eq = 0;
    while (IsBlankOrTab(*value))
        ++value;
    out.Name = p;
    out.Value = value;
    if (*value != '"') {
        SplitComment(value, true, out);
        UnescapeValue(value);
    }
    return INI_LINE_KEY;
}

int IniBase::AddLineInPlace(char* line)
{
    IniLine parsed;
    int kind = ParseLine(line, parsed);
    if (kind == INI_LINE_SECTION)
        AddParsedSection(parsed);
    else if (kind != INI_LINE_EMPTY)
        AddParsedEntry(parsed);
    return kind;
}

int IniBase::AddLine(const char* line)
{
    if (!KX_VERIFY(KxSys, line))
        return INI_LINE_EMPTY;
    std::string copy(line);
    return AddLineInPlace(copy.data());
}

void IniBase::ReadFrom(TextIo& io)
{
    for (char* line = io.ReadLine(); line != nullptr; line = io.ReadLine())
        AddLineInPlace(line);
    Modified = 0;
}

void IniBase::ReadFromText(char* text, size_t size)
{
    char* end = text + size;
    char* line = text;
    while (line < end) {
        char* lf = static_cast<char*>(memchr(line, '\n', size_t(end - line)));
        char* next = end;
        if (lf != nullptr) {
            *lf = 0;
            next = lf + 1;
        }
        AddLineInPlace(line);
        line = next;
    }
    Modified = 0;
}

bool IniBase::Write(TextIo& io, bool stripComments, bool keepModified)
{
    IniWriter out(io);
    for (IniSection* s = FirstSection(); s != nullptr; s = s->NextEntry()) {
        if (NeedsHeader(s, s == FirstSection(), stripComments)) {
            out.Put('[');
            out.Put(s->Name);
            out.Put(']');
            if (!stripComments && s->Comment != nullptr && s->Separator != 0) {
                out.Put(s->Separator);
                out.Put(s->Comment);
            }
            out.Put('\n');
        }
        uint32_t blankAfter = stripComments ? 0 : BlankLinePosition(s);
        uint32_t number = 0;
        for (IniEntry* e = s->FirstEntry(); e != nullptr; e = e->NextEntry()) {
            ++number;
            if (e->IsComment() && stripComments)
                continue;
            out.Put(e->Name);
            if (e->Value != nullptr) {
                out.Put('=');
                out.PutValue(e->Value);
                if (!stripComments && e->Comment != nullptr && e->Separator != 0) {
                    // "\;" would hide the comment: a value ending in '\'
                    // gets a blank before its ';'.
                    size_t n = strlen(e->Value);
                    if (e->Separator == ';' && n > 0 && e->Value[n - 1] == '\\' && !IsVerbatimValue(e->Value))
                        out.Put(' ');
                    out.Put(e->Separator);
                    out.Put(e->Comment);
                }
            }
            out.Put('\n');
            if (number == blankAfter)
                out.Put('\n');
        }
    }
    if (!keepModified)
        Modified = 0;
    return out.Ok();
}

uint32_t IniBase::TextSize() const
{
    uint64_t size = 10;
    for (IniSection* s = FirstSection(); s != nullptr; s = s->NextEntry()) {
        size += strlen(s->Name) + 4;
        for (IniEntry* e = s->FirstEntry(); e != nullptr; e = e->NextEntry())
            size += strlen(e->Name) + 2 + (e->Value != nullptr ? EncodedLength(e->Value) : 0);
    }
    // A text beyond the block's limit cannot be written; WriteToBuf fails.
    return size < UINT32_MAX - 1 ? uint32_t(size) : UINT32_MAX - 1;
}

bool IniBase::WriteToBuf(TextBuf& buf)
{
    buf.Construct(TextSize() + 1);
    return Write(buf, true);
}

void IniBase::FreeEntry(IniEntry* entry)
{
    if (entry->ValueOwned)
        delete[] entry->Value;
    DeleteBlock(entry);
}

void IniBase::FreeSection(IniSection* section)
{
    while (!section->Entries.IsEmpty())
        FreeEntry(static_cast<IniEntry*>(section->Entries.Remove(section->Entries.First)));
    DeleteBlock(section);
}

void IniBase::Clear()
{
    found_ = nullptr;
    while (!Sections.IsEmpty())
        FreeSection(static_cast<IniSection*>(Sections.Remove(Sections.First)));
}

IniSection* IniBase::FindSection(const char* name) const
{
    if (name == nullptr)
        name = "";
    // Sections are only appended, so the first of a name stays the first
    // until it is removed.
    if (found_ != nullptr && strcmp(found_->Name, name) == 0)
        return found_;
    for (IniSection* s = FirstSection(); s != nullptr; s = s->NextEntry())
        if (strcmp(s->Name, name) == 0)
            return found_ = s;
    return nullptr;
}

IniEntry* IniBase::FindKey(const IniSection* section, const char* name)
{
    if (section == nullptr || name == nullptr)
        return nullptr;
    for (IniEntry* e = section->FirstEntry(); e != nullptr; e = e->NextEntry())
        if (strcmp(e->Name, name) == 0)
            return e;
    return nullptr;
}

const char* IniBase::GetValue(const char* section, const char* key) const
{
    IniEntry* e = FindKey(FindSection(section), key);
    return e != nullptr ? e->Value : nullptr;
}

bool IniBase::Scan(const char* section, const char* key, const char* format, ...) const
{
    const char* value = GetValue(section, key);
    if (value == nullptr || format == nullptr)
        return false;
    va_list args;
    va_start(args, format);
    int n = vsscanf(value, format, args);
    va_end(args);
    return n == 1;
}

int32_t IniBase::GetInt(const char* section, const char* key, int32_t def, int32_t min, int32_t max) const
{
    int64_t n = 0;
    if (!GetInt64(section, key, n))
        return def;
    if (n < min || n > max) {
        int shown = n < INT32_MIN ? INT32_MIN : n > INT32_MAX ? INT32_MAX : int(n);
        KX_WARNING(KxSys, "IniBase::GetInt: value %d is out of range [%d..%d], taking the default %d", shown, min,
                   max, def);
        return def;
    }
    return int32_t(n);
}

IniSection* IniBase::AddSection(const char* name, const char* comment, char separator)
{
    if (name == nullptr)
        name = "";
    char* text = nullptr;
    IniSection* s = NewBlock<IniSection>(TextBytes(name) + TextBytes(comment), text);
    s->Name = CopyInto(text, name);
    s->Comment = CopyInto(text, comment);
    s->Separator = comment != nullptr ? separator : 0;
    Sections.AddTail(s);
    Modified = 1;
    return s;
}

IniEntry* IniBase::AddEntry(IniSection* section, const char* name, const char* value, const char* comment,
                            char separator)
{
    if (!KX_VERIFY(KxSys, section && name))
        return nullptr;
    char* text = nullptr;
    IniEntry* e = NewBlock<IniEntry>(TextBytes(name) + TextBytes(value) + TextBytes(comment), text);
    e->Name = CopyInto(text, name);
    e->Value = CopyInto(text, value);
    e->Comment = CopyInto(text, comment);
    e->Separator = comment != nullptr ? separator : 0;
    section->Entries.AddTail(e);
    Modified = 1;
    return e;
}

IniEntry* IniBase::AddParsedEntry(const IniLine& line)
{
    IniSection* last = LastSection();
    if (last == nullptr)
        last = AddSection("");
    return AddEntry(last, line.Name, line.Value, line.Comment, line.Separator);
}

IniSection* IniBase::AddParsedSection(const IniLine& line)
{
    return AddSection(line.Name, line.Comment, line.Separator);
}

void IniBase::SetValue(const char* section, const char* key, const char* value)
{
    if (!KX_VERIFY(KxSys, key))
        return;
    if (value == nullptr)
        value = "";
    IniSection* s = FindSection(section);
    if (s == nullptr)
        s = AddSection(section);
    IniEntry* e = FindKey(s, key);
    if (e == nullptr) {
        AddEntry(s, key, value);
        return;
    }
    size_t n = strlen(value);
    if (e->Value != nullptr && n <= strlen(e->Value)) {
        if (strcmp(e->Value, value) == 0)
            return;
        memmove(e->Value, value, n + 1);
    } else {
        char* owned = new char[n + 1];
        memcpy(owned, value, n + 1);
        if (e->ValueOwned)
            delete[] e->Value;
        e->Value = owned;
        e->ValueOwned = 1;
    }
    Modified = 1;
}

std::string IniBase::QuoteText(const std::string& text)
{
    std::string line = text;
    for (char& ch : line)
        if (ch == '\r' || ch == '\n')
            ch = ' ';
    bool quote = !line.empty() && (line.front() == '"' || IsBlankOrTab(line.front()) ||
                                   IsLineEndSpace(line.front()) || IsLineEndSpace(line.back()));
    return quote ? '"' + line + '"' : line;
}

std::string IniBase::UnquoteText(const char* value)
{
    size_t n = strlen(value);
    if (n >= 2 && value[0] == '"' && value[n - 1] == '"')
        return std::string(value + 1, n - 2);
    return value;
}

void IniBase::SetText(const char* section, const char* key, const std::string& text)
{
    SetValue(section, key, QuoteText(text).c_str());
}

bool IniBase::GetText(const char* section, const char* key, std::string& out) const
{
    const char* value = GetValue(section, key);
    if (value == nullptr)
        return false;
    out = UnquoteText(value);
    return true;
}

bool IniBase::GetInt64(const char* section, const char* key, int64_t& out) const
{
    const char* value = GetValue(section, key);
    if (value == nullptr)
        return false;
    // strtoll base 0 reads what "%i" reads, without its undefined overflow.
    char* end = nullptr;
    long long n = strtoll(value, &end, 0);
    if (end == value)
        return false;
    out = n;
    return true;
}

void IniBase::SetInt(const char* section, const char* key, int64_t value)
{
    char text[32];
    snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
    SetValue(section, key, text);
}

void IniBase::DeleteNumberedSections(const char* prefix, int64_t from)
{
    if (!KX_VERIFY(KxSys, prefix))
        return;
    size_t n = strlen(prefix);
    for (IniSection* s = FirstSection(); s != nullptr;) {
        IniSection* next = s->NextEntry();
        const char* digits = s->Name + n;
        bool numbered = strncmp(s->Name, prefix, n) == 0 && AsciiIsDigit(*digits);
        uint64_t number = 0;
        for (const char* p = digits; numbered && *p != 0; ++p) {
            numbered = AsciiIsDigit(*p);
            if (number <= uint64_t(INT64_MAX))
                number = number * 10 + uint64_t(*p - '0');
        }
        if (numbered && (from <= 0 || number >= uint64_t(from)))
            RemoveSection(s);
        s = next;
    }
}

void IniBase::AddKey(const char* section, const char* key)
{
    if (!KX_VERIFY(KxSys, key))
        return;
    IniSection* s = FindSection(section);
    if (s != nullptr && FindKey(s, key) != nullptr)
        return;
    if (s == nullptr)
        s = AddSection(section);
    AddEntry(s, key);
}

void IniBase::RemoveSection(IniSection* section)
{
    Modified = 1;
    if (section == found_)
        found_ = nullptr;
    Sections.Remove(section);
    FreeSection(section);
}

void IniBase::DeleteSection(const char* section)
{
    if (section == nullptr)
        section = "";
    for (IniSection* s = FirstSection(); s != nullptr;) {
        IniSection* next = s->NextEntry();
        if (strcmp(s->Name, section) == 0)
            RemoveSection(s);
        s = next;
    }
}

void IniBase::DeleteRepeatedSections()
{
    for (IniSection* s = FirstSection(); s != nullptr;) {
        IniSection* next = s->NextEntry();
        if (FindSection(s->Name) != s)
            RemoveSection(s);
        s = next;
    }
}

bool IniFile::Open(const char* dir, const char* name, const char* ext, bool dontLoad)
{
    if (OpenFlag)
        Close();
    FileTime = 0;
    refusal_.clear();
    OpenFlag = 1;
    if (dir == nullptr && name == nullptr) {
        // Pathless: a flush must fail rather than go to the last file.
        Path.Clear();
        return false;
    }
    bool pathOk = Path.SetPath(dir, name, ext);
    if (name == nullptr)
        pathOk = Path.Length() == strlen(dir);
    if (!pathOk) {
        KX_WARNING(KxSys, "IniFile::Open: path too long");
        Path.Clear();
        return false;
    }
    return dontLoad ? false : Load();
}

bool IniFile::Load()
{
    FILEB file;
    refusal_.clear();
    if (Path.Empty() || !file.SetPath(Path.c_str()) || !file.OpenToRead(refusal_))
        return false;
    uint64_t size = file.ReadToMemory();
    if (file.Membuf == nullptr)
        return false;
    Ini.ReadFromText(reinterpret_cast<char*>(file.Membuf), size_t(size));
    file.Close();
    FileTime = FILEB::GetWriteTime(Path.c_str());
    return true;
}

bool IniFile::Close()
{
    if (!OpenFlag)
        return true;
    bool ok = Flush(false);
    Ini.Clear();
    OpenFlag = 0;
    return ok;
}

bool IniFile::WriteFile(const char* path, bool stripComments, bool keepModified, const char* failReport)
{
    TextFile text;
    ReplaceFile saver;
    if (!KX_VERIFY_TEXT(KxSys, path != nullptr && *path != 0 && saver.Begin(text.File, path), failReport))
        return false;
    if (!KX_VERIFY(KxSys, Ini.Write(text, stripComments, true))) {
        saver.Discard();
        return false;
    }
    // A file that cannot take the place of the old one (a folder in the
    // way) is the caller's to report: no fault of ours.
    if (!saver.Commit()) {
        KX_WARNING(KxSys, "IniFile::WriteFile: cannot replace '%s': %s", path, strerror(errno));
        return false;
    }
    if (!keepModified)
        Ini.Modified = 0;
    return true;
}

bool IniFile::Flush(bool stripComments)
{
    if (!Ini.IsModified())
        return true;
    if (!WriteFile(Path.c_str(), stripComments, false, "TxtFile.Create()"))
        return false;
    FileTime = FILEB::GetWriteTime(Path.c_str());
    return true;
}

bool IniFile::FlushTo(const char* path, bool stripComments)
{
    return WriteFile(path, stripComments, true, "textfile.Create()");
}

bool IniFile::Sync()
{
    if (Ini.IsModified()) {
        Flush(false);
        return false;
    }
    int64_t now = FILEB::GetWriteTime(Path.c_str());
    if (now == FileTime)
        return false;
    Ini.Clear();
    FileTime = now;
    Load();
    return true;
}

} // namespace ZmLib
