#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/utils/osal/osal_fixtures.h"
#include "utils/common/sdfile.h"

using kxtest::KxCapture;
using kxtest::ReadFile;
using kxtest::TempDir;
using kxtest::WriteFile;
using ZmLib::SdFileBase;
using ZmLib::SdSection;

namespace {

// The header built by hand: LF, "SECTION:", the name right-aligned in 10,
// ':', the size left-aligned in 16, LF.
std::string Header(const std::string& name, const std::string& size)
{
    return "\nSECTION:" + std::string(10 - name.size(), ' ') + name + ":" + size +
           std::string(16 - size.size(), ' ') + "\n";
}

const std::string END_MARKER = "\n<<<END OF FILE>>>\n";

std::string FileCount(const std::string& dir)
{
    return std::to_string(std::distance(std::filesystem::directory_iterator(dir), {}));
}

class SdFileTest : public ::testing::Test {
protected:
    // Writes sections of the given names and contents as a new container.
    bool Create(const std::vector<std::pair<std::string, std::string>>& sections)
    {
        SdSection table[7];
        SdFileBase file(table, 7);
        file.SetPath(path.c_str());
        for (const auto& s : sections) {
            SdSection* sec = file.AddSection(s.first.c_str());
            sec->Data = reinterpret_cast<uint8_t*>(const_cast<char*>(s.second.data()));
            sec->DataSize = int64_t(s.second.size());
        }
        bool ok = file.FlushSections(0);
        file.Close();
        return ok;
    }

    TempDir dir;
    std::string path = dir / "doc.kxl";
};

} // namespace

TEST_F(SdFileTest, HeaderBytes)
{
    EXPECT_EQ(Header("TABLE", "496"), "\nSECTION:     TABLE:496             \n");
    ASSERT_EQ(Header("TABLE", "496").size(), 37u);
    std::string data(496, 'd');
    ASSERT_TRUE(Create({{"TABLE", data}}));
    EXPECT_EQ(ReadFile(path), "\nSECTION:     TABLE:496             \n" + data + END_MARKER);
}

TEST_F(SdFileTest, LayoutOfSectionsOfTenZeroAndFiveBytes)
{
    ASSERT_TRUE(Create({{"A", "0123456789"}, {"EMPTY", ""}, {"C", "abcde"}}));
    const std::string expected = Header("A", "10") + "0123456789" + Header("EMPTY", "0") + Header("C", "5") +
                                 "abcde" + END_MARKER;
    EXPECT_EQ(ReadFile(path), expected);
    EXPECT_EQ(expected.size(), 145u);

    SdSection table[7];
    SdFileBase file(table, 7);
    file.SetPath(path.c_str());
    KxCapture capture;
    ASSERT_EQ(file.ScanAll(), 3);
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_WARNING,
                            "File '" + path + "': section #3 header corrupted"));
    EXPECT_EQ(table[0].Offset, 0);
    EXPECT_EQ(table[1].Offset, 47);
    EXPECT_EQ(table[2].Offset, 84);
    EXPECT_STREQ(table[1].Name.c_str(), "EMPTY");
    EXPECT_EQ(table[1].DataSize, 0);
    EXPECT_EQ(file.ScanPos, 126);

    ZmLib::Str<16> buffer;
    ASSERT_TRUE(table[2].ReadAllData(file.File, buffer));
    EXPECT_STREQ(buffer.c_str(), "abcde");
    EXPECT_EQ(buffer.Length(), 5u);
    EXPECT_EQ(reinterpret_cast<char*>(table[2].Data), buffer.Data());
}

TEST_F(SdFileTest, EmptyContainerIsTheEndMarkerAlone)
{
    ASSERT_TRUE(Create({}));
    EXPECT_EQ(ReadFile(path), END_MARKER);
}

TEST_F(SdFileTest, ScanStopsAtMaxSectionsWithoutWarning)
{
    ASSERT_TRUE(Create({{"A", "1"}, {"B", "22"}, {"C", "333"}}));
    SdSection table[3];
    SdFileBase file(table, 3);
    file.SetPath(path.c_str());
    KxCapture capture;
    EXPECT_EQ(file.ScanAll(), 3);
    EXPECT_TRUE(capture.Empty());
}

