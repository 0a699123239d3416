#pragma once

#include "utils/regex/cbuffer.h"
#include "utils/regex/elxinterface.h"
#include "utils/regex/regexmatchcontext.h"
#include "utils/regex/regexfastpath.h"
#include "utils/regex/regexmatchresult.h"
#include "utils/regex/regexprefilter.h"
#include "utils/regex/regextokenizer.h"

class CBackrefElxT;
class CBracketElxT;
class CByteClassElxT;
class CConditionElxT;
class CDelegateElxT;
class CListElxT;
class CPosixElxT;

enum RegexFlags {
    RegexFlagSingleLine = 1,
    RegexFlagMultiLine = 2,
    RegexFlagGlobal = 4,
    RegexFlagIgnoreCase = 8,
    RegexFlagRightToLeft = 16,
    RegexFlagExtended = 32,
};

// A compiled pattern. Every byte string compiles; what would be an error elsewhere compiles to
// something that matches by this dialect's rules. After construction the builder is only read,
// so one builder may be matched from several threads, each call with its own context.
class RegexBuilder {
public:
    // Group nesting deeper than this ends the pattern, as an unbalanced ')' does.
    static constexpr int kMaxNesting = 1000;
    // The highest number a numeric group name gives; the capture index and the result then
    // stay below a megabyte per match.
    static constexpr int kMaxGroupNumber = 65535;

    // A null pattern, or one whose compilation ran out of memory, leaves the builder without a
    // top element: every match then fails.
    explicit RegexBuilder(const char* pattern, int flags = 0);
    ~RegexBuilder();
    RegexBuilder(const RegexBuilder&) = delete;
    RegexBuilder& operator=(const RegexBuilder&) = delete;

    // Matches the whole text, from its first to its last byte. `context` may be null (the
    // calling thread's own context is then used); a context passed in keeps its buffers for the
    // next call. A match that takes more backtracking steps than the match limit fails, reports
    // "match limit exceeded" once to the SYS channel and leaves the context's
    // MatchLimitExceeded() true.
    RegexMatchResult& Match(RegexMatchResult& result, const char* text, int length,
                            RegexMatchContext* context = nullptr) const;

    // The same match with the prefilter left out: the matcher alone decides. Results equal
    // Match's; kept for checking the prefilter against the matcher.
    RegexMatchResult& MatchWithoutPrefilter(RegexMatchResult& result, const char* text, int length,
                                            RegexMatchContext* context = nullptr) const;
    // The element tree alone, without the prefilter and the fast path; results equal Match's.
    RegexMatchResult& MatchGeneral(RegexMatchResult& result, const char* text, int length,
                                   RegexMatchContext* context = nullptr) const;
    // The fast path alone: its answer, or GaveUp (with `result` empty) where only the element tree
    // can decide, the fast path being unusable for the pattern or unsure of the text.
    RegexFastPath::Outcome MatchFastPath(RegexMatchResult& result, const char* text, int length,
                                         RegexMatchContext& context) const;

    static constexpr long long kDefaultMatchLimit = RegexMatchContext::kDefaultMatchLimit;
    // Backtracking steps one match may take; values below 1 count as 1.
    void SetMatchLimit(long long steps)
    {
        m_matchLimit = steps < 1 ? 1 : steps;
        m_fastBudget = m_fastPath.Budget(m_matchLimit);
    }
    long long GetMatchLimit() const { return m_matchLimit; }

    bool IsCompiled() const { return m_top != nullptr; }
    // The first place where the compiler applied one of the lenient rules for an unclosed or
    // unbalanced bracket, or cut the nesting short: a short reason, and the byte offset from 0
    // of the bracket it concerns. Null when the pattern is well formed in those respects; a
    // caller that takes patterns from people may refuse such a pattern with this reason.
    const char* GetProblem() const { return m_problem; }
    int GetProblemOffset() const { return m_problemOffset; }
    // What every matching text must hold, as read from the pattern.
    const RegexPrefilter& GetPrefilter() const { return m_prefilter; }
    // Whether matches run the flattened form before the element tree.
    bool HasFastPath() const { return m_fastPath.IsUsable(); }
    int GetGroupCount() const { return m_groupCount; }

private:
    struct GroupEntry {
        const ElxInterface* element;
        int number;
        int nesting;
    };
    struct NamedGroup {
        CListElxT* group;
        CBracketElxT* open;
        CBracketElxT* close;
        int nesting;
        bool hasName;
    };
    static constexpr int kCacheSize = 17;

