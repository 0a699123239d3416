// The lines of a document's Outline, worked out from its table apart from
// the widget: one line per record that stands out, in row order. The pinned
// phrases' matches are kept between rebuilds, as matching every row again is
// what makes a rebuild slow; they are taken again when the phrases, the
// filter or the rows change.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <QColor>
#include <QString>

#include "kxviewer/preftabtable.h"

class KxSearchExpression;
class KxTable;
struct KxdRecord;

struct OutlineLine {
    int32_t row = 0;
    int32_t last = -1; // a range line's last row
    int32_t flags = 0; // OutlineFlag bits
    int32_t severity = 0;
    QString text;
    // The text is the row's TEXT, read when the line is shown (text stays
    // empty): a log of many warnings makes as many lines, few of them seen.
    bool textOfRow = false;
    QColor color; // invalid: no background
    int32_t highlightStart = 0;
    int32_t highlightEnd = 0;
    QColor highlightColor;
    int32_t moreStart = 0;
    int32_t moreEnd = 0;
    QColor moreColor;
};

class OutlineBuilder {
public:
    struct Phrase {
        KxSearchExpression* expression;
        QColor color;
        // A copy of expression that the build matches with, when the build
        // runs beside other users of expression (Match writes its match
        // slots); expression then only names the phrase.
        KxSearchExpression* own = nullptr;
    };
    // Whether a phrase matches the record of a row (its match slots then
    // hold what matched).
    using Matcher = std::function<bool(KxSearchExpression& expression, int32_t row, KxdRecord* record)>;
    // Where a build stands: done of BUILD_STEPS. Called from several
    // threads at once.
    using Progress = std::function<void(int32_t done, int32_t total)>;
    static constexpr int32_t BUILD_STEPS = 1000;

    // The lines for the six outline conditions (JUMP_* order) over the
    // visible rows; progress, when given, hears how far the build is.
    std::vector<OutlineLine> Build(KxTable& table, const uint8_t conditions[JUMP_Nums],
                                   const std::vector<Phrase>& phrases, const Matcher& match,
                                   const Progress& progress = nullptr);
    // The kept matches are taken again at the next build.
    void Forget();
    // How many times a phrase was matched over the rows.
    int32_t MatchRounds() const { return rounds_; }

private:
    struct Hit {
        int32_t row;
        QString text;
    };
    // The rows a phrase was matched over.
    struct Rows {
        const KxTable* table = nullptr;
        bool filtered = false;
        int32_t rows = -1;
        int32_t records = -1;
        bool operator==(const Rows& other) const;
    };
    // One phrase's matches, known by its expression and text.
    struct Kept {
        const KxSearchExpression* expression;
        std::string text;
        std::vector<Hit> hits;
    };

    // The kinds of line asked for.
    struct Kinds {
        bool ranges = false;
        bool bookmarks = false;
        bool highlight = false;
        bool warnings = false;
        bool errors = false;
        bool viewErrors = false;
    };
    // The rows that make a line, in order, with their records.
    struct Candidates {
        std::vector<int32_t> rows;
        std::vector<const KxdRecord*> records;
    };

    // The lines of found's rows begin..end, one at most a row, written from
    // lines on; how many.
    size_t MakeLines(const Kinds& kinds, const std::vector<Phrase>& phrases, const Candidates& found, size_t begin,
                     size_t end, OutlineLine* lines) const;
    // The kept matches that stand for each phrase, in the phrases' order;
    // null for a phrase new since the last build (or since the rows
    // changed, when none is kept).
    std::vector<Kept*> KeptFor(KxTable& table, const std::vector<Phrase>& phrases);
    // What a phrase's matches are known by besides its expression.
    static std::string KeyText(const Phrase& phrase);
    // The kept matches of each phrase, in the phrases' order; a phrase new
    // since the last build (known null) is matched over the rows, its
    // progress up to matchedStep.
    void Match(KxTable& table, const std::vector<Phrase>& phrases, const std::vector<Kept*>& known,
               const Matcher& match, const Progress& progress, int32_t matchedStep);
    // Selection ranges and bookmarks alone, without looking at the rows.
    static std::vector<OutlineLine> RangesAndBookmarks(KxTable& table, bool ranges, bool bookmarks);

    Rows rows_;
    std::vector<Kept> kept_;
    int32_t rounds_ = 0;
};
