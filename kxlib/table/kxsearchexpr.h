// A compiled search expression as the record engine sees it. The expression
// language lives in a higher library, which registers a factory with KxTable
// at start-up; the record engine only matches records through this interface.
#pragma once

#include <cstdint>
#include <string>

#include "kxlib/fields.h"

struct KxdRecord;

// One field's outcome of the latest match, for highlighting. The text is a
// scratch buffer: read it at once.
struct SearchMatchSlot {
    int32_t kind;
    const char* text;
    uint8_t set;
};

enum SearchSlotKind : int32_t {
    SEARCH_SLOT_VALUE = 6,     // a whole value that took part in a true comparison
    SEARCH_SLOT_SUBSTRING = 8, // the occurrence of the searched text in the field
};

// The operator of a field's predicate in an expression the find dialog can
// take apart; 0 when the field has none.
enum SearchPredicateOp : int32_t {
    SEARCH_OP_NONE = 0,
    SEARCH_OP_LESS = 2,
    SEARCH_OP_LESS_OR_EQUAL = 3,
    SEARCH_OP_GREATER = 4,
    SEARCH_OP_GREATER_OR_EQUAL = 5,
    SEARCH_OP_EQUAL = 6,
    SEARCH_OP_NOT_EQUAL = 7,
    SEARCH_OP_SUBSTRING = 8,
    SEARCH_OP_WILDCARD = 9,
};

// The shape of a parsed expression: a single predicate or a chain of one
// logical operator over predicates "FIELD op literal", each field at most
// once, no function. Any other form is SEARCH_FORM_OTHER.
enum SearchForm : int32_t {
    SEARCH_FORM_OTHER = 0,
    SEARCH_FORM_SINGLE = 1,
    SEARCH_FORM_AND = 2,
    SEARCH_FORM_OR = 3,
};

struct SearchPredicate {
    int32_t op = SEARCH_OP_NONE;
    // The literal without its quotes.
    std::string value;
};

// Modes of an expression; the table's own search mode uses the same codes,
// and callers ask for SEARCH_MODE_AUTO to let the text decide.
enum KxSearchMode : int32_t {
    SEARCH_MODE_NONE = -2,
    SEARCH_MODE_UNDECIDED = -1,
    SEARCH_MODE_SIMPLE = 0,
    SEARCH_MODE_COMPLEX = 1,
    SEARCH_MODE_AUTO = 3,
};

// Reference counted: every holder adds one reference; the last Release
// destroys the expression.
class KxSearchExpression {
public:
    // The text's field holds at most TEXT_SIZE - 1 characters and a NUL.
    static constexpr int TEXT_SIZE = 1100;

    KxSearchExpression() = default;
    KxSearchExpression(const KxSearchExpression&) = delete;
    KxSearchExpression& operator=(const KxSearchExpression&) = delete;

    void AddRef() { ++refCount_; }
    void Release()
    {
        if (--refCount_ == 0)
            delete this;
    }
    uint32_t RefCount() const { return refCount_; }

    // False for a blank text (mode then SEARCH_MODE_NONE).
    virtual bool Construct(const char* text, bool matchCase, bool simpleMode) = 0;
    // 0 when ready, 1 when the text could not be compiled (the expression
    // then searches its text as a plain substring).
    virtual int Parse() = 0;
    // Fills matchSlots; false whenever the mode is below SEARCH_MODE_SIMPLE.
    virtual bool Match(KxdRecord* record) = 0;
    // Match's answer for a simple expression (IsSimple) without touching
    // matchSlots, so that several threads may ask at once.
    virtual bool Holds(const KxdRecord& record) const = 0;

    bool IsSimple() const { return mode == SEARCH_MODE_SIMPLE; }

    // Starts a new round of matches (a scan over the rows): patterns that ran
    // out of their match limit in the last one are tried again, and a failed
    // evaluation or a pattern read leniently is told afresh.
    void StartRound()
    {
        matchLimitExceeded = false;
        limitPattern.clear();
        evalError.clear();
        patternProblemTold = false;
        ++limitRound;
    }

    // Read directly by the holders.
    char text[TEXT_SIZE] = {};
    uint8_t matchCase = 1;
    int32_t mode = SEARCH_MODE_NONE;
    SearchMatchSlot matchSlots[FIELD_Nums] = {};
    // Set when the text is parsed; the predicates only for forms 1 to 3.
    int32_t form = SEARCH_FORM_OTHER;
    SearchPredicate predicates[FIELD_Nums];
    // Why the last Construct or Parse failed, for the user, with the
    // position where the parser gave one; empty when neither did.
    std::string parseError;
    // Set by the holder before Parse when the text may as well be a plain
    // one (auto mode): a text that does not compile is then searched as it
    // is, and why it did not compile is no warning.
    bool tentative = false;
    // Set by Parse on such a text when it compiled only by the dialect's
    // lenient reading of a pattern (an unbalanced bracket): why an
    // expression asked for as one is refused, with the place; else empty.
    std::string patternProblem;
    // Set by a holder that told patternProblem in this round.
    bool patternProblemTold = false;
    // Set by Parse on an expression that compiled without what starts no
    // token (a ';', a lone '=', a no-break space), which the lexer skipped:
    // one line each with its place, for the holder to tell as a warning
    // once a command; else empty.
    std::string skipped;
    // Set by Match when a pattern ran out of its match limit in this round;
    // such a pattern matches nothing for the rest of the round, so that a
    // scan does not spend the whole budget on every record. The results of
    // the round are then incomplete.
    bool matchLimitExceeded = false;
    // The first such pattern's text.
    std::string limitPattern;
    // Set by Match when evaluating the expression failed on a record in this
    // round (that record was then searched for the text as a plain one): the
    // first failure's text, which is told once, not for every record.
    std::string evalError;
    uint32_t limitRound = 1;

protected:
    virtual ~KxSearchExpression() = default;

private:
    uint32_t refCount_ = 1;
};

// Makes a fresh expression with one reference, or null when out of memory.
using KxSearchExpressionFactory = KxSearchExpression* (*)();

// The table's reference to its expression, released with the table.
class KxSearchHolder {
public:
    KxSearchHolder() = default;
    ~KxSearchHolder() { Reset(nullptr); }
    KxSearchHolder(const KxSearchHolder&) = delete;
    KxSearchHolder& operator=(const KxSearchHolder&) = delete;

    // Takes over the caller's reference and drops the old one.
    void Reset(KxSearchExpression* expr)
    {
        if (expr_)
            expr_->Release();
        expr_ = expr;
    }
    KxSearchExpression* Get() const { return expr_; }

private:
    KxSearchExpression* expr_ = nullptr;
};
