// The delimited-text reader: columns by separator and by ',', signed
// numbers, bad lines that never end the input, long lines in pieces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kxlib/reader/filecsv.h"
#include "table_fixtures.h"

namespace {

using ZmLib::KxdProt;

// Reads every line of a file; a bad line is recorded by its code.
struct CsvRun {
    struct Line {
        int32_t code = 0; // 0: read, otherwise the thrown code
        int32_t length = 0;
        KxdProt record;
    };

    CsvRun(const std::string& path, std::vector<int32_t> fields, char separator, int workers = 1)
        : reader(path.c_str(), int32_t(fields.size()), fields.data(), separator)
    {
        reader.SetWorkers(workers);
        opened = reader.Open();
        if (opened != 0)
            return;
        for (int guard = 0; guard < 100; ++guard) {
            Line line;
            reader.SetRecord(&line.record);
            try {
                line.length = reader.ReadRecord();
            } catch (int32_t code) {
                if (code == 1)
                    break;
                line.code = code;
            }
            lines.push_back(line);
        }
    }

    FileCsv reader;
    int32_t opened = -1;
    std::vector<Line> lines;
};

} // namespace

TEST(FileCsv, ColumnsBySeparatorAndComma)
{
    const struct {
        const char* what;
        std::vector<int32_t> fields;
        char separator;
        std::string text;
        std::vector<std::pair<int32_t, std::string>> strings; // field, text
        std::vector<std::pair<int32_t, int64_t>> numbers;     // field, value
    } cases[] = {
        // No field keeps the line end, LF or CR LF.
        {"last string without the line end", {FIELD_HOST, FIELD_TEXT}, ';', "pc1;hello\n",
         {{FIELD_HOST, "pc1"}, {FIELD_TEXT, "hello"}}, {}},
        {"last string without the CR LF", {FIELD_TIME, FIELD_HOST, FIELD_TEXT}, ',',
         "1700000000000000,h1,text one\r\n", {{FIELD_HOST, "h1"}, {FIELD_TEXT, "text one"}},
         {{FIELD_TIME, 1700000000000000}}},
        {"a CR inside the last string stays", {FIELD_TEXT}, ';', "a\rb\r\r\n", {{FIELD_TEXT, "a\rb\r"}}, {}},
        {"no separator ends at CR", {FIELD_TEXT}, 0, "abc\r\n", {{FIELD_TEXT, "abc"}}, {}},
        {"64-bit time", {FIELD_TIME, FIELD_TEXT}, ',', "1561910811000000,boot\n", {{FIELD_TEXT, "boot"}},
         {{FIELD_TIME, 1561910811000000}}},
        {"numbers end at ',' whatever the separator", {FIELD_SEQ, FIELD_LINE, FIELD_HOST, FIELD_TEXT}, ';',
         "0007,42,pc;x;y", {{FIELD_HOST, "pc"}, {FIELD_TEXT, "x"}}, {{FIELD_SEQ, 7}, {FIELD_LINE, 42}}},
        {"signed level", {FIELD_LEVEL, FIELD_NUM1, FIELD_TEXT}, ';', "-3,+12,t",
         {{FIELD_TEXT, "t"}}, {{FIELD_LEVEL, -3}, {FIELD_NUM1, 12}}},
        {"number without digits reads 0", {FIELD_PID, FIELD_TEXT}, ';', ",t", {{FIELD_TEXT, "t"}}, {{FIELD_PID, 0}}},
        {"a column of no field is dropped", {99, FIELD_TEXT}, ';', "12,t", {{FIELD_TEXT, "t"}}, {}},
        {"a string column without its separator ends the line", {FIELD_HOST, FIELD_TEXT}, ';', "only\r\n",
         {{FIELD_HOST, "only"}, {FIELD_TEXT, ""}}, {}},
    };
    TempDir dir;
    for (const auto& c : cases) {
        for (int workers : {1, 8}) {
            SCOPED_TRACE(std::string(c.what) + ", workers " + std::to_string(workers));
            CsvRun run(dir.Write("a.csv", c.text), c.fields, c.separator, workers);
            ASSERT_EQ(run.opened, 0);
            ASSERT_EQ(run.lines.size(), 1u);
            const auto& line = run.lines[0];
            EXPECT_EQ(line.code, 0);
            EXPECT_EQ(line.length, int32_t(c.text.size()));
            EXPECT_NE(line.record.STIME, 0u);
            for (const auto& s : c.strings)
                EXPECT_STREQ(line.record.String(FieldTable[s.first].desc.strSlot), s.second.c_str()) << s.first;
            for (const auto& n : c.numbers)
                EXPECT_EQ(line.record.GetIntValue(n.first), n.second) << n.first;
        }
    }
}

