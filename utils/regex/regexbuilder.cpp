#include "utils/regex/regexbuilder.h"

#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "utils/regex/elxassert.h"
#include "utils/regex/elxbasic.h"
#include "utils/regex/elxclass.h"
#include "utils/regex/elxgroup.h"
#include "utils/regex/elxrepeat.h"
#include "utils/regex/regexascii.h"
#include "utils/kx/kx.h"

namespace {

constexpr int kUnbounded = INT_MAX;
// A named reference or recursion whose name matches no group.
constexpr int kUnknownGroup = -3;
// Back references and repeat counts read at most this many digits; other numbers read all.
constexpr int kShortNumberDigits = 3;
constexpr int kAllDigits = INT_MAX;

// Codes of the shared predefined elements: 0 is the empty element, 1-8 the classes matching
// left to right, 9-16 the same classes matching right to left.
enum ClassCode {
    kEmptyCode = 0,
    kAnyCode = 1,
    kDotCode = 2,
    kWordCode = 3,
    kNonWordCode = 4,
    kSpaceCode = 5,
    kNonSpaceCode = 6,
    kDigitCode = 7,
    kNonDigitCode = 8,
    kRightToLeftCodes = 8,
};

int ClassEscapeCode(int ch)
{
    switch (ch) {
    case 'w':
        return kWordCode;
    case 'W':
        return kNonWordCode;
    case 's':
        return kSpaceCode;
    case 'S':
        return kNonSpaceCode;
    case 'd':
        return kDigitCode;
    case 'D':
        return kNonDigitCode;
    default:
        return 0;
    }
}

int ModeBit(int ch)
{
    switch (RegexToLower(static_cast<unsigned char>(ch))) {
    case 'i':
        return RegexFlagIgnoreCase;
    case 'm':
        return RegexFlagMultiLine;
    case 's':
        return RegexFlagSingleLine;
    case 'g':
        return RegexFlagGlobal;
    default:
        return 0;
    }
}

bool IsQuantifierToken(const PatternToken& token)
{
    return token.special && (token.ch == '*' || token.ch == '+' || token.ch == '?' || token.ch == '{');
}

bool IsDigitChar(char c) { return RegexIsDigit(static_cast<unsigned char>(c)); }

// value * 10 + digit, held at INT_MAX instead of overflowing.
int AppendDigit(int value, int ch)
{
    const int digit = ch - '0';
    return value > (INT_MAX - digit) / 10 ? INT_MAX : value * 10 + digit;
}

// Reads the digits at `i` on, counting only the first `counted` of them; `i` ends after all.
int ScanDigits(const CBufferT<char>& text, int& i, int counted)
{
    int value = 0;
    for (int digits = 0; i < text.GetSize() && IsDigitChar(text[i]); ++digits, ++i) {
        if (digits < counted)
            value = AppendDigit(value, text[i]);
    }
    return value;
}

// The value of a text made only of one to `maxDigits` digits, else -1.
int NumberOf(const CBufferT<char>& text, int maxDigits)
{
    int i = 0;
    const int value = ScanDigits(text, i, INT_MAX);
    return i > 0 && i == text.GetSize() && i <= maxDigits ? value : -1;
}

bool NamesEqual(const CBufferT<char>& a, const CBufferT<char>& b)
{
    return a.GetSize() == b.GetSize() && RegexEqualText(a.GetData(), b.GetData(), a.GetSize(), true);
}

// Reads "n", "n," or "n,m": each number after optional whitespace, only its first three digits
// counted. A text that does not begin with a number gives 0 and 0.
void ReadBounds(const CBufferT<char>& text, int& minimum, int& maximum)
{
    const int size = text.GetSize();
    int i = 0;
    auto skipSpace = [&] {
        while (i < size && RegexIsSpace(static_cast<unsigned char>(text[i])))
            ++i;
    };
    minimum = 0;
    maximum = 0;
    skipSpace();
    if (i >= size || !IsDigitChar(text[i]))
        return;
    minimum = ScanDigits(text, i, kShortNumberDigits);
    maximum = minimum;
    skipSpace();
    if (i < size && text[i] == ',') {
        ++i;
        skipSpace();
        if (i < size && IsDigitChar(text[i])) {
            const int second = ScanDigits(text, i, kShortNumberDigits);
            maximum = second > minimum ? second : minimum;
        } else {
            maximum = kUnbounded;
        }
    }
}

struct PosixName {
    const char* word;
    RegexPosixClass test;
};

const PosixName kPosixNames[] = {
    {"alnum:", RegexIsAlnum}, {"alpha:", RegexIsAlpha}, {"ascii:", RegexIsAscii}, {"cntrl:", RegexIsCntrl},
    {"digit:", RegexIsDigit}, {"graph:", RegexIsGraph}, {"lower:", RegexIsLower}, {"print:", RegexIsPrint},
    {"punct:", RegexIsPunct}, {"space:", RegexIsSpace}, {"upper:", RegexIsUpper}, {"xdigit:", RegexIsXDigit},
    {"blank:", RegexIsBlank},
};

}  // namespace

