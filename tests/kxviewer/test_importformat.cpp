#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "kxviewer/importformat.h"
#include "kxviewer/kxvglobals.h"
#include "tests/kxviewer/shellrecorder.h"

namespace {

ImportFormatField Field(const char* key, int32_t position, const char* expression)
{
    return ImportFormatField{key, position, expression};
}

ImportFormat Format(const char* name, int32_t visual, std::vector<ImportFormatField> fields = {},
                    int32_t mode = IMPORT_MODE_REGEX)
{
    ImportFormat format;
    format.name = name;
    format.extension = "*.txt";
    format.visual = visual;
    format.mode = mode;
    format.delimiter = ";";
    format.fields = std::move(fields);
    return format;
}

// A field for each record field, then `extra` more that name TEXT again.
std::vector<ImportFormatField> EveryField(int extra = 0)
{
    std::vector<ImportFormatField> fields;
    for (int32_t f = 0; f < FIELD_Nums + extra; ++f)
        fields.push_back(Field(f < FIELD_Nums ? FieldTable[f].key : "TEXT", f, "(\\S*) "));
    return fields;
}

class RecordingView : public ImportCheckView {
public:
    void ClearProblem() override { shown.clear(); }
    void ShowProblem(int32_t index, ImportProblemPlace place) override { shown.push_back({index, place}); }
    std::vector<std::pair<int32_t, ImportProblemPlace>> shown;
};

// A list with the built-in head and a few user formats; the original list
// comes back afterwards.
class ImportFormatTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = ImportFormats;
        ImportFormats = DefaultImportTemplates();
        ImportFormatChecks::SetView(&view_);
    }
    void TearDown() override
    {
        ImportFormatChecks::SetView(nullptr);
        ImportFormats = saved_;
    }
    int32_t Add(ImportFormat format)
    {
        ImportFormats.push_back(std::move(format));
        return int32_t(ImportFormats.size() - 1);
    }

    RecordingView view_;
    kxtest::ShellRecorder shell_;

private:
    ImportFormatList saved_;
};

} // namespace

// Runs first: nothing has touched the list yet.
TEST(ImportFormatStatics, BuiltInHeadBeforeAnyLoad)
{
    ASSERT_EQ(ImportFormats.size(), 1u);
    EXPECT_EQ(PredefinedFormatCount, 1);
    ImportFormat syslog = Format("SysLog", 1,
                                 {Field("TIME", 0, "(\\w{3}[\\d\\W]+)\\s"), Field("HOST", 1, "(\\(?\\w+\\)?)\\s"),
                                  Field("LEVEL", 2, "[\\w\\.]+?(\\w+)\\s"), Field("KXNAME", 3, "([^:]+):?\\s"),
                                  Field("TEXT", 4, "(.*)")});
    syslog.extension = "log";
    syslog.expression = "()";
    syslog.delimiter = "";
    EXPECT_EQ(ImportFormats[0], syslog);
    EXPECT_EQ(DefaultImportTemplates()[0], syslog);
    const struct {
        const char* suffix;
        bool known;
        int32_t type;
    } suffixes[] = {{"KXTCP", true, FILE_TYPE_KX}, {"kxl", true, FILE_TYPE_KXL}, {"kxd", true, FILE_TYPE_KXD},
                    {"log", false, 0}};
    for (const auto& c : suffixes) {
        bool found = !c.known;
        const int32_t type = FileTypeBySuffix(c.suffix, &found);
        EXPECT_EQ(found, c.known) << c.suffix;
        if (c.known) {
            EXPECT_EQ(type, c.type) << c.suffix;
        }
    }
}

TEST(ImportFormatRecord, ComposedExpression)
{
    ImportFormat format = Format("F", 1, {Field("TIME", 0, "(\\d+) "), Field("HOST", 1, "(\\w+)"),
                                          Field("TEXT", 2, "(.*)")});
    format.ComposeExpression();
    EXPECT_EQ(format.expression, "(\\d+) (\\w+)(.*)");
    format.mode = IMPORT_MODE_DELIMITED;
    format.ComposeExpression();
    EXPECT_EQ(format.expression, "TIME;HOST;TEXT");
}

