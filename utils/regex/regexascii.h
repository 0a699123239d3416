#pragma once

// ASCII-only character rules of the regular-expression engine: bytes from 0x80 up have no case
// and belong to no class, whatever the process locale says.

inline unsigned char RegexToUpper(unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c; }
inline unsigned char RegexToLower(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }
inline bool RegexIsUpper(unsigned char c) { return c >= 'A' && c <= 'Z'; }
inline bool RegexIsLower(unsigned char c) { return c >= 'a' && c <= 'z'; }
inline bool RegexIsAlpha(unsigned char c) { return RegexIsUpper(c) || RegexIsLower(c); }
inline bool RegexIsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
inline bool RegexIsAlnum(unsigned char c) { return RegexIsAlpha(c) || RegexIsDigit(c); }
inline bool RegexIsAscii(unsigned char c) { return c < 0x80; }
inline bool RegexIsCntrl(unsigned char c) { return c < 32 || c == 127; }
inline bool RegexIsGraph(unsigned char c) { return c > 32 && c < 127; }
inline bool RegexIsPrint(unsigned char c) { return c >= 32 && c < 127; }
inline bool RegexIsPunct(unsigned char c) { return RegexIsGraph(c) && !RegexIsAlnum(c); }
inline bool RegexIsSpace(unsigned char c) { return c == ' ' || (c >= 9 && c <= 13); }
inline bool RegexIsBlank(unsigned char c) { return c == ' ' || c == '\t'; }
inline bool RegexIsXDigit(unsigned char c) { return RegexIsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
inline bool RegexIsWordChar(unsigned char c) { return RegexIsAlnum(c) || c == '_'; }

inline int RegexHexValue(unsigned char c)
{
    if (RegexIsDigit(c))
        return c - '0';
    return RegexToUpper(c) - 'A' + 10;
}

// Compares `length` bytes, through RegexToUpper on both sides when `ignoreCase` is set.
inline bool RegexEqualText(const char* a, const char* b, int length, bool ignoreCase)
{
    for (int i = 0; i < length; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x != y && (!ignoreCase || RegexToUpper(x) != RegexToUpper(y)))
            return false;
    }
    return true;
}