// A bad line is a bad record with a code that is never the end of input;
// the reader keeps the first one's place and says why it refused it, by the
// column's number, key and text.
TEST(FileCsv, BadLinesAreBadRecords)
{
    const struct {
        const char* what;
        std::vector<int32_t> fields;
        std::string text, good;
        int32_t code;
        const char* why;
    } cases[] = {
        {"letter before the comma", {FIELD_LINE, FIELD_TEXT}, "x12,a\n", "7,a\n",
         FileCsv::BadCode(FileCsv::BAD_NO_COMMA, 0, 0), "column 1 (LINE): \"x12\" is not a number"},
        {"last number without comma", {FIELD_LINE}, "42\n", "42,\n", FileCsv::BadCode(FileCsv::BAD_NO_COMMA, 2, 0),
         "column 1 (LINE): \"42\" is not followed by ','"},
        {"second number bad", {FIELD_SEQ, FIELD_LINE}, "1,2;\n", "1,2,\n", FileCsv::BadCode(FileCsv::BAD_NO_COMMA, 3, 1),
         "column 2 (LINE): \"2;\" is not a number"},
        {"number beyond 64 bits", {FIELD_NUM1, FIELD_TEXT}, "99999999999999999999,a\n", "9,a\n",
         FileCsv::BadCode(FileCsv::BAD_NUMBER, 0, 0), "column 1 (NUM1): \"99999999999999999999\" does not fit 64 bits"},
        {"negative beyond 64 bits", {FIELD_NUM1, FIELD_TEXT}, "-9223372036854775809,a\n", "-9223372036854775808,a\n",
         FileCsv::BadCode(FileCsv::BAD_NUMBER, 0, 0), "column 1 (NUM1): \"-9223372036854775809\" does not fit 64 bits"},
        {"date-time text for TIME", {FIELD_TIME, FIELD_TEXT}, "2024-12-07 08:00:00.237,boot\r\n",
         "1733558400237000,boot\r\n", FileCsv::BadCode(FileCsv::BAD_NO_COMMA, 4, 0),
         "column 1 (TIME): \"2024-12-07 08:00:00.237\" is not a number"},
        {"a string column before", {FIELD_HOST, FIELD_NUM2}, "pc1;abc,\n", "pc1;-5,\n",
         FileCsv::BadCode(FileCsv::BAD_NO_COMMA, 4, 0), "column 2 (NUM2): \"abc\" is not a number"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Two good lines, the bad one, three good ones and the bad one again.
        std::string text = c.good + c.good + c.text;
        for (int k = 0; k < 3; ++k)
            text += c.good;
        text += c.text;
        CsvRun run(dir.Write("bad.csv", text), c.fields, ';');
        std::vector<int32_t> codes;
        for (const auto& line : run.lines)
            codes.push_back(line.code);
        EXPECT_EQ(codes, (std::vector<int32_t>{0, 0, c.code, 0, 0, 0, c.code}));
        EXPECT_NE(c.code, 1);
        EXPECT_EQ(run.reader.Accepted(), 5u);
        EXPECT_EQ(run.reader.Bad(), 2u);
        const Text2Kxd::Finding& refused = run.reader.Refused();
        EXPECT_EQ(refused.count, 2u);
        EXPECT_EQ(refused.line, 3u);
        EXPECT_EQ(refused.offset, 2 * c.good.size());
        EXPECT_EQ(run.reader.Lines(), 7u);
        EXPECT_EQ(run.reader.RefusedText(), c.text);
        EXPECT_EQ(run.reader.Explain(run.reader.RefusedText()), c.why);
        EXPECT_EQ(run.reader.Explain(c.good), "");
    }
    EXPECT_EQ(FileCsv::BadCode(FileCsv::BAD_NUMBER, 3, 2), 2 + 3 * 256 + 2 * 65536);
    // Nothing refused: no line to name.
    TempDir clean;
    CsvRun good(clean.Write("good.csv", "1,a\n2,b\n"), {FIELD_LINE, FIELD_TEXT}, ';');
    EXPECT_EQ(good.reader.Refused().count, 0u);
    EXPECT_EQ(good.reader.RefusedText(), "");
}

// Lines longer than 1099 bytes come in pieces; the end of input stays
// the end on every later call. An empty file has no lines; a missing one
// does not open.
TEST(FileCsv, LongLinesEndAndEmptyFiles)
{
    TempDir dir;
    CsvRun run(dir.Write("long.csv", std::string(2999, 'a') + "\nlast"), {FIELD_TEXT}, 0);
    std::vector<int32_t> lengths;
    for (const auto& line : run.lines)
        lengths.push_back(line.length);
    EXPECT_EQ(lengths, (std::vector<int32_t>{1099, 1099, 802, 4}));
    EXPECT_STREQ(run.lines[3].record.String(KxdProt::SLOT_TEXT), "last");
    // The string area takes what fits of a piece.
    const std::string first = run.lines[0].record.String(KxdProt::SLOT_TEXT);
    EXPECT_GT(first.size(), 300u);
    EXPECT_EQ(first, std::string(first.size(), 'a'));
    KxdProt record;
    run.reader.SetRecord(&record);
    for (int k = 0; k < 2; ++k) {
        int32_t code = 0;
        try {
            run.reader.ReadRecord();
        } catch (int32_t thrown) {
            code = thrown;
        }
        EXPECT_EQ(code, 1);
    }

    CsvRun empty(dir.Write("empty.csv", ""), {FIELD_TEXT}, ';');
    EXPECT_EQ(empty.opened, 0);
    EXPECT_TRUE(empty.lines.empty());
    EXPECT_EQ(CsvRun(dir.Path("missing.csv"), {FIELD_TEXT}, ';').opened, 6);
}

// Long lines are cut between two UTF-8 characters; the reader counts the
// lines refused, read as several rows and cut to fit the record, each once a
// line with the first in file order, with one worker or many.
TEST(FileCsv, FindingsNameTheirFirstLine)
{
    std::string characters;
    for (int k = 0; k < 400; ++k)
        characters += "\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD"; // é€中
    const struct {
        const char* what;
        std::vector<int32_t> fields;
        std::string text;
        std::vector<int32_t> lengths; // of the rows read, refused ones as 0
        std::vector<uint32_t> refused, longLines, cutLines; // count, first line; {} for none
        int32_t cutField;
        uint32_t lines;
    } cases[] = {
        {"UTF-8 text over three rows", {FIELD_TEXT}, "a\n" + characters + "\n", {2, 1098, 1099, 1004}, {}, {1, 2},
         {1, 2}, FIELD_TEXT, 2},
        {"refused rows of long lines", {FIELD_LINE, FIELD_TEXT},
         "1,a\n2," + std::string(1200, 'b') + "\n3,c\n4," + std::string(1200, 'd') + "\n", {4, 1099, 0, 4, 1099, 0},
         {2, 2}, {2, 2}, {2, 2}, FIELD_TEXT, 4},
        {"texts that do not fit", {FIELD_HOST, FIELD_NODE, FIELD_TEXT},
         "h;n;t\n" + std::string(300, 'h') + ";" + std::string(100, 'n') + ";t\n", {6, 404}, {}, {}, {1, 2},
         FIELD_NODE, 2},
        {"every line whole", {FIELD_TEXT}, "a\nb\r\n", {2, 3}, {}, {}, {}, -1, 2},
        // The limit does not count the line end, LF or CR LF.
        {"lines of exactly a row", {FIELD_TEXT}, std::string(1099, 'a') + "\n" + std::string(1099, 'b') + "\r\n",
         {1100, 1101}, {}, {}, {2, 1}, FIELD_TEXT, 2},
        {"CR LF line a character over a row", {FIELD_TEXT}, std::string(1100, 'a') + "\r\n", {1099, 3}, {}, {1, 1},
         {1, 1}, FIELD_TEXT, 1},
    };
    const auto counted = [](const Text2Kxd::Finding& found) {
        return found.count == 0 ? std::vector<uint32_t>{} : std::vector<uint32_t>{found.count, found.line};
    };
    TempDir dir;
    for (const auto& c : cases) {
        for (int workers : {1, 8}) {
            SCOPED_TRACE(std::string(c.what) + ", workers " + std::to_string(workers));
            CsvRun run(dir.Write("f.csv", c.text), c.fields, ';', workers);
            std::vector<int32_t> lengths;
            for (const auto& line : run.lines)
                lengths.push_back(line.length);
            EXPECT_EQ(lengths, c.lengths);
            EXPECT_EQ(counted(run.reader.Refused()), c.refused);
            EXPECT_EQ(counted(run.reader.LongLines()), c.longLines);
            EXPECT_EQ(counted(run.reader.CutLines()), c.cutLines);
            EXPECT_EQ(run.reader.CutLines().note.cutField, c.cutField);
            EXPECT_EQ(run.reader.Lines(), c.lines);
            for (const auto& line : run.lines) {
                const std::string text = line.record.String(KxdProt::SLOT_TEXT);
                const unsigned char first = static_cast<unsigned char>(text.empty() ? 'a' : text[0]);
                const unsigned char last = static_cast<unsigned char>(text.empty() ? 'a' : text.back());
                EXPECT_NE(first & 0xC0, 0x80);
                EXPECT_TRUE(last < 0x80 || (last & 0xC0) == 0x80);
            }
        }
    }
}