RegexBuilder::RegexBuilder(const char* pattern, int flags) : m_flags(flags)
{
    if (!pattern)
        return;
    try {
        Compile(pattern);
    } catch (const std::bad_alloc&) {
        Clear();
    }
}

RegexBuilder::~RegexBuilder() { Clear(); }

void RegexBuilder::Clear()
{
    for (int i = 0; i < m_elements.GetSize(); ++i)
        delete m_elements[i];
    m_elements.Truncate(0);
    m_groups.Truncate(0);
    m_recursions.Truncate(0);
    m_namedGroups.Truncate(0);
    m_namedBackrefs.Truncate(0);
    m_namedConditions.Truncate(0);
    for (const ElxInterface*& cached : m_cache)
        cached = nullptr;
    m_top = nullptr;
    m_fastPath.Build(nullptr, 0);
    m_groupCount = 0;
    m_readsCaptures = false;
}

void RegexBuilder::Compile(const char* pattern)
{
    const size_t length = std::strlen(pattern);
    if (length > static_cast<size_t>(INT_MAX))
        throw std::bad_alloc();
    m_pattern = CBufferRefT<char>(pattern, static_cast<int>(length));
    m_mode = m_flags;
    m_depth = 0;
    m_deepest = 0;
    m_tokenizer.Start(pattern, static_cast<int>(length), (m_flags & RegexFlagExtended) != 0);
    m_groups.Push(GroupEntry{nullptr, 0, 0});
    const ElxInterface* top = ParseAlternation();
    if (IsSpecialToken(Current(), ')'))
        NoteProblem("')' without an opening '('", Current().position);
    Finish(top);
    m_prefilter.Build(top);
    m_fastPath.Build(top, m_flags);
    m_fastBudget = m_fastPath.Budget(m_matchLimit);
    m_top = top;
    // The caller's pattern is not kept beyond compilation.
    m_pattern = CBufferRefT<char>();
}

template <class T, class... Args>
T* RegexBuilder::New(Args&&... args)
{
    // The slot is taken first so that a failed allocation leaks nothing.
    m_elements.Push(nullptr);
    T* element = new T(std::forward<Args>(args)...);
    m_elements.Top() = element;
    return element;
}

const ElxInterface* RegexBuilder::Cached(int code)
{
    if (m_cache[code])
        return m_cache[code];
    if (code == kEmptyCode) {
        m_cache[code] = New<CEmptyElxT>();
        return m_cache[code];
    }
    const bool rightToLeft = code > kRightToLeftCodes;
    const int base = rightToLeft ? code - kRightToLeftCodes : code;
    CRangeElxT* range = New<CRangeElxT>(rightToLeft, base == kWordCode || base == kSpaceCode || base == kDigitCode);
    switch (base) {
    case kDotCode:
        range->AddChar('\n');
        break;
    case kWordCode:
    case kNonWordCode:
        range->AddRange('A', 'Z');
        range->AddRange('a', 'z');
        range->AddRange('0', '9');
        range->AddChar('_');
        break;
    case kSpaceCode:
    case kNonSpaceCode:
        range->AddChar(' ');
        range->AddChar('\t');
        range->AddChar('\r');
        range->AddChar('\n');
        if (rightToLeft) {
            range->AddChar('\f');
            range->AddChar('\v');
        }
        break;
    case kDigitCode:
    case kNonDigitCode:
        range->AddRange('0', '9');
        break;
    default:
        break;
    }
    range->Seal();
    m_cache[code] = range;
    return range;
}

const CByteClassElxT* RegexBuilder::ClassSet(int code)
{
    // Every code but the empty one caches a class.
    return static_cast<const CByteClassElxT*>(Cached(RightToLeft() ? code + kRightToLeftCodes : code));
}