TEST(ImportFormatRecord, IsSame)
{
    ImportFormat a = Format("F", 1, {Field("TIME", 0, ";"), Field("TEXT", 1, ";")}, IMPORT_MODE_DELIMITED);
    ImportFormat b = Format("F", 7, {Field("TEXT", 1, "|"), Field("TIME", 0, ",")}, IMPORT_MODE_DELIMITED);
    b.enabled = false;
    b.expression = "other";
    EXPECT_TRUE(ImportFormat::IsSame(a, b));
    a.mode = b.mode = IMPORT_MODE_REGEX;
    EXPECT_FALSE(ImportFormat::IsSame(a, b));

    const struct {
        const char* what;
        void (*change)(ImportFormat&);
    } changes[] = {
        {"name", [](ImportFormat& f) { f.name = "f"; }},
        {"extension", [](ImportFormat& f) { f.extension = "*.log"; }},
        {"JavaException", [](ImportFormat& f) { f.JavaException = true; }},
        {"delimiter", [](ImportFormat& f) { f.delimiter = ","; }},
        {"mode", [](ImportFormat& f) { f.mode = IMPORT_MODE_REGEX; }},
        {"field count", [](ImportFormat& f) { f.fields.pop_back(); }},
        {"view position", [](ImportFormat& f) { f.fields[0].viewPosition = 5; }},
        {"key", [](ImportFormat& f) { f.fields[0].key = "HOST"; }},
    };
    ImportFormat base = Format("F", 1, {Field("TIME", 0, ";"), Field("TEXT", 1, ";")}, IMPORT_MODE_DELIMITED);
    for (const auto& c : changes) {
        ImportFormat other = base;
        c.change(other);
        EXPECT_FALSE(ImportFormat::IsSame(base, other)) << c.what;
    }
    // The fields match one to one in any order, and the answer is the same
    // both ways: a repeated field never stands in for one the other lacks.
    const struct {
        const char* what;
        std::vector<ImportFormatField> a, b;
        bool same;
    } fieldSets[] = {
        {"a repeated field against a different one", {Field("TIME", 0, "(a)"), Field("TIME", 0, "(a)")},
         {Field("TIME", 0, "(a)"), Field("TEXT", 1, "(b)")}, false},
        {"each side repeats another field", {Field("TIME", 0, "(a)"), Field("TIME", 0, "(a)"), Field("TEXT", 1, "(b)")},
         {Field("TIME", 0, "(a)"), Field("TEXT", 1, "(b)"), Field("TEXT", 1, "(b)")}, false},
        {"the same repeats in another order", {Field("TIME", 0, "(a)"), Field("TEXT", 1, "(b)"), Field("TIME", 0, "(a)")},
         {Field("TEXT", 1, "(b)"), Field("TIME", 0, "(a)"), Field("TIME", 0, "(a)")}, true},
        {"a repeat differing in its expression", {Field("TIME", 0, "(a)"), Field("TIME", 0, "(a)")},
         {Field("TIME", 0, "(a)"), Field("TIME", 0, "(c)")}, false},
    };
    for (const auto& c : fieldSets) {
        const ImportFormat a = Format("F", 1, c.a), b = Format("F", 1, c.b);
        EXPECT_EQ(ImportFormat::IsSame(a, b), c.same) << c.what;
        EXPECT_EQ(ImportFormat::IsSame(b, a), c.same) << c.what << ", the other way";
    }
}

TEST(ImportFormatChecksText, Brackets)
{
    const struct {
        const char* expression;
        const char* message;
    } cases[] = {
        {"a)(b", "Bad bracket sequence"}, {"(a", "No right Bracket"}, {"a", "No left Bracket"},
        {"", "No left Bracket"},          {")", "No left Bracket"},   {"x(y)z(", ""},
        {"(a)(", ""},                     {"((a)", ""},
    };
    for (const auto& c : cases) {
        ImportErrorText = "stale";
        ImportFormatChecks::CheckBrackets(c.expression);
        EXPECT_EQ(ImportErrorText, c.message) << c.expression;
    }
}

