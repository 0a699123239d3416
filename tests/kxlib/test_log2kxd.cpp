// The text-log reader: templates tried in order, each with its own field
// map; level words, times, addresses and numbers; lines that match nothing;
// the eight-template limit; long lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kxlib/reader/log2kxdmulti.h"
#include "table_fixtures.h"
#include "utils/common/convert.h"

namespace {

using ZmLib::KxdProt;

struct Template {
    std::string expression;
    std::vector<int32_t> fields;
    bool error = false;
};

// Reads every line of text through the templates.
struct LogRun {
    LogRun(const TempDir& dir, const std::string& text, const std::vector<Template>& templates)
        : reader(dir.Write("log.txt", text).c_str())
    {
        for (const Template& t : templates)
            added.push_back(reader.AddTemplate(t.expression.c_str(), t.fields.data(), int32_t(t.fields.size()),
                                               t.error));
        EXPECT_EQ(reader.Open(), 0);
        for (int guard = 0; guard < 100; ++guard) {
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

} // namespace

TEST(Log2KxdMulti, DebianSyslogLine)
{
    TempDir dir;
    const std::string line = "Dec  7 11:12:16 buildhost kern.warning kernel: [ 12.3] usb 1-1: new device\n";
    LogRun run(dir, line, {SysLog});
    ASSERT_EQ(run.records.size(), 1u);
    EXPECT_EQ(run.Num(0, FIELD_TIME), ZmLib::Str2Time("Dec  7 11:12:16"));
    EXPECT_NE(run.Num(0, FIELD_TIME), 0);
    EXPECT_EQ(run.Str(0, FIELD_HOST), "buildhost");
    EXPECT_EQ(run.Num(0, FIELD_LEVEL), 0);
    EXPECT_EQ(run.Str(0, FIELD_KXNAME), "kernel");
    EXPECT_EQ(run.Str(0, FIELD_TEXT), "[ 12.3] usb 1-1: new device");
    EXPECT_EQ(run.lengths[0], int32_t(line.size()));
}

// Sub-templates whose fields come in another order fill their own columns.
TEST(Log2KxdMulti, FamilyWithOwnFieldOrders)
{
    TempDir dir;
    const std::vector<Template> family = {
        {"(\\d+) (\\w+) (.*)\\r?\\n?", {FIELD_SEQ, FIELD_HOST, FIELD_TEXT}},
        {"B (\\w+) (\\d+) (.*)\\r?\\n?", {FIELD_HOST, FIELD_SEQ, FIELD_TEXT}},
        {"C (.*) @(\\w+)\\r?\\n?", {FIELD_TEXT, FIELD_KXNAME}},
    };
    LogRun run(dir, "12 alpha first\nB beta 34 second\nC third one @gamma\nnothing fits\n", family);
    ASSERT_EQ(run.records.size(), 4u);
    const struct {
        int64_t seq;
        const char *host, *text, *kxname;
    } expect[] = {
        {12, "alpha", "first", ""}, {34, "beta", "second", ""}, {0, "", "third one", "gamma"}, {0, "", "", ""}};
    for (size_t k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(run.Num(k, FIELD_SEQ), expect[k].seq);
        EXPECT_EQ(run.Str(k, FIELD_HOST), expect[k].host);
        EXPECT_EQ(run.Str(k, FIELD_TEXT), expect[k].text);
        EXPECT_EQ(run.Str(k, FIELD_KXNAME), expect[k].kxname);
        EXPECT_EQ(run.Num(k, FIELD_LEVEL), 2);
        EXPECT_NE(run.records[k].STIME, 0u);
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
    EXPECT_EQ(run.Str(8, FIELD_TEXT), "");
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
}

TEST(Log2KxdMulti, NumberFields)
{
    TempDir dir;
    const Template t{"(\\S*) (\\S*) (\\S*) (\\S*)\\r?\\n?", {FIELD_TIME, FIELD_IP, FIELD_NUM1, FIELD_PID}};
    LogRun run(dir,
               "123 10.1.2.3 0x1F 017\n"
               "-45 300.1.1.1 junk 9\n"
               "2019-06-30T15:53:31 1.2.3.4 -7 0\n",
               {t});
    ASSERT_EQ(run.records.size(), 3u);
    EXPECT_EQ(run.Num(0, FIELD_TIME), 123);
    EXPECT_EQ(run.Num(0, FIELD_IP), int64_t(ZmLib::Str2IP("10.1.2.3")));
    EXPECT_EQ(run.Num(0, FIELD_IP), 0x0302010A);
    EXPECT_EQ(run.Num(0, FIELD_NUM1), 31);
    EXPECT_EQ(run.Num(0, FIELD_PID), 15);
    EXPECT_EQ(run.Num(1, FIELD_TIME), -45);
    EXPECT_EQ(run.Num(1, FIELD_IP), 0);
    EXPECT_EQ(run.Num(1, FIELD_NUM1), 0);
    EXPECT_EQ(run.Num(2, FIELD_TIME), ZmLib::Str2Time("2019-06-30T15:53:31"));
    EXPECT_NE(run.Num(2, FIELD_TIME), 0);
    EXPECT_EQ(run.Num(2, FIELD_NUM1), -7);
}

TEST(Log2KxdMulti, ErrorTemplateAndMissingGroups)
{
    TempDir dir;
    const std::vector<Template> templates = {
        {"E (\\w+) (.*)\\r?\\n?", {FIELD_LEVEL, FIELD_TEXT}, true},
        {"(x)?(y+)\\r?\\n?", {FIELD_HOST, FIELD_TEXT}},
    };
    LogRun run(dir, "E info fine\nyy\n", templates);
    ASSERT_EQ(run.records.size(), 2u);
    EXPECT_EQ(run.Num(0, FIELD_LEVEL), -1);
    EXPECT_EQ(run.Str(0, FIELD_TEXT), "fine");
    EXPECT_EQ(run.Str(1, FIELD_HOST), "");
    EXPECT_EQ(run.Str(1, FIELD_TEXT), "yy");
}

// A template whose groups do not match its field map is passed over (and
// reported once); the next template takes the line.
TEST(Log2KxdMulti, GroupCountMismatchIsNotUsed)
{
    TempDir dir;
    Reports reports;
    const std::vector<Template> templates = {
        {"((a)|b)(.*)\\r?\\n?", {FIELD_HOST, FIELD_TEXT}},
        {"(.)(.*)\\r?\\n?", {FIELD_KXNAME, FIELD_TEXT}},
    };
    LogRun run(dir, "abc\nbcd\n", templates);
    ASSERT_EQ(run.records.size(), 2u);
    EXPECT_EQ(run.Str(0, FIELD_KXNAME), "a");
    EXPECT_EQ(run.Str(0, FIELD_TEXT), "bc");
    EXPECT_EQ(run.Str(1, FIELD_KXNAME), "b");
    EXPECT_EQ(run.Str(0, FIELD_HOST), "");
    int mismatches = 0;
    for (const auto& r : Reports::All())
        mismatches += r.text.find("has 3 groups for 2 fields") != std::string::npos;
    EXPECT_EQ(mismatches, 1);
}

// Texts that do not all fit the string area are cut, never dropped; a line
// longer than 1099 characters comes in pieces.
TEST(Log2KxdMulti, LongTextsAreCut)
{
    TempDir dir;
    const std::string host(300, 'h');
    const std::string body(2700, 't');
    LogRun run(dir, host + " " + body + "\n", {{"(h+) ?(.*)\\r?\\n?", {FIELD_HOST, FIELD_TEXT}}});
    ASSERT_EQ(run.records.size(), 3u);
    EXPECT_EQ(run.lengths, (std::vector<int32_t>{1099, 1099, 804}));
    EXPECT_EQ(run.Str(0, FIELD_HOST), host);
    const std::string text = run.Str(0, FIELD_TEXT);
    EXPECT_GT(text.size(), 50u);
    EXPECT_EQ(text, std::string(text.size(), 't'));
    EXPECT_LE(run.records[0].msg.opt_len, ZmLib::KxProt::LEN_STRFIELDS);
    // The later pieces match no template: near-empty records.
    EXPECT_EQ(run.Str(1, FIELD_TEXT), "");
    EXPECT_EQ(run.Num(1, FIELD_LEVEL), 2);
}

TEST(Log2KxdMulti, LevelFromWordOnShortTexts)
{
    EXPECT_EQ(Log2KxdMulti::LevelFromWord("al", 2), 2);
    EXPECT_EQ(Log2KxdMulti::LevelFromWord("ale", 3), -3);
    EXPECT_EQ(Log2KxdMulti::LevelFromWord("deb", 2), 2);
}

// A line whose match runs out of the matcher's step budget is a line that
// template does not match.
TEST(Log2KxdMulti, ExhaustedMatchIsNoMatch)
{
    TempDir dir;
    Reports reports;
    const std::vector<Template> templates = {
        {"(.*)(.*)(.*)(.*)(.*)\\d\\r?\\n?", {FIELD_HOST, FIELD_NODE, FIELD_PNAME, FIELD_TNAME, FIELD_KXNAME}},
        {"(.*)\\r?\\n?", {FIELD_TEXT}},
    };
    const std::string hard = std::string(60, 'a') + "!";
    LogRun run(dir, hard + "\nab1\n", templates);
    ASSERT_EQ(run.records.size(), 2u);
    EXPECT_EQ(run.Str(0, FIELD_HOST), "");
    EXPECT_EQ(run.Str(0, FIELD_TEXT), hard);
    EXPECT_EQ(run.Str(1, FIELD_HOST), "ab");
    EXPECT_TRUE(Reports::HasPart("match limit exceeded"));
}