void RegexBuilder::ConsumeClose()
{
    if (IsSpecialToken(Current(), ')'))
        Consume();
    else if (IsEndToken(Current()))
        NoteProblem("'(' without a closing ')'", OpenGroupOffset());
}

int RegexBuilder::OpenGroupOffset() const
{
    const int open = m_openGroups.GetSize();
    return open > 0 ? m_openGroups[open - 1] : Current().position;
}

void RegexBuilder::NoteProblem(const char* reason, int offset)
{
    if (m_problem)
        return;
    m_problem = reason;
    m_problemOffset = offset;
}

const ElxInterface* RegexBuilder::ParseAlternation()
{
    const ElxInterface* first = ParseSequence();
    if (!IsSpecialToken(Current(), '|'))
        return first;
    CAlternativeElxT* alternative = New<CAlternativeElxT>();
    alternative->Add(first);
    while (IsSpecialToken(Current(), '|')) {
        Consume();
        alternative->Add(ParseSequence());
    }
    return alternative;
}

const ElxInterface* RegexBuilder::ParseSequence()
{
    const bool rightToLeft = RightToLeft();
    CBufferT<const ElxInterface*> items;
    while (!IsEndToken(Current()) && !IsSpecialToken(Current(), '|') && !IsSpecialToken(Current(), ')'))
        items.Push(ParseItem());
    if (items.GetSize() == 0)
        return Empty();
    if (items.GetSize() == 1)
        return items[0];
    CListElxT* list = New<CListElxT>(rightToLeft);
    for (int i = 0; i < items.GetSize(); ++i)
        list->Add(items[i]);
    return list;
}

const ElxInterface* RegexBuilder::ParseItem() { return ParseQuantifier(ParseAtom()); }

const ElxInterface* RegexBuilder::ParseAtom()
{
    const PatternToken& token = Current();
    if (!token.special)
        return ParseRun();
    switch (token.ch) {
    case '(':
        return ParseGroup();
    case '[':
    case '.':
    case 'd':
    case 'D':
    case 's':
    case 'S':
    case 'w':
    case 'W':
        return ParseClass();
    case '$':
    case '^':
    case 'A':
    case 'B':
    case 'b':
    case 'G':
    case 'Z':
    case 'z':
        return ParseAnchor();
    case '\\':
    case 'g':
    case 'k':
        return ParseBackref();
    default:
        // A quantifier or brace with nothing before it is a literal character.
        return ParseRun();
    }
}

const ElxInterface* RegexBuilder::ParseQuantifier(const ElxInterface* atom)
{
    const PatternToken& token = Current();
    if (!token.special)
        return atom;
    int minimum = 0;
    int maximum = 0;
    switch (token.ch) {
    case '*':
        maximum = kUnbounded;
        Consume();
        break;
    case '+':
        minimum = 1;
        maximum = kUnbounded;
        Consume();
        break;
    case '?':
        maximum = 1;
        Consume();
        break;
    case '{': {
        const int open = token.position;
        Consume();
        if (!ParseBounds(minimum, maximum))
            NoteProblem("'{' without a closing '}'", open);
        break;
    }
    default:
        return atom;
    }
    if (maximum == 0)
        return Empty();
    if (minimum == maximum) {
        if (IsSpecialToken(Current(), '?') || IsSpecialToken(Current(), '+'))
            Consume();
        return New<CRepeatElxT>(atom, minimum);
    }
    const int extra = maximum - minimum;
    if (IsSpecialToken(Current(), '?')) {
        Consume();
        return New<CReluctantElxT>(atom, minimum, extra);
    }
    if (IsSpecialToken(Current(), '+')) {
        Consume();
        return New<CPossessiveElxT>(atom, minimum, extra);
    }
    return New<CGreedyElxT>(atom, minimum, extra);
}

bool RegexBuilder::ParseBounds(int& minimum, int& maximum)
{
    CBufferT<char> text;
    while (!IsEndToken(Current()) && !IsSpecialToken(Current(), '}')) {
        text.Push(static_cast<char>(Current().ch));
        Consume();
    }
    const bool closed = IsSpecialToken(Current(), '}');
    if (closed)
        Consume();
    ReadBounds(text, minimum, maximum);
    return closed;
}