TEST_F(ImportFormatTest, FamiliesAndSubTemplateNumbers)
{
    int32_t p = Add(Format("P", 2));
    int32_t p2 = Add(Format("P #2", 0));
    int32_t p1 = Add(Format("P #1", 0));
    int32_t px = Add(Format("P #x", 0));
    int32_t q = Add(Format("Q", 3));
    int32_t orphan = Add(Format("Z #1", 0));
    int32_t pp = Add(Format("PP #1", 0));

    EXPECT_EQ(ImportFormatChecks::GetSubFormatNumber(p2), 2);
    EXPECT_TRUE(SubFormatList.empty());
    EXPECT_EQ(ImportFormatChecks::GetSubFormatNumber(px), 0);
    EXPECT_EQ(ImportFormatChecks::GetSubFormatNumber(q), -1);
    EXPECT_EQ(ImportFormatChecks::GetSubFormatNumber(p), 0);
    EXPECT_EQ(SubFormatList, (std::vector<int32_t>{px, p1, p2}));
    EXPECT_EQ(ImportFormatChecks::GetSubFormatNumber(-1), -1);
    EXPECT_EQ(ImportFormatChecks::GetSubFormatNumber(int32_t(ImportFormats.size())), -1);

    EXPECT_EQ(ImportFormatChecks::CollectSubFormats(p), 3);
    EXPECT_EQ(ImportFormatChecks::CollectSubFormats(q), 0);
    EXPECT_TRUE(SubFormatList.empty());
    EXPECT_EQ(ImportFormatChecks::CollectSubFormats(-1), 0);

    EXPECT_EQ(ImportFormatChecks::GetParentFormatIndex(p1), p);
    EXPECT_EQ(ImportFormatChecks::GetParentFormatIndex(orphan), -1);
    EXPECT_EQ(ImportFormatChecks::GetParentFormatIndex(p), -1);
    EXPECT_EQ(ImportFormatChecks::GetParentFormatIndex(pp), -1);

    EXPECT_EQ(ImportFormatChecks::FamilyOf(p2), (std::vector<int32_t>{p, px, p1, p2}));
    EXPECT_EQ(ImportFormatChecks::FamilyOf(p), (std::vector<int32_t>{p, px, p1, p2}));
    EXPECT_EQ(ImportFormatChecks::FamilyOf(q), (std::vector<int32_t>{q}));
    EXPECT_EQ(ImportFormatChecks::FamilyOf(orphan), (std::vector<int32_t>{orphan}));
    EXPECT_TRUE(ImportFormatChecks::FamilyOf(99).empty());
}

TEST_F(ImportFormatTest, NameAndExtensionChecks)
{
    int32_t a = Add(Format("A", 2));
    int32_t sub = Add(Format("A #1", 0));
    int32_t user = Add(Format("Log", 3));
    int32_t lower = Add(Format("log", 4));
    const struct {
        const char* text;
        int32_t index;
        int32_t kind;
        const char* message;
    } cases[] = {
        {"", user, ImportFormatChecks::CHECK_NAME, "Name is empty"},
        {"", user, ImportFormatChecks::CHECK_EXTENSION, "Extension is empty"},
        {"A#B", user, ImportFormatChecks::CHECK_NAME, "Name could not contain # symbol"},
        {"#", user, ImportFormatChecks::CHECK_NAME, "Name could not contain # symbol"},
        // Named after a main format: a sub-template being made.
        {"A #2", user, ImportFormatChecks::CHECK_NAME, ""},
        {"A #1", sub, ImportFormatChecks::CHECK_NAME, ""},
        {"Odd#1", sub, ImportFormatChecks::CHECK_NAME, ""},
        // A sub-template keeps its number: without one the tree could not
        // tell it from its main format.
        {"A #", sub, ImportFormatChecks::CHECK_NAME, "Name could not contain # symbol"},
        {"A #x", sub, ImportFormatChecks::CHECK_NAME, "Name could not contain # symbol"},
        {"A #", user, ImportFormatChecks::CHECK_NAME, "Name could not contain # symbol"},
        {"A #3", sub, ImportFormatChecks::CHECK_NAME, ""},
        {"A #1", user, ImportFormatChecks::CHECK_NAME, "Name duplicate"},
        {"A", a, ImportFormatChecks::CHECK_NAME, ""},
        {"A", lower, ImportFormatChecks::CHECK_NAME, "Name duplicate"},
        {"Log", user, ImportFormatChecks::CHECK_NAME, ""},
        {"LOG", lower, ImportFormatChecks::CHECK_NAME, ""},
        {"A#B", user, ImportFormatChecks::CHECK_EXTENSION, ""},
    };
    for (const auto& c : cases) {
        view_.shown.clear();
        bool problem = ImportFormatChecks::CheckNameAndExtension(c.text, c.index, c.kind);
        EXPECT_EQ(ImportErrorText, c.message) << c.text;
        EXPECT_EQ(problem, *c.message != 0) << c.text;
        EXPECT_EQ(view_.shown.size(), problem ? 1u : 0u) << c.text;
        if (problem) {
            EXPECT_EQ(view_.shown[0].first, c.index);
            EXPECT_EQ(view_.shown[0].second, IMPORT_PROBLEM_TREE);
        }
    }
}

