// Ini text in memory (IniBase) and bound to a file on disk (IniFile).
// Sections and entries keep their comments and unknown lines, so that a text
// written back looks like the text read. Names compare exactly.
//
// Values and ';': a ';' in a value normally starts a comment. The writer
// puts a '\' before every ';' of a value (unless the value starts with '"',
// which is read verbatim), and the reader takes "\;" in a value as a ';' of
// the value. So any value survives a save and a load; lines without "\;"
// read exactly as before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "utils/common/dlist.h"
#include "utils/common/strbase.h"
#include "utils/common/textio.h"

namespace ZmLib {

// One line of the text other than a section header. Comment lines (';'
// first) and other lines ('"' first, or no '=') have the whole line as name
// and no value. Name, value and comment point into the block's own copy of
// the line, except an owned value, which has its own heap block.
struct IniEntry : DListEntry<IniEntry> {
    char* Name = nullptr;
    char* Comment = nullptr;
    char Separator = 0;
    uint8_t ValueOwned = 0;
    char* Value = nullptr;

    bool IsComment() const { return Value == nullptr && Name[0] == ';'; }
};

// A section: name (empty for the unnamed head section) and its entries.
struct IniSection : DListEntry<IniSection> {
    char* Name = nullptr;
    char* Comment = nullptr;
    char Separator = 0;
    DListBase Entries;

    IniEntry* FirstEntry() const { return static_cast<IniEntry*>(Entries.First); }
};

// Kinds of line that ParseLine reports.
enum IniLineKind : int {
    INI_LINE_EMPTY = 0,
    INI_LINE_COMMENT = 1,
    INI_LINE_SECTION = 2,
    INI_LINE_OTHER = 3,
    INI_LINE_KEY = 4,
};

// The pieces of one parsed line; they point into the parsed buffer.
struct IniLine {
    char* Name = nullptr;
    char* Value = nullptr;
    char* Comment = nullptr;
    char Separator = 0;
};

class IniBase {
public:
    IniBase() = default;
    ~IniBase() { Clear(); }
    IniBase(const IniBase&) = delete;
    IniBase& operator=(const IniBase&) = delete;

    // Cuts one line in place into its pieces; returns an IniLineKind.
    static int ParseLine(char* line, IniLine& out);

    // Reads every line of the source and adds it; clears the modified flag.
    // Lines come as the source gives them: a TextFile cuts lines at 1099
    // characters, so files are read with IniFile::Load, which reads whole
    // lines.
    void ReadFrom(TextIo& io);
    // Reads a whole text of size bytes followed by a NUL, lines of any
    // length; the text is cut in place. Clears the modified flag.
    void ReadFromText(char* text, size_t size);
    // Writes the text; false when a piece could not be written. Clears the
    // modified flag unless keepModified is set.
    bool Write(TextIo& io, bool stripComments, bool keepModified = false);
    // Constructs the block of buf (which must hold none) with TextSize() + 1
    // characters and writes the stripped form into it; clears the modified
    // flag. False when the text did not fit.
    bool WriteToBuf(TextBuf& buf);
    // Size estimate of the stripped form; always enough to hold it.
    uint32_t TextSize() const;
    void Clear();

    IniSection* FindSection(const char* name) const;
    static IniEntry* FindKey(const IniSection* section, const char* name);
    // The value of the first matching entry of the first section of that
    // name; null also for an entry without '='.
    const char* GetValue(const char* section, const char* key) const;
    // Reads the value with a scanf format of one conversion; true when one
    // item was read.
    bool Scan(const char* section, const char* key, const char* format, ...) const
        __attribute__((format(scanf, 4, 5)));
    // "%i" semantics (0x hex, leading-zero octal). A missing or unreadable
    // value gives def; a value outside [min, max] is reported and gives def.
    int32_t GetInt(const char* section, const char* key, int32_t def, int32_t min, int32_t max) const;
    void SetValue(const char* section, const char* key, const char* value);
    // Texts of any bytes: SetText puts a text that would not read back as it
    // stands (a blank or control character at either end, a leading '"')
    // between double quotes, and GetText takes one enclosing pair off again.
    // Line breaks cannot stand in a line and become blanks.
    void SetText(const char* section, const char* key, const std::string& text);
    // False (out untouched) when the key is missing or has no value.
    bool GetText(const char* section, const char* key, std::string& out) const;
    static std::string QuoteText(const std::string& text);
    static std::string UnquoteText(const char* value);
    // "%i" semantics into 64 bits; false (out untouched) when the value is
    // missing or unreadable.
    bool GetInt64(const char* section, const char* key, int64_t& out) const;
    // Written "%lld".
    void SetInt(const char* section, const char* key, int64_t value);
    void AddKey(const char* section, const char* key);
    // Deletes every section of that name: a hand-edited text may hold one
    // twice, and a section written again after the delete must not land in
    // a copy that kept stale keys.
    void DeleteSection(const char* section);
    // Deletes each section whose name an earlier section has; the look-ups
    // never reach those.
    void DeleteRepeatedSections();
    // Deletes every section named prefix followed by a decimal number of at
    // least from ("Script3" for "Script", 2), wherever it stands.
    void DeleteNumberedSections(const char* prefix, int64_t from);

