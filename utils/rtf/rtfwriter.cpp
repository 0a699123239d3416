#include "utils/rtf/rtfwriter.h"

#include <cstdarg>
#include <cstring>
#include <vector>

#include "utils/common/strbase.h"

namespace {

RtfFormat g_format;

// The document buffer is only a hint; a wild size must not allocate wildly.
constexpr size_t MAX_RESERVE = size_t(64) << 20;

const char* const kBreakWords[] = {"", "\\page", "\\column", "\\line"};
const char* const kAlignWords[] = {"\\ql", "\\qc", "\\qr", "\\qj"};
const char* const kTabKindWords[] = {"", "\\tqc", "\\tqr", "\\tqdec"};
const char* const kTabLeaderWords[] = {"", "\\tldot", "\\tlmdot", "\\tlhyph", "\\tlul", "\\tlth", "\\tleq"};
const char* const kBorderSideWords[] = {"", "\\brdrt", "\\brdrb", "\\brdrl", "\\brdrr", "\\box"};
const char* const kBorderStyleWords[] = {
    "\\brdrs",      "\\brdrth",      "\\brdrsh",     "\\brdrdb",       "\\brdrdot",         "\\brdrdash",
    "\\brdrhair",   "\\brdrinset",   "\\brdrdashsm", "\\brdrdashd",    "\\brdrdashdd",      "\\brdroutset",
    "\\brdrtriple", "\\brdrwavy",    "\\brdrwavydb", "\\brdrdashdotstr", "\\brdremboss",    "\\brdrengrave"};
const char* const kPatternWords[] = {"",           "\\bghoriz",    "\\bgvert",     "\\bgfdiag",  "\\bgbdiag",
                                     "\\bgcross",  "\\bgdcross",   "\\bgdkhoriz",  "\\bgdkvert", "\\bgdkfdiag",
                                     "\\bgdkbdiag", "\\bgdkcross", "\\bgdkdcross"};
const char* const kUnderlineWords[] = {
    "\\ulnone", "\\ul",       "\\uld",       "\\uldash",     "\\uldashd",     "\\uldashdd",
    "\\uldb",   "\\ulhwave",  "\\ulldash",   "\\ulth",       "\\ulthd",       "\\ulthdash",
    "\\ulthdashd", "\\ulthdashdd", "\\ulthldash", "\\ululdbwave", "\\ulw",      "\\ulwave"};

// The word of a table, or nothing for an index past its end.
template <size_t N>
const char* Word(const char* const (&table)[N], uint32_t index)
{
    return index < N ? table[index] : "";
}

void AddFormatTo(std::string& out, const char* format, va_list args) __attribute__((format(printf, 2, 0)));

void AddFormatTo(std::string& out, const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int length = vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (length < 0)
        return;
    if (size_t(length) < sizeof small) {
        out.append(small, size_t(length));
        return;
    }
    std::vector<char> big(size_t(length) + 1);
    vsnprintf(big.data(), big.size(), format, args);
    out.append(big.data(), size_t(length));
}

void AddFormat(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

void AddFormat(std::string& out, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    AddFormatTo(out, format, args);
    va_end(args);
}

bool IsHexDigit(char ch)
{
    return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}

} // namespace

RtfWriter::~RtfWriter()
{
    if (file_)
        fclose(file_);
}

int RtfWriter::Open(size_t size, const char* fonts, const char* colours)
{
    Close();
    document_.reserve(size < MAX_RESERVE ? size : MAX_RESERVE);
    SetFonts(fonts);
    WriteHeader(colours);
    return RTF_OK;
}

void RtfWriter::SetFonts(const char* fonts)
{
    fontTable_.clear();
    if (!fonts || !*fonts)
        return;
    int index = 0;
    const char* start = fonts;
    for (;;) {
        const char* end = strchr(start, ';');
        std::string name = end ? std::string(start, size_t(end - start)) : std::string(start);
        // A trailing ';' ends the list; an empty name inside keeps its index.
        if (!end && name.empty())
            break;
        AddFormat(fontTable_, "{\\f%d\\fnil\\fcharset0\\cpg1252 %s}", index++, Escape(name.c_str()).c_str());
        if (!end)
            break;
        start = end + 1;
    }
}

void RtfWriter::WriteHeader(const char* colours)
{
    Append("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl");
    Append(fontTable_.c_str());
    if (colours) {
        Append("}{\\colortbl");
        Append(colours);
    }
    Append("}{\\*\\generator rtflib ver. 1.0;}");
    Append("\n{\\info{\\author Zelmora}{\\company Software\\Zelmora}}");
}

RtfFormat* RtfWriter::GetFormat()
{
    return &g_format;
}

int RtfWriter::WriteParagraph(const char* text, bool newParagraph)
{
    RtfFormat& f = g_format;
    std::string copy = text ? text : "";
    f.text = &copy[0];
    f.newParagraph = newParagraph ? 1 : 0;

    std::string para;
    if (f.newParagraph)
        para += "\\par";
    if (f.resetParagraph)
        para += "\\pard";
    para += f.inTable ? "\\intbl" : "\\plain";
    para += Word(kBreakWords, f.breakKind);
    para += Word(kAlignWords, f.alignment);
    if (f.tabStopOn) {
        para += Word(kTabKindWords, f.tabKind);
        para += Word(kTabLeaderWords, f.tabLeader);
        AddFormat(para, "\\tx%d", f.tabPosition);
    }
    if (f.numberingOn) {
        // A zero character would cut the document short; a brace would
        // unbalance it.
        char number[2] = {f.numberingText, 0};
        AddFormat(para, "{\\*\\pn\\pnlvl%d\\pnsp%d\\pntxtb %s}", f.numberingLevel, f.numberingSpacing,
                  Escape(number).c_str());
    }
    if (f.borderOn) {
        para += Word(kBorderSideWords, f.borderSide);
        para += Word(kBorderStyleWords, f.borderStyle);
        AddFormat(para, "\\brdrw%d\\brsp%d", f.borderWidth, f.borderSpacing);
        AddFormat(para, "\\brdrcf%d", f.borderColour);
    }
    if (f.shadingOn) {
        AddFormat(para, "\\shading%d", f.shadingPercentage);
        para += Word(kPatternWords, f.shadingPattern);
        AddFormat(para, "\\cfpat%d\\cbpat%d", f.patternForeground, f.patternBackground);
    }

    std::string chars;
    AddFormat(chars, "\\animtext%d\\expndtw%d\\kerning%d\\charscalex%d\\f%d\\fs%d\\cf%d", f.animation, f.expansion,
              f.kerning, f.horizontalScale, f.font, f.fontSize, f.colour);
    chars += f.bold ? "\\b" : "\\b0";
    chars += f.caps ? "\\caps" : "\\caps0";
    chars += f.doubleStrike ? "\\striked1" : "\\striked0";
    if (f.emboss)
        chars += "\\embo";
    if (f.imprint)
        chars += "\\impr";
    chars += f.italic ? "\\i" : "\\i0";
    chars += f.outline ? "\\outl" : "\\outl0";
    chars += f.shadow ? "\\shad" : "\\shad0";
    chars += f.smallCaps ? "\\scaps" : "\\scaps0";
    chars += f.strike ? "\\strike" : "\\strike0";
    if (f.subscript)
        chars += "\\sub";
    if (f.superscript)
        chars += "\\super";
    chars += Word(kUnderlineWords, f.underline);

    if (f.tabOnly)
        AppendFormat("\\tab %s", f.text);
    else
        AppendFormat("\n%s\\fi%d\\li%d\\ri%d\\sb%d\\sa%d\\sl%d%s %s", para.c_str(), f.firstIndent, f.leftIndent,
                     f.rightIndent, f.spaceBefore, f.spaceAfter, f.lineSpacing, chars.c_str(), f.text);
    f.text = nullptr;
    return RTF_OK;
}

int RtfWriter::AddText(const char* text)
{
    if (text)
        Append(text);
    return RTF_OK;
}

int RtfWriter::AddLine(const char* text)
{
    AppendFormat("\n %s %s", "\\line", text ? text : "");
    return RTF_OK;
}

int RtfWriter::AddPngPicture(const char* hex, int scaleX, int scaleY)
{
    // Anything but hex digit pairs would break the picture group and every
    // brace after it.
    if (!hex)
        return RTF_ERR_DATA;
    size_t digits = 0;
    for (const char* p = hex; *p; ++p) {
        if (IsHexDigit(*p))
            ++digits;
        else if (!ZmLib::AsciiIsSpace(*p))
            return RTF_ERR_DATA;
    }
    if (digits % 2 != 0)
        return RTF_ERR_DATA;
    AppendFormat("\n{\\pict\\pngblip\\picscalex%d\\picscaley%d\\picw423\\pich423\n", scaleX, scaleY);
    Append(hex);
    Append("}");
    return RTF_OK;
}

size_t RtfWriter::AppendBytes(const void* data, size_t size, size_t count)
{
    if (size != 0 && count > SIZE_MAX / size)
        return 0;
    size_t total = size * count;
    if (total == 0)
        return count;
    if (!data)
        return 0;
    document_.append(static_cast<const char*>(data), total);
    return count;
}

int RtfWriter::EndDocument(const char* path)
{
    // A second call writes the document again but never closes it twice.
    if (!ended_) {
        Append("\n\\par}");
        ended_ = true;
    }
    if (!path)
        return RTF_OK;
    if (file_) {
        fclose(file_);
        file_ = nullptr;
    }
    file_ = fopen(path, "w");
    if (!file_)
        return RTF_ERR_CREATE;
    // Flushed here so that a full disk is reported now, not only at Close.
    if (fwrite(document_.data(), 1, document_.size(), file_) != document_.size() || fflush(file_) != 0)
        return RTF_ERR_WRITE;
    return RTF_OK;
}

int RtfWriter::Close()
{
    int result = RTF_OK;
    if (file_) {
        if (fclose(file_) != 0)
            result = RTF_ERR_CLOSE;
        file_ = nullptr;
    }
    std::string().swap(document_);
    ended_ = false;
    return result;
}

std::string RtfWriter::Escape(const char* text)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    if (!text)
        return out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        unsigned char ch = *p;
        if (ch == '\\' || ch == '{' || ch == '}') {
            out += '\\';
            out += char(ch);
        } else if (ch == '\t') {
            out += "\\tab ";
        } else if (ch == '\n') {
            out += "\\line ";
        } else if (ch < 0x20 || ch >= 0x80) {
            out += "\\'";
            out += kHex[ch >> 4];
            out += kHex[ch & 15];
        } else {
            out += char(ch);
        }
    }
    return out;
}

void RtfWriter::Append(const char* text)
{
    document_ += text;
}

void RtfWriter::AppendFormat(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    AddFormatTo(document_, format, args);
    va_end(args);
}

void RtfWriter::AppendEscaped(std::string& out, const char16_t* text, size_t length)
{
    for (size_t k = 0; k < length; ++k) {
        const char16_t ch = text[k];
        if (ch == u'\\' || ch == u'{' || ch == u'}') {
            out += '\\';
            out += char(ch);
        } else if (ch == u'\t') {
            out += "\\tab ";
        } else if (ch < 0x20 || ch >= 0x7F) {
            out += "\\u";
            out += std::to_string(int16_t(ch));
            out += '?';
        } else {
            out += char(ch);
        }
    }
}
