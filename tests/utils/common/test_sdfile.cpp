#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

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

// A container scanned into a table of up to max sections.
struct Scanned {
    explicit Scanned(const std::string& path, int32_t max = 7) : file(table, max)
    {
        file.SetPath(path.c_str());
        count = file.ScanAll();
    }
    SdSection table[7];
    SdFileBase file;
    int32_t count;
};

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
        return file.FlushSections(0);
    }

    size_t FileCount() const
    {
        return size_t(std::distance(std::filesystem::directory_iterator(dir.Path()), {}));
    }

    TempDir dir;
    std::string path = dir / "doc.kxl";
};

} // namespace

TEST_F(SdFileTest, ExactLayoutOfSectionsOfTenZeroAndFiveBytes)
{
    ASSERT_TRUE(Create({}));
    EXPECT_EQ(ReadFile(path), END_MARKER);
    ASSERT_TRUE(Create({{"TABLE", std::string(496, 'd')}}));
    EXPECT_EQ(ReadFile(path), "\nSECTION:     TABLE:496             \n" + std::string(496, 'd') + END_MARKER);

    ASSERT_TRUE(Create({{"A", "0123456789"}, {"EMPTY", ""}, {"C", "abcde"}}));
    const std::string expected =
        Header("A", "10") + "0123456789" + Header("EMPTY", "0") + Header("C", "5") + "abcde" + END_MARKER;
    EXPECT_EQ(ReadFile(path), expected);
    EXPECT_EQ(expected.size(), 145u);

    KxCapture capture;
    Scanned s(path);
    ASSERT_EQ(s.count, 3);
    // The end marker is where the scan stops.
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_WARNING, "File '" + path + "': section #3 header corrupted"));
    EXPECT_EQ(s.table[0].Offset, 0);
    EXPECT_EQ(s.table[1].Offset, 47);
    EXPECT_EQ(s.table[2].Offset, 84);
    EXPECT_STREQ(s.table[1].Name.c_str(), "EMPTY");
    EXPECT_EQ(s.table[1].DataSize, 0);
    EXPECT_EQ(s.file.ScanPos, 126);

    // A full table stops the scan without a warning.
    KxCapture quiet;
    EXPECT_EQ(Scanned(path, 2).count, 2);
    EXPECT_TRUE(quiet.Empty());
}

TEST_F(SdFileTest, ReadAllDataNeedsRoomForTheNulAndKeepsNulBytes)
{
    const std::string data("a\0b\0c", 5);
    ASSERT_TRUE(Create({{"BIN", data}}));
    Scanned s(path);
    ASSERT_EQ(s.count, 1);
    KxCapture capture;
    ZmLib::Str<6> exact; // capacity 5
    EXPECT_FALSE(s.table[0].ReadAllData(s.file.File, exact));
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_VERIFY, "buffer.GetMaxLen() > DataSize"));
    ZmLib::Str<7> enough;
    ASSERT_TRUE(s.table[0].ReadAllData(s.file.File, enough));
    EXPECT_EQ(std::string(enough.c_str(), enough.Length()), data);
    EXPECT_EQ(reinterpret_cast<char*>(s.table[0].Data), enough.Data());
}

TEST_F(SdFileTest, UpdateInPlaceKeepsTheBytesBefore)
{
    ASSERT_TRUE(Create({{"A", "0123456789"}, {"EMPTY", ""}, {"C", "abcde"}}));
    const std::string before = ReadFile(path);
    Scanned s(path);
    ASSERT_EQ(s.count, 3);
    s.file.Close();

    ASSERT_TRUE(s.file.FlushStart4Update(1));
    EXPECT_EQ(s.file.NumSections, 1);
    std::string b = "xyz";
    SdSection* sb = s.file.AddSection("EMPTY");
    EXPECT_EQ(sb->Offset, 47);
    sb->Data = reinterpret_cast<uint8_t*>(b.data());
    sb->DataSize = 3;
    ASSERT_TRUE(s.file.FlushSection(*sb));
    SdSection* sc = s.file.AddSection("C");
    EXPECT_EQ(sc->Offset, 87);
    sc->Data = reinterpret_cast<uint8_t*>(b.data());
    ASSERT_TRUE(s.file.FlushSection(*sc));
    ASSERT_TRUE(s.file.FlushStop());

    const std::string after = ReadFile(path);
    EXPECT_EQ(after.substr(0, 47), before.substr(0, 47));
    const std::string tail = Header("EMPTY", "3") + "xyz" + Header("C", "0") + END_MARKER;
    EXPECT_EQ(after.substr(47, tail.size()), tail);
    // Not truncated: the old file was longer than the new content.
    EXPECT_EQ(after.size(), std::max(before.size(), 47 + tail.size()));
    Scanned again(path);
    ASSERT_EQ(again.count, 3);
    EXPECT_EQ(again.table[1].DataSize, 3);

    // Rewriting from section 1 with nothing added cuts the file there.
    again.file.Close();
    ASSERT_TRUE(again.file.FlushSections(1));
    EXPECT_EQ(ReadFile(path).substr(0, 47 + 19), Header("A", "10") + "0123456789" + END_MARKER);
}

