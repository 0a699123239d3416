#include "kxviewer/table/outlinebuilder.h"

#include <algorithm>
#include <atomic>

#include "kxlib/fields.h"
#include "kxlib/table/kxsearchexpr.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/table/outlineroles.h"
#include "utils/common/parallelruns.h"

namespace {
constexpr int HIGHLIGHT_TEXT_MAX = 40;
constexpr int MORE_TEXT_MAX = 20;
// How many lines ahead a record's head is asked for: no line reads the
// record's strings.
constexpr size_t HEAD_AHEAD = 16;
// Lines a thread makes at a time.
constexpr size_t LINES_PER_RUN = 2048;
// A build's steps, where each ends: matching the new phrases, then marking
// the rows that may make a line, making the lines and gathering them, after
// the time each takes on a million records. Matching a phrase takes about
// four times as long as the other steps together; without a new phrase the
// first step is over at once.
struct Steps {
    int32_t matched;
    int32_t marked;
    int32_t made;
};

Steps StepsFor(int32_t newPhrases)
{
    constexpr int32_t ALL = OutlineBuilder::BUILD_STEPS;
    const int32_t matched = newPhrases == 0 ? ALL / 5 : ALL * 4 * newPhrases / (4 * newPhrases + 1);
    const int32_t rest = ALL - matched;
    return {matched, matched + rest / 8, matched + rest * 6 / 8};
}
// Rows matched between two reports.
constexpr int32_t MATCH_REPORT_ROWS = 4096;
const QString MoreText = QStringLiteral(" more...");

QColor RangeColor(const SelRange* range)
{
    return QColor(QRgb(range->tag & 0xFFFFFF));
}

OutlineLine Line(int32_t row, int32_t flags, const QString& text, const QColor& color = QColor())
{
    OutlineLine line;
    line.row = row;
    line.flags = flags;
    line.text = text;
    line.color = color;
    return line;
}

OutlineLine RangeLine(const SelRange* range, const QString& text)
{
    OutlineLine line = Line(range->first, OUTLINE_SELECTION_RANGE, text, RangeColor(range));
    line.last = range->first + range->count - 1;
    return line;
}

// The first field text the expression's last match set.
QString MatchText(const KxSearchExpression& expression)
{
    for (const SearchMatchSlot& slot : expression.matchSlots)
        if (slot.set)
            return QString::fromLocal8Bit(slot.text ? slot.text : "").left(HIGHLIGHT_TEXT_MAX);
    return QString();
}
} // namespace

bool OutlineBuilder::Rows::operator==(const Rows& other) const
{
    return table == other.table && filtered == other.filtered && rows == other.rows && records == other.records;
}

void OutlineBuilder::Forget()
{
    kept_.clear();
}

std::vector<OutlineBuilder::Kept*> OutlineBuilder::KeptFor(KxTable& table, const std::vector<Phrase>& phrases)
{
    Rows rows;
    rows.table = &table;
    rows.filtered = table.FilterOn;
    rows.rows = table.RowCount();
    rows.records = table.RecordCount();
    if (!(rows == rows_))
        kept_.clear();
    rows_ = rows;
    std::vector<Kept*> known;
    for (const Phrase& phrase : phrases) {
        const std::string text = KeyText(phrase);
        auto found = std::find_if(kept_.begin(), kept_.end(), [&](const Kept& each) {
            return each.expression == phrase.expression && each.text == text;
        });
        known.push_back(found != kept_.end() ? &*found : nullptr);
    }
    return known;
}

std::string OutlineBuilder::KeyText(const Phrase& phrase)
{
    const KxSearchExpression& expression = phrase.own != nullptr ? *phrase.own : *phrase.expression;
    return std::string(expression.text) + char('0' + expression.matchCase);
}

void OutlineBuilder::Match(KxTable& table, const std::vector<Phrase>& phrases, const std::vector<Kept*>& known,
                           const Matcher& match, const Progress& progress, int32_t matchedStep)
{
    const int64_t rows = rows_.rows;
    const int64_t newPhrases = std::count(known.begin(), known.end(), nullptr);
    int64_t matched = 0;
    std::vector<Kept> kept;
    for (size_t i = 0; i < phrases.size(); ++i) {
        if (known[i] != nullptr) {
            kept.push_back(std::move(*known[i]));
            continue;
        }
        const Phrase& phrase = phrases[i];
        KxSearchExpression& expression = phrase.own != nullptr ? *phrase.own : *phrase.expression;
        ++rounds_;
        expression.StartRound();
        Kept fresh{phrase.expression, KeyText(phrase), {}};
        for (int32_t row = 0; row < rows; ++row) {
            if (match(expression, row, table.GetRecord(row)))
                fresh.hits.push_back(Hit{row, MatchText(expression)});
            if (progress && row % MATCH_REPORT_ROWS == 0)
                progress(int32_t((matched * rows + row) * matchedStep / (newPhrases * rows)), BUILD_STEPS);
        }
        ++matched;
        kept.push_back(std::move(fresh));
    }
    kept_ = std::move(kept);
}