    void Compile(const char* pattern);
    void Clear();
    void Finish(const ElxInterface* top);
    enum MatchSteps { UsePrefilter = 1, UseFastPath = 2 };
    RegexMatchResult& MatchChecked(RegexMatchResult& result, const char* text, int length, RegexMatchContext* context,
                                   int steps) const;
    void MatchIn(RegexMatchContext& context, RegexMatchResult& result, const char* text, int length, int steps) const;
    bool Run(RegexMatchContext& context, const char* text, int length) const;
    void BuildResult(const RegexMatchContext& context, RegexMatchResult& result) const;

    template <class T, class... Args>
    T* New(Args&&... args);
    const ElxInterface* Cached(int code);
    const CByteClassElxT* ClassSet(int code);
    const ElxInterface* Empty() { return Cached(0); }

    const PatternToken& Current() const { return m_tokenizer.Current(); }
    void Consume() { m_tokenizer.Consume(); }
    void ConsumeClose();
    // Keeps the first problem only: later ones mostly follow from it.
    void NoteProblem(const char* reason, int offset);
    // The offset of the innermost open group's '('.
    int OpenGroupOffset() const;
    bool RightToLeft() const { return (m_mode & RegexFlagRightToLeft) != 0; }
    bool IgnoreCase() const { return (m_mode & RegexFlagIgnoreCase) != 0; }

    const ElxInterface* ParseAlternation();
    const ElxInterface* ParseSequence();
    const ElxInterface* ParseItem();
    const ElxInterface* ParseAtom();
    const ElxInterface* ParseQuantifier(const ElxInterface* atom);
    // False when the pattern ended before the closing '}'.
    bool ParseBounds(int& minimum, int& maximum);
    const ElxInterface* ParseRun();
    const ElxInterface* ParseClass();
    const ElxInterface* ParseBracket();
    const CPosixElxT* ParsePosix();
    const ElxInterface* ParseAnchor();
    const ElxInterface* ParseBackref();
    const ElxInterface* ParseGroup();
    const ElxInterface* ParseGroupBody();
    const ElxInterface* ParseGroupForm(bool& keepMode);
    const ElxInterface* ParseNamedGroup(char terminator);
    const ElxInterface* ParseCapturingGroup(int number, bool named, const CBufferT<char>* name);
    const ElxInterface* ParseAssert(bool rightToLeft, bool positive);
    const ElxInterface* ParseCondition();
    const ElxInterface* ParseDelegate();
    const ElxInterface* ParseModifiers(bool& keepMode);
    CBufferT<char> ParseName(char terminator);
    // Reads up to `maxDigits` digit tokens (saturating at INT_MAX); none gives 0.
    int ParseDigits(int maxDigits);
    void SkipWhitespaceTokens();

    int FindNamedGroup(const CBufferT<char>& name) const;
    const GroupEntry* FindGroup(int number) const;

    const ElxInterface* m_top = nullptr;
    int m_flags;
    long long m_matchLimit = kDefaultMatchLimit;
    // Set when a back reference or a condition can make matching depend on captures; repeats
    // then do without their memo of tried ends.
    bool m_readsCaptures = false;
    RegexPrefilter m_prefilter;
    RegexFastPath m_fastPath;
    // The fast path's share of m_matchLimit.
    long long m_fastBudget = 0;
    int m_groupCount = 0;
    CBufferT<ElxInterface*> m_elements;
    CBufferT<GroupEntry> m_groups;
    CBufferT<CDelegateElxT*> m_recursions;
    CBufferT<NamedGroup> m_namedGroups;
    CBufferT<CBackrefElxT*> m_namedBackrefs;
    CBufferT<CConditionElxT*> m_namedConditions;
    CBufferRefT<char> m_pattern;
    RegexTokenizer m_tokenizer;
    const ElxInterface* m_cache[kCacheSize] = {};
    // Modes in force at the parse position, and group nesting reached there.
    int m_mode = 0;
    int m_depth = 0;
    int m_deepest = 0;
    // Offsets of the '(' of the groups open at the parse position.
    CBufferT<int> m_openGroups;
    const char* m_problem = nullptr;
    int m_problemOffset = -1;
};
