// The plain-text finder of the simple search, against the obvious byte-wise
// search, and the record test that relies on it.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "../../kxlib/table_fixtures.h"
#include "script/scriptlogicalexp/searchtext.h"
#include "search_fixtures.h"
#include "utils/common/strbase.h"

namespace {

bool Naive(const std::string& data, const std::string& text, bool matchCase)
{
    for (size_t i = 0; i + text.size() <= data.size(); ++i) {
        size_t k = 0;
        while (k < text.size() && (matchCase ? data[i + k] == text[k]
                                             : ZmLib::AsciiLower(data[i + k]) == ZmLib::AsciiLower(text[k])))
            ++k;
        if (k == text.size())
            return true;
    }
    return false;
}

} // namespace

TEST(SearchText, Cases)
{
    struct Case {
        std::string data;
        const char* text;
        bool matchCase;
        bool found;
    };
    const std::string block(40, '.');
    const std::vector<Case> cases = {
        {"abc", "abc", true, true},
        {"ab", "abc", true, false},
        {"xxABCyy", "abc", false, true},
        {"xxABCyy", "abc", true, false},
        // Folding is for letters only: '@' and '`' differ by the case bit.
        {"x@y", "`y", false, false},
        {"x[y", "{y", false, false},
        // NULs are ordinary bytes: texts of an area are scanned together.
        {std::string("one\0two", 7), "two", true, true},
        {std::string("on\0e", 4), "one", true, false},
        // Every position of a 16-byte block, and the very end of the data.
        {block + "needle", "needle", true, true},
        {block + "NEEDLE", "needle", false, true},
        {block + "needl", "needle", true, false},
        {"needle" + block, "needle", true, true},
        {block.substr(0, 15) + "ne" + block, "ne", true, true},
        {block.substr(0, 17) + "n" + block, "n", true, true},
        {block, "", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text << " in " << c.data.size() << " bytes, case " << c.matchCase);
        SearchText finder;
        finder.Set(c.text, c.matchCase);
        EXPECT_EQ(finder.In(c.data.data(), c.data.size()), c.found);
    }
}

TEST(SearchText, AgreesWithTheByteWiseSearch)
{
    std::mt19937 random(7);
    // A small alphabet with both cases and the bytes that only the case bit
    // tells apart, so that near misses are frequent.
    const std::string alphabet = std::string("aAbB@`[{zZ\0.", 12);
    auto pick = [&](size_t n) {
        std::string s;
        for (size_t i = 0; i < n; ++i)
            s += alphabet[random() % alphabet.size()];
        return s;
    };
    for (int round = 0; round < 20000; ++round) {
        const std::string data = pick(random() % 70);
        std::string text = pick(1 + random() % 4);
        for (char& c : text)
            if (c == '\0')
                c = 'a';
        const bool matchCase = round & 1;
        SearchText finder;
        finder.Set(text.c_str(), matchCase);
        ASSERT_EQ(finder.In(data.data(), data.size()), Naive(data, text, matchCase))
            << "\"" << text << "\" case " << matchCase << " round " << round;
    }
}

TEST(SearchText, FieldsOutsideTheRecordAreasAreSearchedToo)
{
    KxTable* table = new KxTable(nullptr, "t", PlainPrefs());
    RawRecord raw;
    raw.text = "plain";
    raw.pid = 4321;
    raw.tid = 98765;
    KxdRecord* record = table->AppendRecord(raw.Build());
    // Names that record processing took from the numbers.
    Expr tname("98765", false);
    EXPECT_TRUE(tname->Match(record));
    EXPECT_TRUE(tname->matchSlots[FIELD_TNAME].set);
    Expr pname("4321", false);
    EXPECT_TRUE(pname->Match(record));
    EXPECT_TRUE(pname->matchSlots[FIELD_PNAME].set);

    Expr absent("nowhere", false);
    EXPECT_FALSE(absent->Match(record));
    table->Release();
}

TEST(SearchText, SimpleSearchAgreesWithEveryFieldSearchedOneByOne)
{
    // Records with random texts and numbers in the table's own formats, and
    // texts to look for cut from their fields: number renderings, names,
    // and bytes that only a case differs in.
    std::mt19937 random(11);
    KxTable* table = new KxTable(nullptr, "t", PrefKxTable::Default());
    const std::string alphabet = "abcxyzABCXYZ0123456789 -:.#";
    auto pick = [&](size_t n) {
        std::string s;
        for (size_t i = 0; i < n; ++i)
            s += alphabet[random() % alphabet.size()];
        return s;
    };
    std::vector<KxdRecord*> records;
    for (int k = 0; k < 300; ++k) {
        const std::string text = pick(random() % 30), func = pick(random() % 12), tname = pick(random() % 5);
        RawRecord raw;
        raw.text = text.c_str();
        raw.func = random() % 4 ? func.c_str() : nullptr;
        raw.tname = random() % 3 ? tname.c_str() : nullptr;
        raw.tid = random() % 100000;
        raw.pid = random() % 3000;
        raw.time = 1561910811000000ULL + random();
        raw.num1 = random();
        records.push_back(table->AppendRecord(raw.Build()));
    }
    for (int round = 0; round < 3000; ++round) {
        const KxdRecord* source = records[random() % records.size()];
        const char* field = source->Text(random() % FIELD_Nums);
        std::string needle = field && *field ? field : pick(2);
        const size_t from = random() % needle.size();
        needle = needle.substr(from, 1 + random() % 6);
        if (ZmLib::IsBlank(needle.c_str()))
            continue;
        const bool matchCase = random() % 2;
        Expr e(needle.c_str(), matchCase, true);
        KxdRecord* record = records[random() % records.size()];
        std::vector<int> expected;
        for (int f = 0; f < FIELD_Nums; ++f) {
            const char* t = record->Text(f);
            if (t && (matchCase ? strstr(t, needle.c_str()) : ZmLib::StrIStr(t, needle.c_str())))
                expected.push_back(f);
        }
        const bool matched = e->Match(record);
        std::vector<int> found;
        for (int f = 0; f < FIELD_Nums; ++f)
            if (e->matchSlots[f].set)
                found.push_back(f);
        ASSERT_EQ(found, expected) << "\"" << needle << "\" case " << matchCase << " round " << round;
        ASSERT_EQ(matched, !expected.empty());
    }
    table->Release();
}