std::vector<OutlineLine> OutlineBuilder::RangesAndBookmarks(KxTable& table, bool ranges, bool bookmarks)
{
    std::vector<OutlineLine> lines;
    const KxBkmarkEntry* bookmark = bookmarks ? table.Bookmarks().First() : nullptr;
    const QString bookmarkText = QStringLiteral("Bookmark");
    for (const SelRange* range = ranges ? table.FirstRange() : nullptr; range; range = range->NextEntry()) {
        for (; bookmark && bookmark->index < range->first; bookmark = bookmark->NextEntry())
            lines.push_back(Line(bookmark->index, OUTLINE_BOOKMARK, bookmarkText));
        lines.push_back(RangeLine(range, QStringLiteral("Range amount: %1").arg(range->count)));
        const int32_t last = lines.back().last;
        if (bookmark && bookmark->index == range->first) {
            lines.back().flags |= OUTLINE_BOOKMARK;
            bookmark = bookmark->NextEntry();
        }
        for (; bookmark && bookmark->index <= last; bookmark = bookmark->NextEntry())
            lines.push_back(
                Line(bookmark->index, OUTLINE_BOOKMARK | OUTLINE_SELECTION_RANGE, bookmarkText, RangeColor(range)));
    }
    for (; bookmark; bookmark = bookmark->NextEntry())
        lines.push_back(Line(bookmark->index, OUTLINE_BOOKMARK, bookmarkText));
    return lines;
}

std::vector<OutlineLine> OutlineBuilder::Build(KxTable& table, const uint8_t conditions[JUMP_Nums],
                                               const std::vector<Phrase>& phrases, const Matcher& match,
                                               const Progress& progress)
{
    Kinds kinds;
    kinds.ranges = conditions[JUMP_SELECTIONS] != 0;
    kinds.bookmarks = conditions[JUMP_BOOKMARKS] != 0;
    kinds.highlight = conditions[JUMP_HIGHLIGHT] != 0 && !phrases.empty();
    kinds.warnings = conditions[JUMP_DATA_WARNINGS] != 0;
    kinds.errors = conditions[JUMP_DATA_ERRORS] != 0;
    kinds.viewErrors = conditions[JUMP_VIEW_ERRORS] != 0;
    if (!conditions[JUMP_HIGHLIGHT] && !kinds.warnings && !kinds.errors && !kinds.viewErrors)
        return RangesAndBookmarks(table, kinds.ranges, kinds.bookmarks);

    const std::vector<Kept*> known = kinds.highlight ? KeptFor(table, phrases) : std::vector<Kept*>();
    const Steps steps = StepsFor(int32_t(std::count(known.begin(), known.end(), nullptr)));
    if (kinds.highlight)
        Match(table, phrases, known, match, progress, steps.matched);
    if (progress)
        progress(steps.matched, BUILD_STEPS);

    const int32_t rows = table.RowCount();
    // Most rows make no line: those that may are found on several threads.
    std::vector<uint8_t> candidates;
    table.MarkRowsWhere(
        [kinds](const KxdRecord& record) {
            const int32_t level = record.prot.msg.LEVEL;
            return (kinds.ranges && record.selRange) || (kinds.bookmarks && record.bookmark) ||
                   (kinds.warnings && level == 0) || (kinds.errors && level < 0) ||
                   (kinds.viewErrors && record.errorKind != KXERR_NoErrors);
        },
        false, candidates);
    for (const Kept& kept : kept_)
        for (const Hit& hit : kept.hits)
            if (hit.row >= 0 && hit.row < rows)
                candidates[size_t(hit.row)] = 1;
    Candidates found;
    for (int32_t row = 0; row < rows; ++row)
        if (candidates[size_t(row)])
            found.rows.push_back(row);
    found.records.resize(found.rows.size());
    for (size_t i = 0; i < found.rows.size(); ++i)
        found.records[i] = table.GetRecord(found.rows[i]);
    if (progress)
        progress(steps.marked, BUILD_STEPS);

    // The records that make lines lie far apart, and waiting for them is
    // most of the time here: runs of them are made into lines on several
    // threads, each line by the thread of its record's run. A row makes one
    // line at most, so each run writes at its rows' places; the places left
    // over are closed up after.
    const size_t runs = (found.rows.size() + LINES_PER_RUN - 1) / LINES_PER_RUN;
    std::vector<OutlineLine> lines(found.rows.size());
    std::vector<size_t> made(runs);
    std::atomic<size_t> finished{0};
    ZmLib::RunInParallel(runs, 0, [&](size_t run) {
        const size_t begin = run * LINES_PER_RUN;
        made[run] = MakeLines(kinds, phrases, found, begin, std::min(found.rows.size(), begin + LINES_PER_RUN),
                              lines.data() + begin);
        if (progress)
            progress(steps.marked + int32_t(++finished * size_t(steps.made - steps.marked) / runs), BUILD_STEPS);
    });
    size_t kept = 0;
    for (size_t run = 0; run < runs; ++run) {
        const auto from = lines.begin() + std::ptrdiff_t(run * LINES_PER_RUN);
        if (kept != run * LINES_PER_RUN)
            std::move(from, from + std::ptrdiff_t(made[run]), lines.begin() + std::ptrdiff_t(kept));
        kept += made[run];
        if (progress)
            progress(steps.made + int32_t((run + 1) * size_t(BUILD_STEPS - steps.made) / runs), BUILD_STEPS);
    }
    lines.erase(lines.begin() + std::ptrdiff_t(kept), lines.end());
    return lines;
}