const ElxInterface* RegexBuilder::ParseRun()
{
    CStringElxT* run = New<CStringElxT>(RightToLeft(), IgnoreCase());
    run->Append(static_cast<char>(Current().ch));
    Consume();
    // A literal followed by a quantifier is left to be an atom of its own.
    while (!Current().special && !IsQuantifierToken(m_tokenizer.Next())) {
        run->Append(static_cast<char>(Current().ch));
        Consume();
    }
    return run;
}

const ElxInterface* RegexBuilder::ParseClass()
{
    const int ch = Current().ch;
    if (ch == '[')
        return ParseBracket();
    Consume();
    if (ch == '.')
        return ClassSet((m_mode & RegexFlagSingleLine) ? kAnyCode : kDotCode);
    return ClassSet(ClassEscapeCode(ch));
}

const ElxInterface* RegexBuilder::ParseBracket()
{
    const RegexTokenizer atBracket = m_tokenizer;
    Consume();
    if (IsSpecialToken(Current(), ':')) {
        if (const ElxInterface* posix = ParsePosix())
            return posix;
        // Not a POSIX name: read the same bytes again as an ordinary class.
        m_tokenizer = atBracket;
        Consume();
    }
    bool positive = true;
    if (IsSpecialToken(Current(), '^')) {
        positive = false;
        Consume();
    }
    CRangeElxT* range = New<CRangeElxT>(RightToLeft(), positive);
    for (;;) {
        const PatternToken token = Current();
        if (IsEndToken(token)) {
            NoteProblem("'[' without a closing ']'", atBracket.Current().position);
            break;
        }
        if (IsSpecialToken(token, ']')) {
            Consume();
            break;
        }
        if (token.special && ClassEscapeCode(token.ch)) {
            range->AddElement(ClassSet(ClassEscapeCode(token.ch)));
            Consume();
            continue;
        }
        if (IsSpecialToken(token, '[') && IsSpecialToken(m_tokenizer.Next(), ':')) {
            const RegexTokenizer atNested = m_tokenizer;
            Consume();
            if (const CPosixElxT* posix = ParsePosix()) {
                range->AddElement(posix);
                continue;
            }
            m_tokenizer = atNested;
        }
        const PatternToken& after = m_tokenizer.After();
        if (IsSpecialToken(m_tokenizer.Next(), '-') && !after.special) {
            range->AddRange(static_cast<char>(token.ch), static_cast<char>(after.ch));
            Consume();
            Consume();
            Consume();
            continue;
        }
        range->AddChar(static_cast<char>(token.ch));
        Consume();
    }
    if (IgnoreCase())
        range->FoldCase();
    range->Seal();
    return range;
}

const CPosixElxT* RegexBuilder::ParsePosix()
{
    CBufferT<char> text;
    while (!IsEndToken(Current()) && !IsSpecialToken(Current(), ']')) {
        text.Push(static_cast<char>(Current().ch));
        Consume();
    }
    if (IsSpecialToken(Current(), ']'))
        Consume();
    // The text starts with the ':'; a '^' after it negates.
    int i = 1;
    bool positive = true;
    if (i < text.GetSize() && text[i] == '^') {
        positive = false;
        ++i;
    }
    for (const PosixName& name : kPosixNames) {
        const int length = static_cast<int>(std::strlen(name.word));
        if (text.GetSize() - i >= length && std::memcmp(text.GetData() + i, name.word, static_cast<size_t>(length)) == 0)
            return New<CPosixElxT>(name.test, RightToLeft(), positive);
    }
    return nullptr;
}

const ElxInterface* RegexBuilder::ParseAnchor()
{
    const int ch = Current().ch;
    Consume();
    const bool multiLine = (m_mode & RegexFlagMultiLine) != 0;
    switch (ch) {
    case '^':
        return New<CBoundaryElxT>(multiLine ? CBoundaryElxT::LineStart : CBoundaryElxT::TextStart, true);
    case '$':
        return New<CBoundaryElxT>(multiLine ? CBoundaryElxT::LineEnd : CBoundaryElxT::TextEnd, true);
    case 'A':
        return New<CBoundaryElxT>(CBoundaryElxT::TextStart, true);
    case 'z':
        return New<CBoundaryElxT>(CBoundaryElxT::TextEnd, true);
    case 'Z':
        return New<CBoundaryElxT>(CBoundaryElxT::TextEndBeforeNewline, true);
    case 'b':
        return New<CBoundaryElxT>(CBoundaryElxT::WordBoundary, true);
    case 'B':
        return New<CBoundaryElxT>(CBoundaryElxT::WordBoundary, false);
    default:
        // \G is a start anchor only under the global mode.
        if (m_mode & RegexFlagGlobal)
            return New<CGlobalElxT>();
        return Empty();
    }
}