TEST_F(SdFileTest, UpdateOfAFileThatShrankFails)
{
    ASSERT_TRUE(Create({{"A", "0123456789"}, {"B", "b"}}));
    Scanned s(path);
    ASSERT_EQ(s.count, 2);
    s.file.Close();
    std::filesystem::resize_file(path, 20);
    KxCapture capture;
    EXPECT_FALSE(s.file.FlushStart4Update(1));
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_VERIFY, "SeekSectionPos(start,false)"));
    s.file.Close();
    EXPECT_EQ(std::filesystem::file_size(path), 20u);
}

TEST_F(SdFileTest, FailedWritesKeepThePreviousFileAndLeaveNoTemporary)
{
    ASSERT_TRUE(Create({{"A", "old"}}));
    const std::string before = ReadFile(path);
    {
        KxCapture capture;
        EXPECT_FALSE(Create({{"A", "new"}, {"ELEVENCHARS", "x"}}));
        EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_VERIFY, "FlushSectionHeader(sec)"));
        EXPECT_EQ(ReadFile(path), before);
        EXPECT_EQ(FileCount(), 1u);
    }
    {
        // A directory in the file's place: the final rename fails.
        std::filesystem::remove(path);
        std::filesystem::create_directory(path);
        KxCapture capture;
        EXPECT_FALSE(Create({{"A", "1"}}));
        EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_VERIFY, "FlushStop()"));
        EXPECT_TRUE(std::filesystem::is_directory(path));
        EXPECT_EQ(FileCount(), 1u);
    }
    WriteFile(dir / "notadir", "x");
    path = dir / "notadir/doc.kxl";
    KxCapture capture;
    EXPECT_FALSE(Create({{"A", "1"}}));
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_VERIFY,
                            "startsection ? FlushStart4Update(startsection) : FlushStart4Create()"));
}

TEST_F(SdFileTest, CorruptHeadersAndSizesStopTheScan)
{
    const std::string good = Header("A", "2") + "aa";
    std::string badTag = Header("B", "1");
    badTag[7] = 'M';
    std::string noColon = Header("B", "1");
    noColon[19] = ' ';
    const struct {
        const char* what;
        std::string content;
        int32_t sections;
        std::string warning;
    } cases[] = {
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(path, c.content);
        KxCapture capture;
        EXPECT_EQ(Scanned(path).count, c.sections);
        const std::string at = "': section #" + std::to_string(c.sections) + " ";
        EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_WARNING, "File '" + path + at + c.warning));
    }
    EXPECT_EQ(Scanned(dir / "missing.kxl").count, 0);
}

// Each dies of its own check, with the check's report: any other death (a
// sanitizer's report of the overflow an unchecked call makes) fails.
TEST(SdFileDeathTest, ProgrammingErrorsAbort)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The report reaches standard error only when asked for.
    setenv("KXV_DEBUG_STDERR", "1", 1);
    SdSection table[1];
    SdFileBase file(table, 1);
    file.AddSection("A");
    const auto report = [](const char* check) {
        return std::string("ASSERT failure \\[[^]]*sdfile\\.cpp:[0-9]+\\] ") + check;
    };
    EXPECT_DEATH(file.AddSection("B"), report("NumSections < MaxSections"));
    EXPECT_DEATH(file.GetSection(1), report("id < NumSections"));
    EXPECT_DEATH(file.FlushStart4Update(1), report("fromsection < NumSections"));
    unsetenv("KXV_DEBUG_STDERR");
}