TEST_F(SdFileTest, ReadAllDataNeedsRoomForTheNul)
{
    ASSERT_TRUE(Create({{"A", "12345"}}));
    SdSection table[1];
    SdFileBase file(table, 1);
    file.SetPath(path.c_str());
    ASSERT_EQ(file.ScanAll(), 1);

    KxCapture capture;
    ZmLib::Str<6> exact; // capacity 5
    EXPECT_FALSE(table[0].ReadAllData(file.File, exact));
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_VERIFY, "buffer.GetMaxLen() > DataSize"));
    ZmLib::Str<7> enough;
    EXPECT_TRUE(table[0].ReadAllData(file.File, enough));
    EXPECT_STREQ(enough.c_str(), "12345");
}

TEST_F(SdFileTest, DataWithNulBytesIsReadWhole)
{
    const std::string data("a\0b\0c", 5);
    ASSERT_TRUE(Create({{"BIN", data}}));
    SdSection table[1];
    SdFileBase file(table, 1);
    file.SetPath(path.c_str());
    ASSERT_EQ(file.ScanAll(), 1);
    ZmLib::Str<8> buffer;
    ASSERT_TRUE(table[0].ReadAllData(file.File, buffer));
    EXPECT_EQ(std::string(buffer.c_str(), buffer.Length()), data);
}

TEST_F(SdFileTest, UpdateInPlaceKeepsTheBytesBefore)
{
    ASSERT_TRUE(Create({{"A", "0123456789"}, {"EMPTY", ""}, {"C", "abcde"}}));
    const std::string before = ReadFile(path);

    SdSection table[7];
    SdFileBase file(table, 7);
    file.SetPath(path.c_str());
    ASSERT_EQ(file.ScanAll(), 3);
    file.Close();

    ASSERT_TRUE(file.FlushStart4Update(1));
    EXPECT_EQ(file.NumSections, 1);
    std::string b = "xyz";
    std::string c = "";
    SdSection* sb = file.AddSection("EMPTY");
    EXPECT_EQ(sb->Offset, 47);
    sb->Data = reinterpret_cast<uint8_t*>(b.data());
    sb->DataSize = 3;
    ASSERT_TRUE(file.FlushSection(*sb));
    SdSection* sc = file.AddSection("C");
    EXPECT_EQ(sc->Offset, 87);
    sc->Data = reinterpret_cast<uint8_t*>(c.data());
    ASSERT_TRUE(file.FlushSection(*sc));
    ASSERT_TRUE(file.FlushStop());

    const std::string after = ReadFile(path);
    EXPECT_EQ(after.substr(0, 47), before.substr(0, 47));
    const std::string tail = Header("EMPTY", "3") + "xyz" + Header("C", "0") + END_MARKER;
    EXPECT_EQ(after.substr(47, tail.size()), tail);
    // Not truncated: the old file was longer than the new content.
    EXPECT_EQ(after.size(), std::max(before.size(), 47 + tail.size()));

    SdSection again[2];
    SdFileBase reread(again, 2);
    reread.SetPath(path.c_str());
    ASSERT_EQ(reread.ScanAll(), 2);
    EXPECT_EQ(again[1].DataSize, 3);
}

TEST_F(SdFileTest, FlushSectionsFromKCutsTheFileThere)
{
    ASSERT_TRUE(Create({{"A", "0123456789"}, {"B", "b"}, {"C", "c"}}));
    SdSection table[7];
    SdFileBase file(table, 7);
    file.SetPath(path.c_str());
    ASSERT_EQ(file.ScanAll(), 3);
    file.Close();
    ASSERT_TRUE(file.FlushSections(1));
    EXPECT_EQ(ReadFile(path).substr(0, 47 + 19), Header("A", "10") + "0123456789" + END_MARKER);
}

TEST_F(SdFileTest, UpdateOfAFileThatShrankFails)
{
    ASSERT_TRUE(Create({{"A", "0123456789"}, {"B", "b"}}));
    SdSection table[7];
    SdFileBase file(table, 7);
    file.SetPath(path.c_str());
    ASSERT_EQ(file.ScanAll(), 2);
    file.Close();
    std::filesystem::resize_file(path, 20);

    KxCapture capture;
    EXPECT_FALSE(file.FlushStart4Update(1));
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_VERIFY, "SeekSectionPos(start,false)"));
    file.Close();
    EXPECT_EQ(std::filesystem::file_size(path), 20u);
}