const ElxInterface* RegexBuilder::ParseBackref()
{
    Consume();
    const int ch = Current().ch;
    int number;
    CBufferT<char> name;
    if (!Current().special && (ch == '<' || ch == '\'')) {
        Consume();
        name = ParseName(ch == '<' ? '>' : '\'');
        number = NumberOf(name, kShortNumberDigits);
    } else {
        number = ParseDigits(kShortNumberDigits);
    }
    CBackrefElxT* backref = New<CBackrefElxT>(number, RightToLeft(), IgnoreCase());
    m_readsCaptures = true;
    if (number < 0) {
        backref->SetName(name);
        m_namedBackrefs.Push(backref);
    }
    return backref;
}

CBufferT<char> RegexBuilder::ParseName(char terminator)
{
    CBufferT<char> name;
    while (!IsEndToken(Current()) && Current().ch != static_cast<unsigned char>(terminator)) {
        name.Push(static_cast<char>(Current().ch));
        Consume();
    }
    if (!IsEndToken(Current()))
        Consume();
    return name;
}

int RegexBuilder::ParseDigits(int maxDigits)
{
    int value = 0;
    for (int digits = 0; digits < maxDigits; ++digits) {
        const PatternToken& token = Current();
        if (token.special || !RegexIsDigit(static_cast<unsigned char>(token.ch)))
            break;
        value = AppendDigit(value, token.ch);
        Consume();
    }
    return value;
}

void RegexBuilder::SkipWhitespaceTokens()
{
    while (!Current().special && RegexIsSpace(static_cast<unsigned char>(Current().ch)))
        Consume();
}

const ElxInterface* RegexBuilder::ParseGroup()
{
    m_openGroups.Push(Current().position);
    Consume();
    const ElxInterface* group = ParseGroupBody();
    m_openGroups.Pop();
    return group;
}

const ElxInterface* RegexBuilder::ParseGroupBody()
{
    if (m_depth >= kMaxNesting) {
        // Too deep: the pattern ends here, and the open groups close at its end.
        NoteProblem("groups nested too deeply", OpenGroupOffset());
        m_tokenizer.SkipToEnd();
        return Empty();
    }
    ++m_depth;
    if (m_depth > m_deepest)
        m_deepest = m_depth;
    const int mode = m_mode;
    bool keepMode = false;
    const ElxInterface* element = ParseGroupForm(keepMode);
    if (!keepMode)
        m_mode = mode;
    --m_depth;
    return element;
}

const ElxInterface* RegexBuilder::ParseGroupForm(bool& keepMode)
{
    if (!IsSpecialToken(Current(), '?'))
        return ParseCapturingGroup(++m_groupCount, false, nullptr);
    Consume();
    // The form is decided by byte value, whether the tokens are special or not.
    const int ch = Current().ch;
    const int next = m_tokenizer.Next().ch;
    switch (ch) {
    case ':': {
        Consume();
        const ElxInterface* inner = ParseAlternation();
        ConsumeClose();
        return inner;
    }
    case '=':
    case '!':
        Consume();
        return ParseAssert(false, ch == '=');
    case '<':
        Consume();
        if (next == '=' || next == '!') {
            Consume();
            return ParseAssert(true, next == '=');
        }
        return ParseNamedGroup('>');
    case '\'':
        Consume();
        return ParseNamedGroup('\'');
    case 'P':
        if (next != '<')
            break;
        Consume();
        Consume();
        return ParseNamedGroup('>');
    case '>': {
        Consume();
        const ElxInterface* inner = ParseAlternation();
        ConsumeClose();
        return New<CIndependentElxT>(inner);
    }
    case '(':
        Consume();
        return ParseCondition();
    case 'R':
        Consume();
        return ParseDelegate();
    default:
        break;
    }
    SkipWhitespaceTokens();
    if (!Current().special && RegexIsDigit(static_cast<unsigned char>(Current().ch)))
        return ParseDelegate();
    return ParseModifiers(keepMode);
}

