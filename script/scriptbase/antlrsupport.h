// Glue between the ANTLR 3 C runtime and the debug stream, shared by the
// script and search-expression front ends.
#pragma once

#include <antlr3.h>

#include "utils/kx/kx.h"

// "ANTLR": the recognizers' syntax and lexical error reports.
extern ZmLib::KX KxAntlrChannel;

// Replaces the runtime's error display of a lexer's or a parser's recognizer
// (which prints to standard error) by one that reports each error as a
// warning on the "ANTLR" channel, with the source name and line. The error
// counting of the runtime is unchanged. The display never throws.
void AntlrRouteErrors(pANTLR3_BASE_RECOGNIZER recognizer);

// Reports "<source>(<line>) : <message>" as a warning on the "ANTLR" channel;
// a null source name reads "-unknown source-". Never throws.
void AntlrReport(pANTLR3_STRING streamName, ANTLR3_UINT32 line, const char* message) noexcept;

// The error count of a recognizer (the runtime keeps the lexer's and the
// parser's apart); 0 for null.
ANTLR3_UINT32 AntlrErrorCount(pANTLR3_BASE_RECOGNIZER recognizer);
