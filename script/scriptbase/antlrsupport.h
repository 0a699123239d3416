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

// Reports "<source>(<line>) : <message>" as a warning on the "ANTLR" channel;
// a null source name reads "-unknown source-". Never throws.
void AntlrReport(pANTLR3_STRING streamName, ANTLR3_UINT32 line, const char* message) noexcept;

// The column from 0 at which a token made by a lexer over an 8-bit input
// starts, counted in the input's text.
ANTLR3_INT32 AntlrColumn(pANTLR3_COMMON_TOKEN token);

// The error count of a recognizer (the runtime keeps the lexer's and the
// parser's apart); 0 for null.
ANTLR3_UINT32 AntlrErrorCount(pANTLR3_BASE_RECOGNIZER recognizer);

// One report as AntlrReport made it.
struct AntlrError {
    std::string source;
    ANTLR3_UINT32 line = 0;
    std::string message;
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
    friend void AntlrReport(pANTLR3_STRING, ANTLR3_UINT32, const char*) noexcept;

    std::vector<AntlrError> errors_;
    AntlrErrorLog* outer_;
    bool quiet_;
};