const ElxInterface* RegexBuilder::ParseNamedGroup(char terminator)
{
    const CBufferT<char> name = ParseName(terminator);
    // A name that is a number numbers the group at once and is not kept. Larger numbers share
    // the highest one, so that a name cannot make every match allocate a huge capture table.
    int number = NumberOf(name, kAllDigits);
    if (number > kMaxGroupNumber)
        number = kMaxGroupNumber;
    return ParseCapturingGroup(number, true, number < 0 ? &name : nullptr);
}

const ElxInterface* RegexBuilder::ParseCapturingGroup(int number, bool named, const CBufferT<char>* name)
{
    const bool rightToLeft = RightToLeft();
    // The mark the matching direction reaches first opens the capture.
    CBracketElxT* open = New<CBracketElxT>(number, rightToLeft);
    CBracketElxT* close = New<CBracketElxT>(number, !rightToLeft);
    CListElxT* group = New<CListElxT>(rightToLeft);
    int slot;
    if (named) {
        if (name)
            open->SetName(*name);
        slot = m_namedGroups.GetSize();
        m_namedGroups.Push(NamedGroup{group, open, close, 0, name != nullptr});
    } else {
        slot = m_groups.GetSize();
        m_groups.Push(GroupEntry{group, number, 0});
    }
    const int outerDeepest = m_deepest;
    m_deepest = m_depth;
    const ElxInterface* inner = ParseAlternation();
    const int nesting = m_deepest - m_depth + 1;
    if (outerDeepest > m_deepest)
        m_deepest = outerDeepest;
    ConsumeClose();
    group->Add(open);
    group->Add(inner);
    group->Add(close);
    if (named)
        m_namedGroups[slot].nesting = nesting;
    else
        m_groups[slot].nesting = nesting;
    return group;
}

const ElxInterface* RegexBuilder::ParseAssert(bool rightToLeft, bool positive)
{
    if (rightToLeft)
        m_mode |= RegexFlagRightToLeft;
    else
        m_mode &= ~RegexFlagRightToLeft;
    const ElxInterface* inner = ParseAlternation();
    ConsumeClose();
    return New<CAssertElxT>(inner, positive);
}

const ElxInterface* RegexBuilder::ParseCondition()
{
    CConditionElxT* condition = New<CConditionElxT>();
    m_readsCaptures = true;
    if (IsSpecialToken(Current(), '?')) {
        condition->SetCondition(ParseGroupBody());
    } else {
        // The text up to ')' is a group number, a group name, or else a lookahead pattern.
        const int start = Current().position;
        const int mode = m_mode;
        m_mode &= ~RegexFlagRightToLeft;
        const ElxInterface* lookahead = ParseAlternation();
        m_mode = mode;
        const int end = Current().position;
        ConsumeClose();
        const CBufferT<char> text(m_pattern.GetData() + start, end - start);
        const int number = NumberOf(text, kAllDigits);
        if (number >= 0) {
            condition->SetGroup(number);
        } else {
            condition->SetName(text);
            condition->SetCondition(New<CAssertElxT>(lookahead, true));
            m_namedConditions.Push(condition);
        }
    }
    const ElxInterface* yes = ParseSequence();
    const ElxInterface* no = nullptr;
    if (IsSpecialToken(Current(), '|')) {
        Consume();
        no = ParseAlternation();
    }
    ConsumeClose();
    condition->SetBranches(yes, no);
    return condition;
}

const ElxInterface* RegexBuilder::ParseDelegate()
{
    SkipWhitespaceTokens();
    const int ch = Current().ch;
    CDelegateElxT* delegate;
    if (!Current().special && (ch == '<' || ch == '\'')) {
        Consume();
        const CBufferT<char> name = ParseName(ch == '<' ? '>' : '\'');
        delegate = New<CDelegateElxT>(kUnknownGroup);
        delegate->SetName(name);
    } else {
        delegate = New<CDelegateElxT>(ParseDigits(kAllDigits));
    }
    while (!IsEndToken(Current()) && !IsSpecialToken(Current(), ')'))
        Consume();
    ConsumeClose();
    m_recursions.Push(delegate);
    return delegate;
}