size_t OutlineBuilder::MakeLines(const Kinds& kinds, const std::vector<Phrase>& phrases, const Candidates& found,
                                 size_t begin, size_t end, OutlineLine* lines) const
{
    size_t count = 0;
    // Each phrase's first hit at or after the run's first row.
    std::vector<size_t> next(kept_.size(), 0);
    if (begin < end)
        for (size_t i = 0; i < kept_.size(); ++i)
            next[i] = size_t(std::lower_bound(kept_[i].hits.begin(), kept_[i].hits.end(), found.rows[begin],
                                              [](const Hit& hit, int32_t row) { return hit.row < row; }) -
                             kept_[i].hits.begin());
    for (size_t at = begin; at < end; ++at) {
        if (at + HEAD_AHEAD < end)
            found.records[at + HEAD_AHEAD]->PrefetchHead();
        const int32_t row = found.rows[at];
        const KxdRecord* record = found.records[at];
        const SelRange* range = kinds.ranges ? record->selRange : nullptr;
        const bool rangeHead = range && range->first == row;
        bool made = false;
        if (rangeHead) {
            lines[count++] = RangeLine(range, QStringLiteral("%1 rows").arg(range->count));
            made = true;
        }
        // The record's line, made by the first kind that applies.
        auto add = [&](int32_t flag, const QString& text, bool replaceText, bool ofRow = false) -> OutlineLine& {
            if (!made) {
                lines[count++] =
                    Line(row, range ? OUTLINE_SELECTION_RANGE : 0, text, range ? RangeColor(range) : QColor());
                lines[count - 1].textOfRow = ofRow;
                made = true;
            } else if (replaceText && !rangeHead) {
                lines[count - 1].text = text;
                lines[count - 1].textOfRow = ofRow;
            }
            lines[count - 1].flags |= flag;
            return lines[count - 1];
        };
        if (kinds.bookmarks && record->bookmark)
            add(OUTLINE_BOOKMARK, QStringLiteral("Bookmark"), false);
        const int32_t level = record->prot.msg.LEVEL;
        if ((kinds.warnings && level == 0) || (kinds.errors && level < 0)) {
            OutlineLine& line = add(level == 0 ? OUTLINE_DATA_WARNING : OUTLINE_DATA_ERROR, QString(), true, true);
            line.severity = level == 0 ? OUTLINE_SEVERITY_WARNING : OUTLINE_SEVERITY_ERROR;
        }
        if (kinds.viewErrors && record->errorKind != KXERR_NoErrors) {
            const QString text = QStringLiteral("View error \"%1\"")
                                     .arg(QString::fromLatin1(KxdErrorKindName(int32_t(record->errorKind))));
            add(OUTLINE_VIEW_ERROR, text, true).severity = OUTLINE_SEVERITY_ERROR;
        }
        for (size_t i = 0; i < kept_.size() && kinds.highlight; ++i) {
            const std::vector<Hit>& hits = kept_[i].hits;
            while (next[i] < hits.size() && hits[next[i]].row < row)
                ++next[i];
            if (next[i] >= hits.size() || hits[next[i]].row != row)
                continue;
            const QString& matched = hits[next[i]].text;
            if (!made || !(lines[count - 1].flags & OUTLINE_HIGHLIGHT)) {
                OutlineLine& line = add(OUTLINE_HIGHLIGHT, matched, true);
                // A range's head keeps its count and shows the match after it.
                const int32_t prefix = rangeHead ? int32_t(line.text.size()) + 1 : 0;
                if (rangeHead)
                    line.text += QLatin1Char(' ') + matched;
                line.highlightStart = prefix;
                line.highlightEnd = prefix + int32_t(matched.size());
                line.highlightColor = phrases[i].color;
                continue;
            }
            OutlineLine& line = lines[count - 1];
            line.text = line.text.left(MORE_TEXT_MAX);
            line.highlightStart = std::min(line.highlightStart, int32_t(line.text.size()));
            line.highlightEnd = std::min(line.highlightEnd, int32_t(line.text.size()));
            line.moreStart = int32_t(line.text.size());
            line.text += MoreText;
            line.moreEnd = int32_t(line.text.size());
            line.moreColor = phrases[i].color;
            line.flags |= OUTLINE_SECOND_HIGHLIGHT;
        }
    }
    return count;
}