// The editor's check (its message and where the problem is shown) and the
// loader's (its message and the System Log line) of each format.
TEST_F(ImportFormatTest, EditorAndLoaderChecks)
{
    const ImportProblemPlace fields = IMPORT_PROBLEM_FIELDS;
    const struct {
        const char* what;
        ImportFormat format;
        const char* editor;
        ImportProblemPlace place;
        const char* loader; // nullptr: not checked
        const char* log;    // nullptr: nothing logged
    } cases[] = {
        {"good", Format("G", 2, {Field("TIME", 0, "(\\d+)"), Field("TEXT", 1, "(.*)")}), "", fields, "", nullptr},
        {"every record field", Format("W", 2, EveryField()), "", fields, "", nullptr},
        {"one field more", Format("W", 2, EveryField(1)), "Field names duplicated", fields, nullptr, nullptr},
        {"no fields", Format("G", 2), "Must be at least one field", fields, "Must be at least one field",
         "Import : G - Must be at least one field"},
        {"not set", Format("N", 2, {Field("<not set>", 0, "(a)")}), "Need select field", fields, "Need select field",
         "Import : N - Need select field - field: <not set>"},
        {"empty key", Format("G", 2, {Field("", 0, "(a)")}), "Need select field", fields, nullptr, nullptr},
        {"unknown key", Format("U", 2, {Field("TIMES", 0, "(a)")}), "Need select field", fields, "Need select field",
         "Import : U - Need select field - field: TIMES"},
        {"duplicate", Format("G", 2, {Field("TEXT", 0, "(a)"), Field("TEXT", 1, "(b)")}), "Field names duplicated",
         fields, nullptr, nullptr},
        {"brackets", Format("G", 2, {Field("TEXT", 0, "a)")}), "No left Bracket", fields, nullptr, nullptr},
        {"delimited: only the loader checks brackets", Format("D", 2, {Field("TIME", 0, ";")}, IMPORT_MODE_DELIMITED),
         "", fields, "No left Bracket", "Import : D - No left Bracket - field RegExp: ;"},
        {"bad name", Format("G#1", 2, {Field("TEXT", 0, "(a)")}), "Name could not contain # symbol",
         IMPORT_PROBLEM_TREE, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ImportFormats.resize(size_t(PredefinedFormatCount));
        int32_t i = Add(c.format);
        view_.shown = {{-7, IMPORT_PROBLEM_TREE}};
        bool passes = ImportFormatChecks::CheckFields(i);
        EXPECT_EQ(ImportErrorText, c.editor);
        EXPECT_EQ(passes, *c.editor == 0);
        ASSERT_EQ(view_.shown.size(), passes ? 0u : 1u);
        if (!passes) {
            EXPECT_EQ(view_.shown[0].second, c.place);
        }
        if (!c.loader)
            continue;
        shell_.Clear();
        EXPECT_EQ(ImportFormatChecks::CheckFormat(i), c.log == nullptr);
        EXPECT_EQ(ImportErrorText, c.loader);
        EXPECT_EQ(shell_.log, c.log ? std::vector<std::string>{c.log} : std::vector<std::string>{});
    }
    EXPECT_FALSE(ImportFormatChecks::CheckFormat(-1));
    ImportFormat extensionless = Format("E", 2, {Field("TEXT", 0, "(a)")});
    extensionless.extension.clear();
    EXPECT_FALSE(ImportFormatChecks::CheckFields(Add(extensionless)));
    EXPECT_EQ(ImportErrorText, "Extension is empty");
    // A built-in format: only its extension counts.
    ImportFormats[0].fields.clear();
    EXPECT_TRUE(ImportFormatChecks::CheckFields(0));
    ImportFormats[0].extension.clear();
    EXPECT_FALSE(ImportFormatChecks::CheckFields(0));
    EXPECT_EQ(ImportErrorText, "Extension is empty");
    EXPECT_TRUE(ImportFormatChecks::CheckFields(-1));
    EXPECT_TRUE(ImportFormatChecks::CheckFields(1000));
}

TEST_F(ImportFormatTest, EditorLimits)
{
    int32_t main = Add(Format("M", 2));
    for (int n = 1; n <= 6; ++n)
        Add(Format(("M #" + std::to_string(n)).c_str(), 0));
    EXPECT_TRUE(ImportFormatChecks::CanAddSubTemplate(main));
    int32_t last = Add(Format("M #7", 0));
    EXPECT_FALSE(ImportFormatChecks::CanAddSubTemplate(last));
    const std::vector<std::string> refusal = {"Maximum amount of sub-templates (8) is reached"};
    EXPECT_EQ(shell_.log, refusal);
    EXPECT_EQ(shell_.info, refusal);
    EXPECT_EQ(shell_.warnings, std::vector<bool>{true});

    shell_.Clear();
    ImportFormat full = Format("F", 3);
    full.fields.resize(24);
    int32_t f = Add(full);
    EXPECT_TRUE(ImportFormatChecks::CanAddField(f));
    ImportFormats[f].fields.resize(25);
    EXPECT_FALSE(ImportFormatChecks::CanAddField(f));
    EXPECT_EQ(shell_.info, std::vector<std::string>{"Max number of fields archived!"});
    EXPECT_TRUE(shell_.log.empty());
}