const ElxInterface* RegexBuilder::ParseModifiers(bool& keepMode)
{
    int mode = m_mode;
    bool clear = false;
    for (;;) {
        const PatternToken token = Current();
        if (IsEndToken(token) || IsSpecialToken(token, ')')) {
            // (?flags): the modes hold for the rest of the enclosing group.
            ConsumeClose();
            m_mode = mode;
            keepMode = true;
            return Empty();
        }
        Consume();
        if (token.ch == ':') {
            m_mode = mode;
            const ElxInterface* inner = ParseAlternation();
            ConsumeClose();
            return inner;
        }
        if (token.ch == '-')
            clear = true;
        else if (const int bit = ModeBit(token.ch))
            mode = clear ? (mode & ~bit) : (mode | bit);
    }
}

int RegexBuilder::FindNamedGroup(const CBufferT<char>& name) const
{
    for (int i = 0; i < m_namedGroups.GetSize(); ++i) {
        const NamedGroup& group = m_namedGroups[i];
        if (group.hasName && NamesEqual(group.open->GetName(), name))
            return group.open->GetNumber();
    }
    return -1;
}

const RegexBuilder::GroupEntry* RegexBuilder::FindGroup(int number) const
{
    for (int i = 0; i < m_groups.GetSize(); ++i) {
        if (m_groups[i].number == number)
            return &m_groups[i];
    }
    return nullptr;
}

void RegexBuilder::Finish(const ElxInterface* top)
{
    m_groups[0] = GroupEntry{top, 0, m_deepest + 1};
    // Named groups are numbered after the plain ones; equal names (ignoring case) share a number.
    for (int i = 0; i < m_namedGroups.GetSize(); ++i) {
        NamedGroup& group = m_namedGroups[i];
        int number = group.open->GetNumber();
        if (number < 0) {
            number = FindNamedGroup(group.open->GetName());
            if (number < 0)
                number = ++m_groupCount;
            group.open->SetNumber(number);
            group.close->SetNumber(number);
        }
        m_groups.Push(GroupEntry{group.group, number, group.nesting});
    }
    for (int i = 0; i < m_groups.GetSize(); ++i) {
        if (m_groups[i].number > m_groupCount)
            m_groupCount = m_groups[i].number;
    }
    for (int i = 0; i < m_recursions.GetSize(); ++i) {
        CDelegateElxT* delegate = m_recursions[i];
        if (delegate->GetNumber() == kUnknownGroup) {
            const int number = FindNamedGroup(delegate->GetName());
            delegate->SetNumber(number >= 0 ? number : kUnknownGroup);
        }
        const int number = delegate->GetNumber();
        if (number >= 0 && number <= m_groupCount) {
            if (const GroupEntry* entry = FindGroup(number))
                delegate->SetTarget(entry->element, entry->nesting);
        }
    }
    for (int i = 0; i < m_namedBackrefs.GetSize(); ++i) {
        const int number = FindNamedGroup(m_namedBackrefs[i]->GetName());
        m_namedBackrefs[i]->SetNumber(number >= 0 ? number : kUnknownGroup);
    }
    for (int i = 0; i < m_namedConditions.GetSize(); ++i) {
        const int number = FindNamedGroup(m_namedConditions[i]->GetName());
        if (number >= 0)
            m_namedConditions[i]->SetGroup(number);
    }
}

namespace {

// The context of the calling thread, for callers that pass none: its buffers are kept from one
// match to the next unless a match made them large.
class ThreadContext {
public:
    RegexMatchContext& Get()
    {
        if (!m_context)
            m_context.reset(new RegexMatchContext);
        return *m_context;
    }
    void Trim()
    {
        constexpr int kKeptCapacity = 1 << 16;
        if (m_context && (m_context->m_stack.GetCapacity() > kKeptCapacity ||
                          m_context->m_captures.GetCapacity() > kKeptCapacity || m_context->m_visits.IsLarge()))
            m_context.reset();
    }

private:
    std::unique_ptr<RegexMatchContext> m_context;
};

thread_local ThreadContext t_context;

}  // namespace

RegexMatchResult& RegexBuilder::Match(RegexMatchResult& result, const char* text, int length,
                                      RegexMatchContext* context) const
{
    return MatchChecked(result, text, length, context, UsePrefilter | UseFastPath);
}

RegexMatchResult& RegexBuilder::MatchWithoutPrefilter(RegexMatchResult& result, const char* text, int length,
                                                      RegexMatchContext* context) const
{
    return MatchChecked(result, text, length, context, UseFastPath);
}

