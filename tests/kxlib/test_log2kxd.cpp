// The text-log reader: templates tried in order, each with its own field
// map; level words, times, addresses and numbers; lines that match nothing;
// the eight-template limit; long lines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kxlib/reader/log2kxdmulti.h"
#include "kxlib/reader/textchunks.h"
#include "table_fixtures.h"
#include "utils/common/convert.h"
#include "utils/osal/process.h"

namespace {

using ZmLib::KxdProt;

struct Template {
    std::string expression;
    std::vector<int32_t> fields;
    bool error = false;
};

// Reads every line of text through the templates.
struct LogRun {
    // now: the moment syslog dates are read against; 0 for the clock.
    LogRun(const TempDir& dir, const std::string& text, const std::vector<Template>& templates, int workers = 1,
           int64_t now = 0)
        : reader(dir.Write("log.txt", text).c_str())
    {
        for (const Template& t : templates)
            added.push_back(reader.AddTemplate(t.expression.c_str(), t.fields.data(), int32_t(t.fields.size()),
                                               t.error));
        reader.SetWorkers(workers);
        if (now != 0)
            reader.SetNow(now);
        EXPECT_EQ(reader.Open(), 0);
        for (int guard = 0; guard < 1000; ++guard) {
            KxdProt record;
            reader.SetRecord(&record);
            try {
                lengths.push_back(reader.ReadRecord());
            } catch (int32_t code) {
                EXPECT_EQ(code, 1);
                break;
            }
            records.push_back(record);
        }
    }

    std::string Str(size_t k, int32_t field) const { return records.at(k).String(FieldTable[field].desc.strSlot); }
    int64_t Num(size_t k, int32_t field) const { return records.at(k).GetIntValue(field); }

    Log2KxdMulti reader;
    std::vector<bool> added;
    std::vector<int32_t> lengths;
    std::vector<KxdProt> records;
};

// The built-in "SysLog" template: TIME, HOST, LEVEL, KXNAME, TEXT.
const Template SysLog{"(\\w{3}[\\d\\W]+)\\s(\\(?\\w+\\)?)\\s[\\w\\.]+?(\\w+)\\s([^:]+):?\\s(.*)\\r?\\n?",
                      {FIELD_TIME, FIELD_HOST, FIELD_LEVEL, FIELD_KXNAME, FIELD_TEXT}};

// A template of one TEXT group.
const Template WholeText{"(.*)\\r?\\n?", {FIELD_TEXT}};

// A time as a text without a zone reads: the wall clock's fields as UTC.
int64_t Wall(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return ZmLib::Date2Us({y, mo, d}) + ((h * 60 + mi) * 60 + s) * ZmLib::US_PER_SECOND;
}

// The fields of one record joined by '|': numbers in decimal.
std::string Row(const LogRun& run, size_t k, const std::vector<int32_t>& fields)
{
    std::string out;
    for (size_t i = 0; i < fields.size(); ++i)
        out += (i ? "|" : "") + (FieldTable[fields[i]].desc.strSlot < 0 ? std::to_string(run.Num(k, fields[i]))
                                                                       : run.Str(k, fields[i]));
    return out;
}

} // namespace

