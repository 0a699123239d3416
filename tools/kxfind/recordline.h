// A record as one line of text: its 25 field texts separated by tabs, with
// tabs and line ends inside a text shown as \t, \n and \r so that the line
// stays one line. The form kxfind dumps, and the search benchmark hands to
// grep.
#pragma once

#include <string>

#include "kxlib/kxdrecord.h"

// A text as one tab-separated column.
inline void AppendEscaped(std::string& line, const char* text)
{
    for (const char* p = text ? text : ""; *p; ++p) {
        switch (*p) {
        case '\t': line += "\\t"; break;
        case '\n': line += "\\n"; break;
        case '\r': line += "\\r"; break;
        default: line += *p; break;
        }
    }
}

inline void AppendFieldTexts(std::string& line, const KxdRecord& record)
{
    for (int field = 0; field < FIELD_Nums; ++field) {
        if (field > 0)
            line += '\t';
        AppendEscaped(line, record.Text(field));
    }
}