TEST_F(SdFileTest, LongNameIsRefusedAndTheOldFileKept)
{
    ASSERT_TRUE(Create({{"A", "old"}}));
    const std::string before = ReadFile(path);
    KxCapture capture;
    EXPECT_FALSE(Create({{"A", "new"}, {"ELEVENCHARS", "x"}}));
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_VERIFY, "FlushSectionHeader(sec)"));
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_VERIFY, "FlushSection(sec)"));
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(FileCount(dir.Path()), "1");
}

TEST_F(SdFileTest, CreateInUnwritableFolderFails)
{
    WriteFile(dir / "notadir", "x");
    path = dir / "notadir/doc.kxl";
    KxCapture capture;
    EXPECT_FALSE(Create({{"A", "1"}}));
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_VERIFY,
                            "startsection ? FlushStart4Update(startsection) : FlushStart4Create()"));
}

TEST_F(SdFileTest, FailedRenameKeepsWhatIsThereAndNoTemporary)
{
    std::filesystem::create_directory(path);
    KxCapture capture;
    EXPECT_FALSE(Create({{"A", "1"}}));
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_VERIFY, "FlushStop()"));
    EXPECT_TRUE(std::filesystem::is_directory(path));
    EXPECT_EQ(FileCount(dir.Path()), "1");
}

struct CorruptCase {
    const char* what;
    std::string content;
    int32_t sections;
    std::string warning;
};

TEST_F(SdFileTest, CorruptHeadersAndSizesStopTheScan)
{
    const std::string good = Header("A", "2") + "aa";
    std::string badTag = Header("B", "1");
    badTag[7] = 'M';
    std::string noColon = Header("B", "1");
    noColon[19] = ' ';
    const std::string at1 = "': section #1 ";
    const CorruptCase cases[] = {
        {"negative size", good + Header("B", "-5") + "xxxxx" + END_MARKER, 1, "data size -5 is out of the file"},
        {"size past the end", good + Header("B", "40") + "short" + END_MARKER, 1, "data size 40 is out of the file"},
        {"huge size", good + Header("B", "9999999999999999") + END_MARKER, 1,
         "data size 9999999999999999 is out of the file"},
        {"truncated header", good + Header("B", "1").substr(0, 20), 1, "read header error"},
        {"nothing after the data", good, 1, "read header error"},
        {"bad tag", good + badTag + "b" + END_MARKER, 1, "header corrupted"},
        {"no colon", good + noColon + "b" + END_MARKER, 1, "header corrupted"},
        {"eleven-character name", good + "\nSECTION:ELEVENCHARS:1               \nb" + END_MARKER, 1,
         "header corrupted"},
        {"header shifted by a byte", good + "x" + Header("B", "1") + "b" + END_MARKER, 1, "header corrupted"},
        {"first header bad", "garbage that is long enough to fill a header", 0, "header corrupted"},
    };
    for (const CorruptCase& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(path, c.content);
        SdSection table[7];
        SdFileBase file(table, 7);
        file.SetPath(path.c_str());
        KxCapture capture;
        EXPECT_EQ(file.ScanAll(), c.sections);
        std::string index = c.sections == 0 ? "': section #0 " : at1;
        EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_WARNING, "File '" + path + index + c.warning));
    }
}

TEST_F(SdFileTest, ScanOfAMissingFileFindsNothing)
{
    SdSection table[2];
    SdFileBase file(table, 2);
    file.SetPath((dir / "missing.kxl").c_str());
    EXPECT_EQ(file.ScanFirst(), nullptr);
    EXPECT_EQ(file.ScanAll(), 0);
}

TEST(SdFileDeathTest, ProgrammingErrorsAbort)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    SdSection table[1];
    SdFileBase file(table, 1);
    file.AddSection("A");
    EXPECT_DEATH(file.AddSection("B"), "");
    EXPECT_DEATH(file.GetSection(1), "");
    EXPECT_DEATH(file.FlushStart4Update(1), "");
}
