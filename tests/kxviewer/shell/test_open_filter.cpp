// The open dialog's filter and the import formats' search order.
#include <gtest/gtest.h>

#include "kxviewer/importformat.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/openfilekind.h"

namespace {

ImportFormat Format(const char* name, const char* extension, int32_t visual)
{
    ImportFormat format;
    format.name = name;
    format.extension = extension;
    format.visual = visual;
    format.enabled = true;
    return format;
}

class OpenFilter : public testing::Test {
protected:
    void SetUp() override { ImportFormats = DefaultImportTemplates(); }
    void TearDown() override { ImportFormats = saved_; }

private:
    ImportFormatList saved_ = ImportFormats;
};

const QString KnownTypes = "KX Local file (*.kxl);;KXD Raw file (*.kxd);;KX Raw file (*.kx *.kxtcp *.kxudp)";
// "*", not "*.*": files without a suffix are shown as well.
const QString All = "All files (*)";
const QString SysLog = "SysLog (*.log )";

} // namespace

TEST_F(OpenFilter, EntriesAndTheRememberedOneFirst)
{
    const struct {
        const char* remembered;
        bool importOnly;
        QString filter;
    } cases[] = {
        {"", false, KnownTypes + ";;" + SysLog + ";;" + All},
        {"KXD Raw file (*.kxd)", false,
         "KXD Raw file (*.kxd);;KX Local file (*.kxl);;KX Raw file (*.kx *.kxtcp *.kxudp);;" + SysLog + ";;" + All},
        {"SysLog (*.log )", false, SysLog + ";;" + KnownTypes + ";;" + All},
        {"", true, All + ";;" + SysLog},
        {"SysLog (*.log )", true, SysLog + ";;" + All},
        {"All files (*)", false, All + ";;" + KnownTypes + ";;" + SysLog},
        {"All files (*)", true, All + ";;" + SysLog},
        {"All files (*.*)", false, KnownTypes + ";;" + SysLog + ";;" + All},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OpenFileKind::Filter(c.remembered, c.importOnly), c.filter) << c.remembered << c.importOnly;

    EXPECT_EQ(OpenFileKind::RememberedFilter("KXD", false), "KXD Raw file (*.kxd)");
    EXPECT_EQ(OpenFileKind::RememberedFilter("kxtcp", false), "KX Raw file (*.kx *.kxtcp *.kxudp)");
    EXPECT_EQ(OpenFileKind::RememberedFilter("LOG", false), "SysLog (*.log )");
    EXPECT_EQ(OpenFileKind::RememberedFilter("kxd", true), "");
    EXPECT_EQ(OpenFileKind::RememberedFilter("txt", false), "");
}

// Formats added to the defaults: the import-only filter they give, their
// display order, and the format found for suffixes (-1 for none); an empty
// entry is not checked.
TEST_F(OpenFilter, FormatsInDisplayOrder)
{
    struct Case {
        const char* what;
        std::vector<ImportFormat> added;
        bool disableFirst;
        QString filter;
        std::vector<int32_t> order;
        std::vector<std::pair<const char*, int32_t>> suffixes;
    };
    const Case cases[] = {
        {"patterns trimmed, empty pieces skipped", {Format("Trace", " txt, ,trc ,", 2)}, false,
         All + ";;" + SysLog + ";;Trace (*.txt *.trc )", {0, 1}, {{"TRC", 1}}},
        {"disabled formats and sub-templates never offered", {Format("Trace", "txt", 1), Format("Trace #1", "sub", 0)},
         true, All + ";;Trace (*.txt )", {}, {{"log", -1}, {"sub", -1}, {"txt", 1}}},
        {"display order, not list order", {Format("Later", "txt", 3), Format("Earlier", "t*", 2)}, false,
         All + ";;" + SysLog + ";;Earlier (*.t* );;Later (*.txt )", {0, 2, 1}, {{"txt", 2}}},
        {"same pattern: one entry, the first shown", {Format("Second", "txt", 3), Format("First", "txt", 2)}, false,
         All + ";;" + SysLog + ";;First (*.txt )", {0, 2, 1}, {{"txt", 2}}},
        {"equal display values keep list order", {Format("Alpha", "txt", 2), Format("Beta", "csv", 2)}, false,
         All + ";;" + SysLog + ";;Alpha (*.txt );;Beta (*.csv )", {0, 1, 2}, {{"txt", 1}, {"csv", 2}}},
        {"a star matches no suffix", {Format("Anything", "*", 2)}, false,
         All + ";;" + SysLog + ";;Anything (*.* )", {}, {{"", 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImportFormats = DefaultImportTemplates();
        ImportFormats[0].enabled = !c.disableFirst;
        ImportFormats.insert(ImportFormats.end(), c.added.begin(), c.added.end());
        if (!c.filter.isEmpty()) {
            EXPECT_EQ(OpenFileKind::Filter("", true), c.filter);
        }
        if (!c.order.empty()) {
            EXPECT_EQ(OpenFileKind::DisplayOrder(), c.order);
        }
        for (const auto& [suffix, format] : c.suffixes)
            EXPECT_EQ(OpenFileKind::FormatForSuffix(suffix), format) << suffix;
    }
    // A star pattern gives "*.*", which leaves out files without a suffix:
    // the entry for all files stays.
    EXPECT_EQ(OpenFileKind::Filter("", false), KnownTypes + ";;" + SysLog + ";;Anything (*.* );;" + All);

    // A display value out of range keeps the list place.
    ImportFormats = DefaultImportTemplates();
    ImportFormats[0].visual = 1;
    ImportFormats.push_back(Format("Odd", "odd", 99));
    ImportFormats.push_back(Format("Top", "top", 1));
    EXPECT_EQ(OpenFileKind::DisplayOrder(), (std::vector<int32_t>{0, 2, 1}));
}
