// The open dialog's filter and the import formats' search order.
#include <gtest/gtest.h>

#include "kxviewer/importformat.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/openfilekind.h"

namespace {

ImportFormat Format(const char* name, const char* extension, int32_t visual, bool enabled = true)
{
    ImportFormat format;
    format.name = name;
    format.extension = extension;
    format.visual = visual;
    format.enabled = enabled;
    return format;
}

class OpenFilter : public testing::Test {
protected:
    void SetUp() override { ImportFormats = DefaultImportTemplates(); }
    void TearDown() override { ImportFormats = saved_; }

private:
    ImportFormatList saved_ = ImportFormats;
};

const char FileTypesPart[] = "KX Local file (*.kxl);;KXD Raw file (*.kxd);;KX Raw file (*.kx *.kxtcp *.kxudp)";

} // namespace

TEST_F(OpenFilter, FileTypesThenFormatsThenAllFiles)
{
    EXPECT_EQ(OpenFileKind::Filter("", false), QString(FileTypesPart) + ";;SysLog (*.log );;All files (*.*)");
}

TEST_F(OpenFilter, RememberedEntryComesFirst)
{
    EXPECT_EQ(OpenFileKind::Filter("KXD Raw file (*.kxd)", false),
              "KXD Raw file (*.kxd);;KX Local file (*.kxl);;KX Raw file (*.kx *.kxtcp *.kxudp);;SysLog (*.log );;"
              "All files (*.*)");
    EXPECT_EQ(OpenFileKind::Filter("SysLog (*.log )", false),
              QString("SysLog (*.log );;") + FileTypesPart + ";;All files (*.*)");
}

TEST_F(OpenFilter, ImportOnlyLeavesTheFileTypesOutAndPutsAllFilesFirst)
{
    EXPECT_EQ(OpenFileKind::Filter("", true), "All files (*.*);;SysLog (*.log )");
    EXPECT_EQ(OpenFileKind::Filter("SysLog (*.log )", true), "SysLog (*.log );;All files (*.*)");
}

TEST_F(OpenFilter, RememberedFilterFromTheChosenSuffix)
{
    EXPECT_EQ(OpenFileKind::RememberedFilter("KXD", false), "KXD Raw file (*.kxd)");
    EXPECT_EQ(OpenFileKind::RememberedFilter("kxtcp", false), "KX Raw file (*.kx *.kxtcp *.kxudp)");
    EXPECT_EQ(OpenFileKind::RememberedFilter("LOG", false), "SysLog (*.log )");
    EXPECT_EQ(OpenFileKind::RememberedFilter("kxd", true), "");
    EXPECT_EQ(OpenFileKind::RememberedFilter("txt", false), "");
}

TEST_F(OpenFilter, PatternsAreTrimmedAndEmptyPiecesSkipped)
{
    ImportFormats.push_back(Format("Trace", " txt, ,trc ,", 2));
    EXPECT_EQ(OpenFileKind::Filter("", true), "All files (*.*);;SysLog (*.log );;Trace (*.txt *.trc )");
    EXPECT_EQ(OpenFileKind::FormatForSuffix("TRC"), 1);
}

TEST_F(OpenFilter, DisabledFormatsAndSubTemplatesAreNeverOffered)
{
    ImportFormats[0].enabled = false;
    ImportFormats.push_back(Format("Trace", "txt", 1));
    ImportFormats.push_back(Format("Trace #1", "sub", 0));
    EXPECT_EQ(OpenFileKind::Filter("", true), "All files (*.*);;Trace (*.txt )");
    EXPECT_EQ(OpenFileKind::FormatForSuffix("log"), -1);
    EXPECT_EQ(OpenFileKind::FormatForSuffix("sub"), -1);
    EXPECT_EQ(OpenFileKind::FormatForSuffix("txt"), 1);
}

TEST_F(OpenFilter, SearchFollowsTheDisplayOrderNotTheList)
{
    ImportFormats.push_back(Format("Later", "txt", 3));
    ImportFormats.push_back(Format("Earlier", "t*", 2));
    EXPECT_EQ(OpenFileKind::DisplayOrder(), (std::vector<int32_t>{0, 2, 1}));
    EXPECT_EQ(OpenFileKind::FormatForSuffix("txt"), 2);
    EXPECT_EQ(OpenFileKind::Filter("", true), "All files (*.*);;SysLog (*.log );;Earlier (*.t* );;Later (*.txt )");
}

TEST_F(OpenFilter, SamePatternTextGivesOneEntryTheFirstInDisplayOrder)
{
    ImportFormats.push_back(Format("Second", "txt", 3));
    ImportFormats.push_back(Format("First", "txt", 2));
    EXPECT_EQ(OpenFileKind::Filter("", true), "All files (*.*);;SysLog (*.log );;First (*.txt )");
    EXPECT_EQ(OpenFileKind::FormatForSuffix("txt"), 2);
}

TEST_F(OpenFilter, EqualDisplayValuesKeepBothFormatsInListOrder)
{
    ImportFormats.push_back(Format("Alpha", "txt", 2));
    ImportFormats.push_back(Format("Beta", "csv", 2));
    EXPECT_EQ(OpenFileKind::DisplayOrder(), (std::vector<int32_t>{0, 1, 2}));
    EXPECT_EQ(OpenFileKind::Filter("", true), "All files (*.*);;SysLog (*.log );;Alpha (*.txt );;Beta (*.csv )");
    EXPECT_EQ(OpenFileKind::FormatForSuffix("txt"), 1);
    EXPECT_EQ(OpenFileKind::FormatForSuffix("csv"), 2);
}

TEST_F(OpenFilter, DisplayValueOutOfRangeKeepsTheListPlace)
{
    ImportFormats.push_back(Format("Odd", "odd", 99));
    ImportFormats.push_back(Format("Top", "top", 1));
    ImportFormats[0].visual = 1;
    EXPECT_EQ(OpenFileKind::DisplayOrder(), (std::vector<int32_t>{0, 2, 1}));
}

TEST_F(OpenFilter, AStarPatternMatchesNoSuffixAndStandsForAllFiles)
{
    ImportFormats.push_back(Format("Anything", "*", 2));
    EXPECT_EQ(OpenFileKind::FormatForSuffix(""), 1);
    EXPECT_EQ(OpenFileKind::Filter("", false), QString(FileTypesPart) + ";;SysLog (*.log );;Anything (*.* )");
}
