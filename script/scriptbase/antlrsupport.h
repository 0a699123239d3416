// Glue between the ANTLR 3 C runtime and the debug stream, shared by the
// script and search-expression front ends.
#pragma once

#include <antlr3.h>

#include <string>
#include <vector>

#include "utils/kx/kx.h"

// "ANTLR": the recognizers' syntax and lexical error reports.
extern ZmLib::KX KxAntlrChannel;

// Replaces the runtime's error display of a lexer's or a parser's recognizer
// (which prints to standard error) by one that reports each error as a
// warning on the "ANTLR" channel, with the source name and line: what was
// wrong and where, in words ("unexpected ';' at line 2, column 5, expected
// a name"; "unexpected end of <whole>"; "unterminated string"). whole names
// the input ("script", "expression") and must outlive the recognizer. The
// error counting of the runtime is unchanged. The display never throws.
void AntlrRouteErrors(pANTLR3_BASE_RECOGNIZER recognizer, const char* whole);

// Makes a lexer skip what starts no token, as the search expressions do:
// such a character (a whole UTF-8 sequence), or the start of a token that
// breaks off (as "0x" with no digit), is reported once with its place and
// "skipped", and the lexer goes on right after it without counting an
// error. A string or a comment left open still counts as one. Call after
// AntlrRouteErrors.
void AntlrSkipUnknownCharacters(pANTLR3_LEXER lexer);

// Reports "<source>(<line>) : <message>" as a warning on the "ANTLR" channel;
// a null source name reads "-unknown source-". skipped: the report is of
// something the lexer skipped, no error. Never throws.
void AntlrReport(pANTLR3_STRING streamName, ANTLR3_UINT32 line, const char* message, bool skipped = false) noexcept;

// The column from 0 at which a token made by a lexer over an 8-bit input
// starts, counted in characters of the input's text (AntlrCharacters).
ANTLR3_INT32 AntlrColumn(pANTLR3_COMMON_TOKEN token);

// The bytes of the character at text, which lies before end: a valid UTF-8
// sequence is one character, any other byte one of its own. code: the
// sequence's code point, or the byte itself.
ANTLR3_UINT32 AntlrCharacterAt(const ANTLR3_UINT8* text, const ANTLR3_UINT8* end, ANTLR3_UINT32* code = nullptr);

// The characters from from up to to, counted as AntlrCharacterAt counts.
ANTLR3_INT32 AntlrCharacters(const ANTLR3_UINT8* from, const ANTLR3_UINT8* to);

// The error count of a recognizer (the runtime keeps the lexer's and the
// parser's apart); 0 for null.
ANTLR3_UINT32 AntlrErrorCount(pANTLR3_BASE_RECOGNIZER recognizer);

// One report as AntlrReport made it.
struct AntlrError {
    std::string source;
    ANTLR3_UINT32 line = 0;
    std::string message;
    bool skipped = false;
};

// Keeps, beside the debug stream, the reports made on this thread while it
// lives, for a caller that shows them to the user. Logs nest: the innermost
// one keeps the reports. quiet: a failed parse is no fault (a search text
// that may be plain), so the reports reach the debug stream as notices, not
// warnings.
class AntlrErrorLog {
public:
    explicit AntlrErrorLog(bool quiet = false);
    ~AntlrErrorLog();
    AntlrErrorLog(const AntlrErrorLog&) = delete;
    AntlrErrorLog& operator=(const AntlrErrorLog&) = delete;

    const std::vector<AntlrError>& Errors() const { return errors_; }
    // "<source>(<line>) : <message>", one line per report.
    std::string Lines() const;

private:
    friend void AntlrReport(pANTLR3_STRING, ANTLR3_UINT32, const char*, bool) noexcept;

    std::vector<AntlrError> errors_;
    AntlrErrorLog* outer_;
    bool quiet_;
};