RegexMatchResult& RegexBuilder::MatchGeneral(RegexMatchResult& result, const char* text, int length,
                                             RegexMatchContext* context) const
{
    return MatchChecked(result, text, length, context, 0);
}

RegexFastPath::Outcome RegexBuilder::MatchFastPath(RegexMatchResult& result, const char* text, int length,
                                                   RegexMatchContext& context) const
{
    result.Truncate(0);
    if (!m_top || length < 0 || (!text && length > 0) || !m_fastPath.IsUsable())
        return RegexFastPath::Outcome::GaveUp;
    context.Reset(text ? text : "", length, m_matchLimit);
    const RegexFastPath::Outcome outcome = m_fastPath.Match(context, result, m_groupCount, m_fastBudget);
    if (outcome == RegexFastPath::Outcome::GaveUp)
        result.Truncate(0);
    return outcome;
}

RegexMatchResult& RegexBuilder::MatchChecked(RegexMatchResult& result, const char* text, int length,
                                             RegexMatchContext* context, int steps) const
{
    result.Truncate(0);
    if (!m_top || length < 0 || (!text && length > 0))
        return result;
    if (context) {
        MatchIn(*context, result, text ? text : "", length, steps);
        return result;
    }
    try {
        MatchIn(t_context.Get(), result, text ? text : "", length, steps);
    } catch (const std::bad_alloc&) {
        result.Truncate(0);
    }
    t_context.Trim();
    return result;
}

void RegexBuilder::MatchIn(RegexMatchContext& context, RegexMatchResult& result, const char* text, int length,
                           int steps) const
{
    context.m_limitExceeded = false;
    const bool fastPath = (steps & UseFastPath) != 0 && m_fastPath.IsUsable();
    // A pattern with a fixed start turns most texts away sooner than a search for its literals;
    // the tree still runs only on texts the prefilter lets through.
    bool filtered = (steps & UsePrefilter) == 0;
    if (!filtered && !(fastPath && m_fastPath.HasFixedStart())) {
        if (!m_prefilter.MayMatch(text, length))
            return;
        filtered = true;
    }
    try {
        if (fastPath) {
            context.Reset(text, length, m_matchLimit);
            if (m_fastPath.Match(context, result, m_groupCount, m_fastBudget) != RegexFastPath::Outcome::GaveUp)
                return;
        }
        if (!filtered && !m_prefilter.MayMatch(text, length))
            return;
        if (Run(context, text, length))
            BuildResult(context, result);
    } catch (const std::bad_alloc&) {
        result.Truncate(0);
    } catch (const RegexMatchLimitExceeded&) {
        result.Truncate(0);
        context.m_limitExceeded = true;
        KX_WARNING(ZmLib::KxSys, "match limit exceeded");
    }
}

bool RegexBuilder::Run(RegexMatchContext& context, const char* text, int length) const
{
    context.Reset(text, length, m_matchLimit);
    context.m_pruneEnds = !m_readsCaptures;
    const bool rightToLeft = (m_flags & RegexFlagRightToLeft) != 0;
    const int start = rightToLeft ? length : 0;
    const int target = rightToLeft ? 0 : length;
    context.m_position = start;
    context.m_startPosition = start;
    context.m_captureIndex.Grow(m_groupCount + 1, -1);
    context.m_captureIndex[0] = 0;
    context.PushCapture(0, start, -1, -1);
    if (!m_top->Match(context))
        return false;
    // Only a way of matching that ends at the far end of the text counts. Every way is tried:
    // the step budget ends a search that would not, so two empty ends in a row no longer stop
    // it (that missed (?:||)|.+ on "a").
    for (;;) {
        if (context.m_position == target) {
            context.m_captures[context.FindCapture(0) + 2] = target;
            return true;
        }
        if (!m_top->MatchNext(context))
            return false;
    }
}

void RegexBuilder::BuildResult(const RegexMatchContext& context, RegexMatchResult& result) const
{
    result.Truncate(0);
    result.Push(1);
    result.Push(m_groupCount);
    for (int group = 0; group <= m_groupCount; ++group) {
        const int entry = context.FindCapture(group);
        if (entry < 0 || context.m_captures[entry + 2] == -1) {
            result.Push(-1);
            result.Push(-1);
            continue;
        }
        const int a = context.m_captures[entry + 1];
        const int b = context.m_captures[entry + 2];
        result.Push(a < b ? a : b);
        result.Push(a < b ? b : a);
    }
}
