#include "utils/regex/regextokenizer.h"

#include "utils/regex/regexascii.h"

void RegexTokenizer::Start(const char* pattern, int length, bool extended)
{
    m_pattern = pattern;
    m_length = length;
    m_extended = extended;
    m_readPosition = 0;
    m_depth = 0;
    m_quote = false;
    m_conversion = None;
    for (PatternToken& token : m_window)
        token = PatternToken{0, 0, 0, 0};
    // Fill current, next and after; previous starts as a neutral literal.
    for (int i = 0; i < 3; ++i)
        Consume();
}

void RegexTokenizer::Consume()
{
    m_window[0] = m_window[1];
    m_window[1] = m_window[2];
    m_window[2] = m_window[3];
    m_window[3] = Read();
}

void RegexTokenizer::SkipToEnd()
{
    m_readPosition = m_length;
    m_quote = false;
    for (int i = 1; i < 4; ++i)
        m_window[i] = EndToken();
}

PatternToken RegexTokenizer::Read()
{
    for (;;) {
        const int position = m_readPosition;
        if (position >= m_length)
            return EndToken();
        const unsigned char c = At(position);
        if (m_quote) {
            if (c == '\\' && position + 1 < m_length && At(position + 1) == 'E') {
                m_quote = false;
                m_conversion = None;
                m_readPosition += 2;
                continue;
            }
            ++m_readPosition;
            unsigned char converted = c;
            if (m_conversion == Lower)
                converted = RegexToLower(c);
            else if (m_conversion == Upper)
                converted = RegexToUpper(c);
            return PatternToken{converted, 0, position, 1};
        }
        if (m_extended && RegexIsSpace(c)) {
            ++m_readPosition;
            continue;
        }
        if (m_extended && c == '#') {
            while (m_readPosition < m_length && At(m_readPosition) != '\r' && At(m_readPosition) != '\n')
                ++m_readPosition;
            continue;
        }
        // The two tokens read just before this one.
        const PatternToken& before = m_window[2];
        const PatternToken& beforeThat = m_window[1];
        const bool inClass = m_depth > 0;
        PatternToken token{c, 0, position, 1};
        switch (c) {
        case '$':
        case ')':
        case '*':
        case '+':
        case '.':
        case '?':
        case '{':
        case '}':
        case '|':
            token.special = !inClass;
            break;
        case '(':
            if (position + 2 < m_length && At(position + 1) == '?' && At(position + 2) == '#') {
                m_readPosition = position + 3;
                while (m_readPosition < m_length && At(m_readPosition) != ')')
                    ++m_readPosition;
                if (m_readPosition < m_length)
                    ++m_readPosition;
                continue;
            }
            token.special = 1;
            break;
        case '-':
            token.special = inClass;
            break;
        case ':':
            token.special = IsSpecialToken(before, '[');
            break;
        case '[':
            if (!inClass || (position + 1 < m_length && At(position + 1) == ':')) {
                token.special = 1;
                ++m_depth;
            }
            break;
        case ']':
            if (inClass) {
                token.special = 1;
                --m_depth;
            }
            break;
        case '^':
            token.special = !inClass || IsSpecialToken(before, '[') ||
                            (IsSpecialToken(before, ':') && IsSpecialToken(beforeThat, '['));
            break;
        case '\\':
            if (!ReadEscape(token))
                continue;
            return token;
        default:
            break;
        }
        m_readPosition = position + 1;
        return token;
    }
}

bool RegexTokenizer::ReadEscape(PatternToken& token)
{
    const int position = m_readPosition;
    if (position + 1 >= m_length) {
        m_readPosition = position + 1;
        token = PatternToken{'\\', 0, position, 1};
        return true;
    }
    const unsigned char e = At(position + 1);
    if (RegexIsDigit(e)) {
        // A back reference: its digits follow as literal tokens.
        m_readPosition = position + 1;
        token = PatternToken{'\\', 1, position, 1};
        return true;
    }
    m_readPosition = position + 2;
    token = PatternToken{e, 0, position, 2};
    const bool inClass = m_depth > 0;
    switch (e) {
    case 'A':
    case 'B':
    case 'D':
    case 'S':
    case 'W':
    case 'Z':
    case 'd':
    case 'g':
    case 'k':
    case 's':
    case 'w':
    case 'z':
        token.special = 1;
        return true;
    case 'b':
        if (inClass)
            token.ch = 8;
        else
            token.special = 1;
        return true;
    case 'G':
        token.special = 1;
        return !inClass;
    case 'a':
        token.ch = 7;
        return true;
    case 'e':
        token.ch = 27;
        return true;
    case 'f':
        token.ch = 12;
        return true;
    case 'n':
        token.ch = 10;
        return true;
    case 'r':
        token.ch = 13;
        return true;
    case 't':
        token.ch = 9;
        return true;
    case 'v':
        token.ch = 11;
        return true;
    case 'x':
        token = ReadHex(position, 2, 'x');
        return true;
    case 'u':
        token = ReadHex(position, 4, 'u');
        return true;
    case 'Q':
        m_quote = true;
        return false;
    case 'L':
        m_quote = true;
        m_conversion = Lower;
        return false;
    case 'U':
        m_quote = true;
        m_conversion = Upper;
        return false;
    case 'E':
        m_conversion = None;
        return false;
    default:
        return true;
    }
}

PatternToken RegexTokenizer::ReadHex(int start, int maxDigits, char letter)
{
    int p = start + 2;
    unsigned value = 0;
    if (p < m_length && At(p) == '{') {
        ++p;
        for (int digits = 0; digits < 8 && p < m_length && RegexIsXDigit(At(p)); ++digits, ++p)
            value = value * 16 + static_cast<unsigned>(RegexHexValue(At(p)));
        while (p < m_length && At(p) != '}')
            ++p;
        if (p < m_length)
            ++p;
    } else {
        int digits = 0;
        for (; digits < maxDigits && p < m_length && RegexIsXDigit(At(p)); ++digits, ++p)
            value = value * 16 + static_cast<unsigned>(RegexHexValue(At(p)));
        if (digits == 0) {
            m_readPosition = start + 2;
            return PatternToken{static_cast<unsigned char>(letter), 0, start, 2};
        }
    }
    m_readPosition = p;
    return PatternToken{static_cast<int>(value & 0xFF), 0, start, p - start};
}