    // Lower-level adders; each sets the modified flag and appends.
    IniSection* AddSection(const char* name, const char* comment = nullptr, char separator = 0);
    IniEntry* AddEntry(IniSection* section, const char* name, const char* value, const char* comment = nullptr,
                       char separator = 0);
    IniEntry* AddEntry(IniSection* section, const char* name) { return AddEntry(section, name, nullptr); }
    // To the last section, made (unnamed) when there is none.
    IniEntry* AddParsedEntry(const IniLine& line);
    IniSection* AddParsedSection(const IniLine& line);
    // Parses one line and adds it as ReadFrom does; returns its kind.
    int AddLine(const char* line);

    IniSection* FirstSection() const { return static_cast<IniSection*>(Sections.First); }
    IniSection* LastSection() const { return static_cast<IniSection*>(Sections.Last); }
    bool IsModified() const { return Modified != 0; }
    void SetModified(bool modified) { Modified = modified ? 1 : 0; }

    uint8_t Modified = 0;
    DListBase Sections;

private:
    // The section FindSection found last: the keys of one section are read
    // one after another, and a file of thousands of sections must not be
    // searched from the start for each of them.
    mutable IniSection* found_ = nullptr;

    // Parses a line in place and adds it; the buffer may be changed.
    int AddLineInPlace(char* line);
    // Unlinks and frees one section; sets the modified flag.
    void RemoveSection(IniSection* section);
    static void FreeSection(IniSection* section);
    static void FreeEntry(IniEntry* entry);
};

class IniFile {
public:
    IniFile() = default;
    // Flushes a modified text before it goes.
    ~IniFile() { Close(); }
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    // Sets the path (name null: dir is the whole path), forgets the stored
    // file time and loads unless dontLoad; the object is open afterwards.
    // Returns the load result. An object still open is closed first.
    bool Open(const char* dir, const char* name, const char* ext, bool dontLoad = false);
    // Reads the file into the text (which is not emptied first). Only a
    // regular file is read (utils/osal/readpath.h): what else is there is
    // refused at once, with why in Refusal().
    bool Load();
    // Why the last load refused the file; empty when it did not (a missing
    // or unreadable file fails without a refusal).
    const std::string& Refusal() const { return refusal_; }
    // Flushes keeping comments and empties the text; false when the flush
    // failed (the text is emptied all the same).
    bool Close();
    // Writes a modified text over the file: a new file beside it, renamed
    // into place when complete. False when that failed; the text then stays
    // in memory, still modified, and the old file is unchanged.
    bool Flush(bool stripComments = false);
    // Writes the whole text to another file; the modified flag stays.
    bool FlushTo(const char* path, bool stripComments = false);
    // Modified: flushes and returns false. Otherwise, when the file changed
    // on disk since the last load or flush, reloads and returns true.
    bool Sync();

    bool IsOpen() const { return OpenFlag != 0; }
    const char* GetPath() const { return Path.c_str(); }

    uint8_t OpenFlag = 0;
    IniBase Ini;
    PathStr Path;
    // Last-write time (Windows file time) after the last load or flush.
    int64_t FileTime = 0;

private:
    bool WriteFile(const char* path, bool stripComments, bool keepModified, const char* failReport);

    std::string refusal_;
};

} // namespace ZmLib
