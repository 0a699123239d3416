#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>
#include <string>

#include "tests/utils/osal/osal_fixtures.h"
#include "utils/osal/fdir.h"

using kxtest::Exists;
using kxtest::KxCapture;
using kxtest::TempDir;
using kxtest::WriteFile;
using ZmLib::FDIR;

namespace {

std::set<std::string> Walk(FDIR& walker)
{
    std::set<std::string> seen;
    for (const char* e = walker.FileFirst(); e != nullptr; e = walker.FileNext())
        EXPECT_TRUE(seen.insert(e).second) << "entry twice: " << e;
    return seen;
}

} // namespace

TEST(FdirWalk, ThousandEntriesWithDotNamesAndAFolder)
{
    TempDir dir;
    FDIR walker(dir.Path().c_str());
    EXPECT_EQ(walker.FileFirst(), nullptr);
    EXPECT_FALSE(walker.HasHandle());

    std::set<std::string> expected;
    for (int i = 0; i < 995; ++i)
        expected.insert(dir / ("file" + std::to_string(i) + (i % 3 == 0 ? ".txt" : "")));
    for (const char* name : {".a", "..b", "...", ".kx"})
        expected.insert(dir / name);
    for (const std::string& path : expected)
        WriteFile(path, "x");
    ASSERT_EQ(mkdir((dir / "sub").c_str(), 0700), 0);
    expected.insert(dir / "sub");

    std::set<std::string> seen = Walk(walker);
    EXPECT_EQ(seen.size(), 1000u);
    EXPECT_EQ(seen, expected);
    // The walk ends without releasing the handle; its owner does.
    EXPECT_TRUE(walker.HasHandle());
    EXPECT_EQ(walker.FileNext(), nullptr);
    walker.Close();
    EXPECT_FALSE(walker.HasHandle());
}

TEST(FdirWalk, TrailingSeparatorIsNotDoubledAndFileFirstRestarts)
{
    TempDir dir;
    for (int i = 0; i < 5; ++i)
        WriteFile(dir / std::to_string(i), "x");
    FDIR walker((dir.Path() + "/").c_str());
    const char* e = walker.FileFirst();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(std::string(e).rfind(dir.Path() + "/", 0), 0u);
    EXPECT_EQ(std::string(e).find("//"), std::string::npos);
    EXPECT_STREQ(walker.Current(), e);
    ASSERT_NE(walker.FileNext(), nullptr);
    EXPECT_EQ(Walk(walker).size(), 5u);
}

TEST(FdirWalk, MissingFolderAndNextWithoutHandle)
{
    TempDir dir;
    KxCapture capture;
    FDIR walker((dir / "none").c_str());
    EXPECT_EQ(walker.FileFirst(), nullptr);
    EXPECT_EQ(walker.FileNext(), nullptr);
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_ASSERT, "Handle"));
}

TEST(FdirMkDir, ExistingFoldersAreTrueWithoutReportNewOnesOneLevel)
{
    TempDir dir;
    KxCapture capture;
    EXPECT_TRUE(FDIR::MkDir_(nullptr));
    EXPECT_TRUE(FDIR::MkDir_(""));
    EXPECT_TRUE(FDIR::MkDir_(dir.Path().c_str()));
    EXPECT_TRUE(capture.Empty());

    EXPECT_TRUE(FDIR::MkDir_((dir / "new").c_str()));
    struct stat st;
    ASSERT_EQ(stat((dir / "new").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));

    std::string deep = dir / "x/y";
    EXPECT_FALSE(FDIR::MkDir_(deep.c_str()));
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_WARNING, "_mkdir(" + deep + ") failed, errno = 2"));
}

TEST(FdirMkDir, ExistingRegularFileIsNotAFolder)
{
    TempDir dir;
    std::string path = dir / "plain";
    WriteFile(path, "x");
    KxCapture capture;
    EXPECT_FALSE(FDIR::MkDir_(path.c_str()));
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_WARNING, "_mkdir(" + path + ") failed, errno = 17"));
}

TEST(FdirRmDir, RemovesOnlyEmptyFolders)
{
    TempDir dir;
    ASSERT_EQ(mkdir((dir / "empty").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((dir / "full").c_str(), 0700), 0);
    WriteFile(dir / "full/f", "x");
    KxCapture capture;
    EXPECT_TRUE(FDIR::RmDir_((dir / "empty").c_str()));
    EXPECT_FALSE(Exists(dir / "empty"));
    EXPECT_FALSE(FDIR::RmDir_((dir / "full").c_str()));
    EXPECT_TRUE(Exists(dir / "full/f"));
    EXPECT_TRUE(
        capture.Has(ZmLib::KX_LEVEL_WARNING, "_rmdir(" + (dir / "full") + ") failed, error returned = -1"));
}