TEST(Log2KxdMulti, FieldsOfEachLine)
{
    const std::string syslogTime = std::to_string(ZmLib::Str2Time("Dec  7 11:12:16"));
    const std::string isoTime = std::to_string(ZmLib::Str2Time("2019-06-30T15:53:31"));
    ASSERT_NE(syslogTime, "0");
    ASSERT_NE(isoTime, "0");
    const struct {
        const char* what;
        std::vector<Template> templates;
        std::string text;
        std::vector<int32_t> shown;
        std::vector<std::string> rows;
        const char* report; // a report part expected exactly once
    } cases[] = {
        {"Debian syslog line",
         {SysLog},
         "Dec  7 11:12:16 buildhost kern.warning kernel: [ 12.3] usb 1-1: new device\n",
         {FIELD_TIME, FIELD_HOST, FIELD_LEVEL, FIELD_KXNAME, FIELD_TEXT},
         {syslogTime + "|buildhost|0|kernel|[ 12.3] usb 1-1: new device"},
         nullptr},
        // A CR LF file: the greedy last group ends before the carriage return.
        {"CR LF syslog line",
         {SysLog},
         "Dec  7 11:12:16 buildhost kern.warning kernel: usb 1-1: new device\r\n",
         {FIELD_HOST, FIELD_KXNAME, FIELD_TEXT},
         {"buildhost|kernel|usb 1-1: new device"},
         nullptr},
        // A line is matched with its LF, a CR LF line as the LF line it
        // stands for: a "\\s" before the end takes the LF, and no field
        // keeps the carriage return.
        {"syslog line whose name runs to the line end",
         {SysLog},
         "Jan  1 00:16:35 h1 Xdebug message repeated 3 times\n",
         {FIELD_HOST, FIELD_LEVEL, FIELD_KXNAME, FIELD_TEXT},
         {"h1|3|message repeated 3 times|"},
         nullptr},
        {"CR LF syslog line whose name runs to the line end",
         {SysLog},
         "Jan  1 00:16:35 h1 Xdebug message repeated 3 times\r\n",
         {FIELD_HOST, FIELD_LEVEL, FIELD_KXNAME, FIELD_TEXT},
         {"h1|3|message repeated 3 times|"},
         nullptr},
        {"template ending in a space class",
         {{"(\\w+)\\s(.*)\\s\\r?\\n?", {FIELD_KXNAME, FIELD_TEXT}}},
         "alpha one two\nbeta three\n",
         {FIELD_KXNAME, FIELD_TEXT},
         {"alpha|one two", "beta|three"},
         nullptr},
        {"CR LF lines through a template ending in a space class",
         {{"(\\w+)\\s(.*)\\s\\r?\\n?", {FIELD_KXNAME, FIELD_TEXT}}},
         "alpha one two\r\nbeta three\r\n",
         {FIELD_KXNAME, FIELD_TEXT},
         {"alpha|one two", "beta|three"},
         nullptr},
        // Sub-templates whose fields come in another order fill their own
        // columns; a line nothing fits keeps its text without the line end.
        {"family with own field orders",
         {{"(\\d+) (\\w+) (.*)\\r?\\n?", {FIELD_SEQ, FIELD_HOST, FIELD_TEXT}},
          {"B (\\w+) (\\d+) (.*)\\r?\\n?", {FIELD_HOST, FIELD_SEQ, FIELD_TEXT}},
          {"C (.*) @(\\w+)\\r?\\n?", {FIELD_TEXT, FIELD_KXNAME}}},
         "12 alpha first\nB beta 34 second\nC third one @gamma\nnothing fits\r\nC no name\n\r\n",
         {FIELD_SEQ, FIELD_HOST, FIELD_TEXT, FIELD_KXNAME, FIELD_LEVEL},
         {"12|alpha|first||2", "34|beta|second||2", "0||third one|gamma|2", "0||nothing fits||2",
          "0||C no name||2", "0||||2"},
         nullptr},
        {"numbers, addresses and times",
         {{"(\\S*) (\\S*) (\\S*) (\\S*)\\r?\\n?", {FIELD_TIME, FIELD_IP, FIELD_NUM1, FIELD_PID}}},
         "123 10.1.2.3 0x1F 017\n-45 300.1.1.1 junk 9\n2019-06-30T15:53:31 1.2.3.4 -7 0\n",
         {FIELD_TIME, FIELD_IP, FIELD_NUM1, FIELD_PID},
         {"123|" + std::to_string(0x0302010A) + "|31|15", "-45|0|0|9",
          isoTime + "|" + std::to_string(0x04030201) + "|-7|0"},
         nullptr},
        // Neighbouring lines that share a date, and dates that differ only
        // in their last character or their length.
        {"repeated and changing dates",
         {{"([^|]*)\\|(.*)\\r?\\n?", {FIELD_TIME, FIELD_TEXT}}},
         "Dec  7 11:12:16|a\nDec  7 11:12:16|b\nDec  7 11:12:17|c\nDec  7 11:12:1|d\nDec  7 11:12:16|e\n"
         "2019-06-30T15:53:31|f\n12|g\n",
         {FIELD_TIME, FIELD_TEXT},
         {syslogTime + "|a", syslogTime + "|b", std::to_string(ZmLib::Str2Time("Dec  7 11:12:17")) + "|c",
          std::to_string(ZmLib::Str2Time("Dec  7 11:12:1")) + "|d", syslogTime + "|e", isoTime + "|f", "12|g"},
         nullptr},
        // A time text read only in part is no time; trailing blanks do not
        // count.
        {"times read in part are no times",
         {{"\\[([^\\]]*)\\] (.*)\\r?\\n?", {FIELD_TIME, FIELD_TEXT}}},
         "[07/Dec/2024:08:00:00 +0100] a\n[2019-06-30T15:53:31  ] b\n[Dec  7 11:12:16 x] c\n[12345678 ] d\n"
         "[2019-06-30T15:53:31+01:00] e\n[12ab] f\n[-12 ] g\n",
         {FIELD_TIME, FIELD_TEXT},
         {"0|a", isoTime + "|b", "0|c", "12345678|d", isoTime + "|e", "0|f", "-12|g"},
         nullptr},
        {"error template and a group that did not take part",
         {{"E (\\w+) (.*)\\r?\\n?", {FIELD_LEVEL, FIELD_TEXT}, true}, {"(x)?(y+)\\r?\\n?", {FIELD_HOST, FIELD_TEXT}}},
         "E info fine\nyy\n",
         {FIELD_LEVEL, FIELD_HOST, FIELD_TEXT},
         {"-1||fine", "2||yy"},
         nullptr},
        // A template whose groups do not match its field map is passed over
        // (and reported once); the next template takes the line.
        {"group count mismatch is not used",
         {{"((a)|b)(.*)\\r?\\n?", {FIELD_HOST, FIELD_TEXT}}, {"(.)(.*)\\r?\\n?", {FIELD_KXNAME, FIELD_TEXT}}},
         "abc\nbcd\n",
         {FIELD_HOST, FIELD_KXNAME, FIELD_TEXT},
         {"|a|bc", "|b|cd"},
         "has 3 groups for 2 fields"},
        // A line whose match runs out of the matcher's step budget is a line
        // that template does not match.
        {"exhausted match is no match",
         {{"(.*)(.*)(.*)(.*)(.*)\\d\\r?\\n?", {FIELD_HOST, FIELD_NODE, FIELD_PNAME, FIELD_TNAME, FIELD_KXNAME}},
          {"(.*)\\r?\\n?", {FIELD_TEXT}}},
         std::string(60, 'a') + "!\nab1\n",
         {FIELD_HOST, FIELD_TEXT},
         {"|" + std::string(60, 'a') + "!", "ab|"},
         "match limit exceeded"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        Reports reports;
        LogRun run(dir, c.text, c.templates);
        ASSERT_EQ(run.records.size(), c.rows.size());
        for (size_t k = 0; k < c.rows.size(); ++k) {
            EXPECT_EQ(Row(run, k, c.shown), c.rows[k]) << k;
            EXPECT_NE(run.records[k].STIME, 0u);
        }
        if (c.rows.size() == 1) {
            EXPECT_EQ(run.lengths[0], int32_t(c.text.size()));
        }
        if (c.report) {
            int seen = 0;
            for (const auto& r : Reports::All())
                seen += r.text.find(c.report) != std::string::npos;
            EXPECT_EQ(seen, 1);
        }
    }
}

TEST(Log2KxdMulti, NinthTemplateIsIgnored)
{
    TempDir dir;
    std::vector<Template> templates;
    std::string text;
    for (int k = 0; k < 9; ++k) {
        templates.push_back({"T" + std::to_string(k) + " (.*)\\r?\\n?", {FIELD_TEXT}});
        text += "T" + std::to_string(k) + " line " + std::to_string(k) + "\n";
    }
    LogRun run(dir, text, templates);
    EXPECT_EQ(run.reader.TemplateCount(), 8);
    EXPECT_FALSE(run.added[8]);
    ASSERT_EQ(run.records.size(), 9u);
    for (size_t k = 0; k < 8; ++k)
        EXPECT_EQ(run.Str(k, FIELD_TEXT), "line " + std::to_string(k));
    EXPECT_EQ(run.Str(8, FIELD_TEXT), "T8 line 8");
}

TEST(Log2KxdMulti, LevelWordsAndNumbers)
{
    const struct {
        const char* text;
        int64_t level;
    } cases[] = {
        {"Error", -1}, {"error", -1}, {"emergency", -1}, {"INFO", 2},   {"Warning", 0}, {"alert", -3},
        {"critical", -2}, {"notice", 1}, {"debug", 3},   {"DEBUG", 2},  {"5", 5},       {"_x", 2},
        {"no", 2},     {"-2", -2},    {"0x3", 3},       {"", 0},
    };
    std::string text;
    for (const auto& c : cases)
        text += std::string("L:") + c.text + "\n";
    TempDir dir;
    LogRun run(dir, text, {{"L:(.*)\\r?\\n?", {FIELD_LEVEL}}});
    ASSERT_EQ(run.records.size(), std::size(cases));
    for (size_t k = 0; k < std::size(cases); ++k)
        EXPECT_EQ(run.Num(k, FIELD_LEVEL), cases[k].level) << cases[k].text;
    // Words shorter than the level name.
    EXPECT_EQ(Log2KxdMulti::LevelFromWord("al", 2), 2);
    EXPECT_EQ(Log2KxdMulti::LevelFromWord("ale", 3), -3);
    EXPECT_EQ(Log2KxdMulti::LevelFromWord("deb", 2), 2);
}

// Texts that do not all fit the string area are cut, never dropped; a line
// longer than 1099 bytes comes in pieces.
TEST(Log2KxdMulti, LongTextsAreCut)
{
    TempDir dir;
    const std::string host(300, 'h');
    LogRun run(dir, host + " " + std::string(2700, 't') + "\n", {{"(h+) ?(.*)\\r?\\n?", {FIELD_HOST, FIELD_TEXT}}});
    ASSERT_EQ(run.records.size(), 3u);
    EXPECT_EQ(run.lengths, (std::vector<int32_t>{1099, 1099, 804}));
    EXPECT_EQ(run.Str(0, FIELD_HOST), host);
    const std::string text = run.Str(0, FIELD_TEXT);
    EXPECT_GT(text.size(), 50u);
    EXPECT_EQ(text, std::string(text.size(), 't'));
    EXPECT_LE(run.records[0].msg.opt_len, ZmLib::KxProt::LEN_STRFIELDS);
    // The later pieces match no template: their text is kept, cut to fit.
    for (size_t k = 1; k < 3; ++k) {
        const std::string piece = run.Str(k, FIELD_TEXT);
        EXPECT_EQ(piece, std::string(ZmLib::KxProt::LEN_STRFIELDS - 3, 't')) << k;
        EXPECT_EQ(run.Num(k, FIELD_LEVEL), 2);
    }
    // One line, whose two last rows no template took.
    EXPECT_EQ(run.reader.Unmatched(), 1u);
    EXPECT_EQ(run.reader.Matched(), 1u);
}

// A line longer than a row is cut between two UTF-8 characters; the reader
// counts such lines, lines with a text cut to fit the record and lines with a
// time it could not read, each once a line, with the first in file order,
// whatever the number of workers.
TEST(Log2KxdMulti, FindingsNameTheirFirstLine)
{
    std::string characters;
    for (int k = 0; k < 400; ++k)
        characters += "\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD"; // é€中
    const Template timed{"(\\[[^\\]]*\\]|\\S+) (.*)\\r?\\n?", {FIELD_TIME, FIELD_TEXT}};
    const Template text{"(.*)\\r?\\n?", {FIELD_TEXT}};
    const Template timedInner{"\\[([^\\]]*)\\] (.*)\\r?\\n?", {FIELD_TIME, FIELD_TEXT}};
    const std::string first(106, 'p');
    std::string pieces = first + "\n";
    std::vector<int32_t> piecesLengths{int32_t(first.size() + 1)};
    for (int k = 0; k < 300; ++k) {
        pieces += std::string(1099, 'a') + "\r\n";
        piecesLengths.push_back(1101);
    }
    ASSERT_EQ((TextChunks::READ_SIZE - first.size() - 1) % 1101, 1100u);
    const struct {
        const char* what;
        Template only;
        std::string text;
        std::vector<int32_t> lengths;
        std::vector<uint32_t> longLines, cutLines, badTimeLines; // count, first line; {} for none
        std::string badTime;
        uint32_t lines;
    } cases[] = {
        {"UTF-8 characters over three rows", text, "short\n" + characters + "\n", {6, 1098, 1099, 1004},
         {1, 2}, {1, 2}, {}, "", 2},
        {"a row cut on a character's edge", text, characters.substr(0, 1099) + characters.substr(3, 2) + "\n",
         {1098, 4}, {1, 1}, {1, 1}, {}, "", 1},
        {"two-byte character over the limit", text, std::string(1098, 'a') + "\xC3\xA9\n", {1098, 3}, {1, 1},
         {1, 1}, {}, "", 1},
        // The limit does not count the line end, LF or CR LF.
        {"line of exactly a row and its end", text, std::string(1099, 'a') + "\n" + std::string(1099, 'b'),
         {1100, 1099}, {}, {2, 1}, {}, "", 2},
        {"CR LF lines of a row and one less", text,
         std::string(1099, 'a') + "\r\n" + std::string(1098, 'b') + "\r\n", {1101, 1100}, {}, {2, 1}, {}, "", 2},
        {"a character over a row", text, std::string(1100, 'a') + "\n", {1099, 2}, {1, 1}, {1, 1}, {}, "", 1},
        {"a character over a row, CR LF", text, std::string(1100, 'a') + "\r\n", {1099, 3}, {1, 1}, {1, 1}, {},
         "", 1},
        // The first piece read ahead ends between a CR and its LF.
        {"CR LF rows of exactly a row over pieces", text, pieces, piecesLengths, {}, {300, 2}, {}, "", 301},
        {"a time read in part", timedInner, "[2019-06-30T15:53:31] ok\n[07/Dec/2024:08:00:00 +0100] a\n", {25, 31},
         {}, {}, {1, 2}, "07/Dec/2024:08:00:00 +0100", 2},
        {"unread times, CR LF", timed,
         "12 ok\r\n[07/Dec/2024:08:00:00 +0100] a\r\nabc b\r\n2019-06-30T15:53:31 c\r\n[x] d\r\n", {7, 32, 7, 23, 7},
         {}, {}, {3, 2}, "[07/Dec/2024:08:00:00 +0100]", 5},
        {"texts that do not fit", timed, "1 " + std::string(500, 't') + "\n2 short\n3 " + std::string(383, 'u') + "\n",
         {503, 8, 386}, {}, {2, 1}, {}, "", 3},
    };
    const auto counted = [](const Text2Kxd::Finding& found) {
        return found.count == 0 ? std::vector<uint32_t>{} : std::vector<uint32_t>{found.count, found.line};
    };
    for (const auto& c : cases) {
        for (int workers : {1, 8}) {
            SCOPED_TRACE(std::string(c.what) + ", workers " + std::to_string(workers));
            TempDir dir;
            LogRun run(dir, c.text, {c.only}, workers);
            EXPECT_EQ(run.lengths, c.lengths);
            EXPECT_EQ(counted(run.reader.LongLines()), c.longLines);
            EXPECT_EQ(counted(run.reader.CutLines()), c.cutLines);
            EXPECT_EQ(counted(run.reader.BadTimeLines()), c.badTimeLines);
            EXPECT_EQ(run.reader.Lines(), c.lines);
            EXPECT_EQ(run.reader.CutLines().note.cutField, c.cutLines.empty() ? -1 : int32_t(FIELD_TEXT));
            const Text2Kxd::Finding& bad = run.reader.BadTimeLines();
            EXPECT_EQ(run.reader.RowText(bad).substr(bad.note.badTimeStart, bad.note.badTimeLength), c.badTime);
            for (size_t k = 0; k < run.records.size(); ++k) {
                const std::string shown = run.Str(k, FIELD_TEXT);
                // Whole characters only: the row and its text start and end
                // on a character's edge.
                ASSERT_TRUE(shown.empty() || (static_cast<unsigned char>(shown[0]) & 0xC0) != 0x80) << k;
                const unsigned char last = static_cast<unsigned char>(shown.empty() ? 'a' : shown.back());
                ASSERT_TRUE(last < 0x80 || (last & 0xC0) == 0x80) << k;
            }
        }
    }
}

// The file's last line, when no line end follows it, is read as if one did:
// a template that takes the line end with "\\s" or a class matches it as it
// matches the lines before, and no field gets the LF that is not there. Only
// the line end's CR goes: a CR before it, or at the end of the file, is the
// text's, in a matched row as in one that no template took.
TEST(Log2KxdMulti, LastLineWithoutItsLineEnd)
{
    const std::string repeated = "Jan  1 00:16:35 h1 Xdebug message repeated 3 times";
    const Template nameAndWord{"(\\w+) (\\S+)\\s\\r?\\n?", {FIELD_KXNAME, FIELD_TEXT}};
    const Template anyBytes{"(\\w+) ([\\s\\S]*)\\r?\\n?", {FIELD_KXNAME, FIELD_TEXT}};
    const Template digits{"(\\d+)\\r?\\n?", {FIELD_TEXT}};
    const struct {
        const char* what;
        Template only;
        std::string text;
        std::vector<std::string> rows; // KXNAME|TEXT
        uint32_t unmatched;
    } cases[] = {
        {"syslog name running to the line end", SysLog, repeated + "\n" + repeated,
         {"message repeated 3 times|", "message repeated 3 times|"}, 0},
        {"last piece taking the line end", nameAndWord, "a b\nc d", {"a|b", "c|d"}, 0},
        {"last piece taking the line end, CR LF", nameAndWord, "a b\r\nc d", {"a|b", "c|d"}, 0},
        {"a class that takes the line end", anyBytes, "a b\nc d", {"a|b\n", "c|d"}, 0},
        {"a CR before the line end's", WholeText, "one\r\r\ntwo\r\nfour\r", {"|one\r", "|two", "|four\r"}, 0},
        {"unmatched rows keep their CRs", digits, "one\r\r\n12\r\nthree\nfour\r",
         {"|one\r", "|12", "|three", "|four\r"}, 3},
        {"a long last line", WholeText, std::string(1100, 'x'),
         {"|" + std::string(ZmLib::KxProt::LEN_STRFIELDS - 3, 'x'), "|x"}, 0},
    };
    for (const auto& c : cases) {
        for (int workers : {1, 8}) {
            SCOPED_TRACE(std::string(c.what) + ", workers " + std::to_string(workers));
            TempDir dir;
            LogRun run(dir, c.text, {c.only}, workers);
            ASSERT_EQ(run.records.size(), c.rows.size());
            int32_t bytes = 0;
            for (size_t k = 0; k < c.rows.size(); ++k) {
                EXPECT_EQ(Row(run, k, {FIELD_KXNAME, FIELD_TEXT}), c.rows[k]) << k;
                bytes += run.lengths[k];
            }
            // The rows are the file's bytes, nothing added.
            EXPECT_EQ(bytes, int32_t(c.text.size()));
            EXPECT_EQ(run.reader.Unmatched(), c.unmatched);
        }
    }
}

// A TIME group that takes the line end gets a text one byte longer than the
// longest line, or two with CR LF: the reader's copy of it has room.
TEST(Log2KxdMulti, TimeTextWithTheLineEndOfTheLongestLine)
{
    const std::string line(1099, '7');
    for (const char* expression : {"([^\\t]*)\\r?\\n?", "([^,]*)\\r?\\n?", "([\\s\\S]*)\\r?\\n?"}) {
        for (const char* end : {"\n", "\r\n"}) {
            SCOPED_TRACE(std::string(expression) + (end[0] == '\r' ? " CR LF" : " LF"));
            TempDir dir;
            LogRun run(dir, line + end + line + end, {{expression, {FIELD_TIME}}});
            ASSERT_EQ(run.records.size(), 2u);
            EXPECT_EQ(run.Num(1, FIELD_TIME), 0);
            EXPECT_EQ(run.reader.BadTimeLines().count, 2u);
        }
    }
}

// A date without a year is the clock's year, or the year before when it
// would lie more than a day after the clock: a syslog read on 8 December
// runs from December of the year before into January without a jump.
TEST(Log2KxdMulti, SyslogYearAcrossNewYear)
{
    const int64_t wall = Wall(2026, 12, 8, 12);
    const int64_t now = wall - ZmLib::LocalTimeOffsetAt(wall);
    TempDir dir;
    LogRun run(dir,
               "Dec 31 23:59:59|a\nJan  1 00:00:01|b\nDec  8 11:00:00|c\nDec  9 12:00:00|d\nDec  9 12:00:01|e\n"
               "Feb 29 10:00:00|f\n",
               {{"([^|]*)\\|(.*)\\r?\\n?", {FIELD_TIME, FIELD_TEXT}}}, 1, now);
    const std::vector<int64_t> times = {Wall(2025, 12, 31, 23, 59, 59), Wall(2026, 1, 1, 0, 0, 1),
                                        Wall(2026, 12, 8, 11),          Wall(2026, 12, 9, 12),
                                        Wall(2025, 12, 9, 12, 0, 1),    0};
    ASSERT_EQ(run.records.size(), times.size());
    for (size_t k = 0; k < times.size(); ++k)
        EXPECT_EQ(run.Num(k, FIELD_TIME), times[k]) << run.Str(k, FIELD_TEXT);
    // 29 February is in no year from 2025 to 2026.
    EXPECT_EQ(run.reader.BadTimeLines().count, 1u);
    EXPECT_EQ(run.reader.BadTimeLines().line, 6u);
}

// A date or time of day that does not exist is a time that could not be
// read: stored as 0 and counted, not moved to another day. A leap second
// reads as the next minute's start.
TEST(Log2KxdMulti, ImpossibleDatesAndTimesAreNotRead)
{
    const struct {
        const char* text;
        int64_t time; // 0: not read
    } cases[] = {
        {"2026-12-07T10:60:00", 0},
        {"2026-12-07T10:00:61", 0},
        {"2026-12-07T24:00:00", 0},
        {"2026-12-07T99:99:99", 0},
        {"2026-02-29", 0},
        {"2026-02-30 08:00:00", 0},
        {"2026-04-31", 0},
        {"10:60:00.5", 0},
        {"2026-12-07T10:00:60", Wall(2026, 12, 7, 10, 1)},
        {"2024-02-29T23:59:59", Wall(2024, 2, 29, 23, 59, 59)},
        {"2026-12-31 00:00:00", Wall(2026, 12, 31)},
        {"23:59:59", Wall(1970, 1, 1, 23, 59, 59)},
    };
    std::string text;
    uint32_t bad = 0;
    for (const auto& c : cases) {
        text += std::string(c.text) + "|\n";
        bad += c.time == 0;
    }
    TempDir dir;
    LogRun run(dir, text, {{"([^|]*)\\|(.*)\\r?\\n?", {FIELD_TIME, FIELD_TEXT}}});
    ASSERT_EQ(run.records.size(), std::size(cases));
    for (size_t k = 0; k < std::size(cases); ++k)
        EXPECT_EQ(run.Num(k, FIELD_TIME), cases[k].time) << cases[k].text;
    EXPECT_EQ(run.reader.BadTimeLines().count, bad);
    EXPECT_EQ(run.reader.BadTimeLines().line, 1u);
}

// A row is cut between two UTF-8 characters: a character of two to four
// bytes that the limit would split starts the next row, at every offset
// around the limit.
TEST(Log2KxdMulti, RowsAreCutOnCharacterEdges)
{
    const std::string limit = std::to_string(Log2KxdMulti::LINE_LENGTH_MAX);
    for (const char* character : {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF"}) {
        const uint32_t size = uint32_t(strlen(character));
        for (uint32_t at = Log2KxdMulti::LINE_LENGTH_MAX - 5; at <= Log2KxdMulti::LINE_LENGTH_MAX; ++at) {
            SCOPED_TRACE(std::to_string(size) + " bytes at " + std::to_string(at));
            const std::string line = std::string(at, 'a') + character + "bbbbbb";
            TempDir dir;
            LogRun run(dir, line + "\n", {WholeText});
            const int32_t cut = int32_t(at + size <= Log2KxdMulti::LINE_LENGTH_MAX ? Log2KxdMulti::LINE_LENGTH_MAX : at);
            EXPECT_EQ(run.lengths, (std::vector<int32_t>{cut, int32_t(line.size()) + 1 - cut}));
        }
    }
}

// A number field reads its group only when it is shorter than the longest
// line: a group of exactly that length gives 0.
TEST(Log2KxdMulti, NumberGroupOfTheLongestLine)
{
    const std::string seven = "7" + std::string(Log2KxdMulti::LINE_LENGTH_MAX - 2, ' ');
    TempDir dir;
    LogRun run(dir, seven + "\n" + seven + " \n", {{"(.*)\\r?\\n?", {FIELD_NUM1}}});
    ASSERT_EQ(run.records.size(), 2u);
    EXPECT_EQ(run.lengths[1], int32_t(Log2KxdMulti::LINE_LENGTH_MAX) + 1);
    EXPECT_EQ(run.Num(0, FIELD_NUM1), 7);
    EXPECT_EQ(run.Num(1, FIELD_NUM1), 0);
}
