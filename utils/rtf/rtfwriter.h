// Builds a Rich Text Format document (code page 1252) in memory: header with
// font and colour tables, formatted paragraphs, plain texts, line breaks and
// PNG pictures. The document buffer grows as needed, so no piece is ever
// dropped. Operations return RTF_OK (4096) for success.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

constexpr int RTF_OK = 4096;
constexpr int RTF_ERR_CREATE = 1; // the output file cannot be created
constexpr int RTF_ERR_CLOSE = 2;  // closing the output file failed
constexpr int RTF_ERR_WRITE = 3;  // the document was not written whole
constexpr int RTF_ERR_DATA = 4;   // picture data is not hexadecimal

// The writer's current format; one record for the whole process, read by
// RtfWriter::WriteParagraph.
struct RtfFormat {
    uint32_t breakKind = 0; // 1 page, 2 column, 3 line
    uint8_t newParagraph = 0;
    uint8_t resetParagraph = 0;
    uint32_t alignment = 0; // 0 left, 1 centre, 2 right, 3 justified
    int32_t firstIndent = 0;
    int32_t leftIndent = 0;
    int32_t rightIndent = 0;
    int32_t spaceBefore = 0;
    int32_t spaceAfter = 0;
    int32_t lineSpacing = 0;
    char* text = nullptr; // set only while a paragraph is written
    uint8_t tabOnly = 0;
    uint8_t inTable = 0;
    uint8_t tabStopOn = 0;
    int32_t tabPosition = 0;
    uint32_t tabKind = 0;
    uint32_t tabLeader = 0;
    uint8_t numberingOn = 0;
    int32_t numberingLevel = 0;
    int32_t numberingSpacing = 0;
    char numberingText = 0;
    uint8_t borderOn = 0;
    uint32_t borderSide = 0;
    uint32_t borderStyle = 0;
    int32_t borderWidth = 0;
    int32_t borderColour = 0;
    int32_t borderSpacing = 0;
    uint8_t shadingOn = 0;
    int32_t shadingPercentage = 0;
    uint32_t shadingPattern = 0;
    int32_t patternForeground = 0;
    int32_t patternBackground = 0;
    int32_t animation = 0;
    uint8_t bold = 0;
    uint8_t caps = 0;
    int32_t colour = 0;
    int32_t horizontalScale = 0;
    uint8_t emboss = 0;
    int32_t expansion = 0;
    int32_t font = 0;
    int32_t fontSize = 0; // half points
    uint8_t italic = 0;
    uint8_t imprint = 0;
    int32_t kerning = 0;
    uint8_t outline = 0;
    uint8_t smallCaps = 0;
    uint8_t shadow = 0;
    uint8_t strike = 0;
    uint8_t doubleStrike = 0;
    uint8_t subscript = 0;
    uint8_t superscript = 0;
    uint32_t underline = 0;
};

class RtfWriter {
public:
    RtfWriter() = default;
    ~RtfWriter();
    RtfWriter(const RtfWriter&) = delete;
    RtfWriter& operator=(const RtfWriter&) = delete;

    // Starts a new document with room for size bytes (more is taken when
    // needed). fonts is a ';'-separated list of font names; colours is the
    // colour-table text or null.
    int Open(size_t size, const char* fonts, const char* colours);
    void SetFonts(const char* fonts);
    void WriteHeader(const char* colours);
    static RtfFormat* GetFormat();

    // The text is written as given: it must already be valid RTF.
    int WriteParagraph(const char* text, bool newParagraph);
    int AddText(const char* text);
    int AddLine(const char* text);
    // hex is the PNG file as hexadecimal digits (white space allowed).
    int AddPngPicture(const char* hex, int scaleX, int scaleY);
    size_t AppendBytes(const void* data, size_t size, size_t count);

    char* GetBuffer() { return &document_[0]; }
    size_t Length() const { return document_.size(); }

    // Closes the document (once, however often it is called); with a path
    // also writes and flushes it to that file, which stays open until Close.
    int EndDocument(const char* path);
    int Close();

    // Plain 8-bit text as RTF text: '\\', '{' and '}' escaped, tabs as
    // "\\tab ", other control and non-ASCII bytes as "\\'hh".
    static std::string Escape(const char* text);
    // UTF-16 text as RTF text, appended to out: '\\', '{' and '}' escaped,
    // tabs as "\\tab ", other control and every non-ASCII unit as "\\uN?"
    // (N the unit as a signed 16-bit number), which fits any script.
    static void AppendEscaped(std::string& out, const char16_t* text, size_t length);

private:
    void Append(const char* text);
    void AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));

    std::string document_;
    FILE* file_ = nullptr;
    std::string fontTable_;
    bool ended_ = false;
};
