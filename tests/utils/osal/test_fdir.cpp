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

    std::set<std::string> expected;
    for (int i = 0; i < 995; ++i)
        expected.insert(dir / ("file" + std::to_string(i) + (i % 3 == 0 ? ".txt" : "")));
    for (const char* name : {".a", "..b", "...", ".kx"})
        expected.insert(dir / name);
    for (const std::string& path : expected)
        WriteFile(path, "x");
    ASSERT_EQ(mkdir((dir / "sub").c_str(), 0700), 0);
    expected.insert(dir / "sub");

    EXPECT_EQ(Walk(walker), expected);
    // The walk ends without releasing the handle; its owner does.
    EXPECT_TRUE(walker.HasHandle());
    EXPECT_EQ(walker.FileNext(), nullptr);
    walker.Close();
    EXPECT_FALSE(walker.HasHandle());
}

TEST(FdirWalk, TrailingSeparatorIsNotDoubledFileFirstRestartsMissingFolderReports)
{
    TempDir dir;
    for (int i = 0; i < 5; ++i)
        WriteFile(dir / std::to_string(i), "x");
    FDIR walker((dir.Path() + "/").c_str());
    ASSERT_NE(walker.FileFirst(), nullptr);
    EXPECT_EQ(std::string(walker.FileNext()).rfind(dir.Path() + "/", 0), 0u);
    EXPECT_EQ(std::string(walker.Current()).find("//"), std::string::npos);
    EXPECT_EQ(Walk(walker).size(), 5u);

    KxCapture capture;
    FDIR missing((dir / "none").c_str());
    EXPECT_EQ(missing.FileFirst(), nullptr);
    EXPECT_EQ(missing.FileNext(), nullptr);
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_ASSERT, "Handle"));
}

TEST(FdirMkDir, ExistingFoldersSucceedSilentlyOthersReportErrno)
{
    TempDir dir;
    WriteFile(dir / "plain", "x");
    const struct {
        std::string path;
        bool result;
        const char* report; // the warning's end, null for none
    } cases[] = {
        {"", true, nullptr},
        {dir.Path(), true, nullptr},
        {dir / "new", true, nullptr}, // one level only
        {dir / "x/y", false, "failed, errno = 2"},
        {dir / "plain", false, "failed, errno = 17"},
    };
    for (const auto& c : cases) {
        KxCapture capture;
        EXPECT_EQ(FDIR::MkDir_(c.path.c_str()), c.result) << c.path;
        EXPECT_EQ(capture.Empty(), c.report == nullptr) << c.path;
        if (c.report != nullptr) {
            EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_WARNING, "_mkdir(" + c.path + ") " + c.report));
        }
    }
    EXPECT_TRUE(FDIR::MkDir_(nullptr));
    EXPECT_TRUE(Exists(dir / "new/"));
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
