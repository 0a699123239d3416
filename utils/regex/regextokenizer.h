#pragma once

// One token of a pattern: a byte value, whether it is a metacharacter, and where it came from.
struct PatternToken {
    int ch;
    int special;
    int position;
    int length;
};

inline bool IsSpecialToken(const PatternToken& token, int ch) { return token.special && token.ch == ch; }
inline bool IsEndToken(const PatternToken& token) { return token.special && token.ch == 0; }

// Splits a pattern into tokens, keeping a window of four: previous, current, next and the one
// after. Whether a byte is special depends on the class depth and the tokens before it, so the
// window is read strictly in order. A tokenizer is a plain value: copying it saves its state.
class RegexTokenizer {
public:
    void Start(const char* pattern, int length, bool extended);

    const PatternToken& Previous() const { return m_window[0]; }
    const PatternToken& Current() const { return m_window[1]; }
    const PatternToken& Next() const { return m_window[2]; }
    const PatternToken& After() const { return m_window[3]; }

    void Consume();
    // Makes the rest of the pattern unreadable, as if it ended at the current token.
    void SkipToEnd();

private:
    // Reads one token, passing over comments, mode escapes and extended-mode whitespace.
    PatternToken Read();
    // Reads the escape at the read position into `token`; false when the escape only changes
    // the tokenizer's mode.
    bool ReadEscape(PatternToken& token);
    // Reads `\xHH`, `\uHHHH` or their braced forms after the letter at `start`.
    PatternToken ReadHex(int start, int maxDigits, char letter);
    PatternToken EndToken() const { return PatternToken{0, 1, m_length, 0}; }
    unsigned char At(int position) const { return static_cast<unsigned char>(m_pattern[position]); }

    enum Conversion { None, Lower, Upper };

    const char* m_pattern = nullptr;
    int m_length = 0;
    bool m_extended = false;
    PatternToken m_window[4] = {};
    int m_readPosition = 0;
    int m_depth = 0;
    bool m_quote = false;
    Conversion m_conversion = None;
};
