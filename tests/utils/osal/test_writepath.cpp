// Which links a write at a user's path may follow: in a sticky folder that
// others may write to, only the user's own and the folder owner's; anywhere
// else, every link. Other owners come from the owner seam, or are real
// where the test runs as root.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "tests/utils/osal/osal_fixtures.h"
#include "tests/utils/osal/otherowners.h"
#include "utils/osal/writepath.h"

using kxtest::Exists;
using kxtest::OtherOwners;
using kxtest::ReadFile;
using kxtest::TempDir;
using kxtest::WriteFile;

namespace {

class WritePath : public ::testing::Test {
protected:
    void SetUp() override
    {
        t = dir.Path();
        ASSERT_EQ(mkdir((t + "/private").c_str(), 0700), 0);
        WriteFile(t + "/private/victim", "victim");
        for (const char* shared : {"/shared", "/theirshared"})
            ASSERT_TRUE(kxtest::MakeSharedFolder(t + shared));
        for (const auto& [folder, mode] : {std::pair{"/open", 0777}, std::pair{"/groupsticky", 01770}}) {
            ASSERT_EQ(mkdir((t + folder).c_str(), 0700), 0);
            ASSERT_EQ(chmod((t + folder).c_str(), mode_t(mode)), 0);
        }
    }

    // A link at name (below the scratch folder) to target.
    void Link(const std::string& target, const std::string& name)
    {
        ASSERT_EQ(symlink(target.c_str(), (t + name).c_str()), 0) << name;
    }

    TempDir dir;
    std::string t;
    OtherOwners owners;
};

TEST_F(WritePath, OnlyOwnLinksAndTheFolderOwnersAreFollowedInSharedFolders)
{
    const std::string victim = t + "/private/victim";
    Link("../private/victim", "/shared/mine");
    Link(t + "/shared/mine", "/shared/chain");
    for (const char* theirs : {"/shared/theirs", "/theirshared/theirs", "/open/theirs", "/groupsticky/theirs",
                               "/private/theirs", "/shared/dangling"}) {
        Link(std::string(theirs) == "/shared/dangling" ? t + "/private/new" : victim, theirs);
        owners.Set(t + theirs);
    }
    owners.Set(t + "/theirshared");
    Link(t + "/shared/theirs", "/private/tochain");
    Link(t + "/private/new", "/shared/mydangling");
    Link("loop", "/loop");
    WriteFile(t + "/plain", "p");

    const struct {
        std::string path;
        std::string target;  // empty: refused or failed
        std::string refused; // the link named in the refusal
        int error;
    } cases[] = {
        {t + "/plain", t + "/plain", "", 0},
        {t + "/missing", t + "/missing", "", 0},
        {t + "/private/victim", victim, "", 0},
        // The user's own links, one after another.
        {t + "/shared/mine", t + "/shared/../private/victim", "", 0},
        {t + "/shared/chain", t + "/shared/../private/victim", "", 0},
        {t + "/shared/mydangling", t + "/private/new", "", 0},
        // Another user's link where the kernel follows it too: the folder is
        // that user's, or not both shared and sticky.
        {t + "/theirshared/theirs", victim, "", 0},
        {t + "/open/theirs", victim, "", 0},
        {t + "/groupsticky/theirs", victim, "", 0},
        {t + "/private/theirs", victim, "", 0},
        // Another user's link in a shared sticky folder: refused, at the
        // start of a chain or further on, and when it leads nowhere.
        {t + "/shared/theirs", "", t + "/shared/theirs", EACCES},
        {t + "/private/tochain", "", t + "/shared/theirs", EACCES},
        {t + "/shared/dangling", "", t + "/shared/dangling", EACCES},
        {t + "/loop", "", "", ELOOP},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string target = "stale", refusal = "stale";
        errno = 0;
        EXPECT_EQ(ZmLib::ResolveWriteTarget(c.path.c_str(), target, refusal), !c.target.empty());
        EXPECT_EQ(target, c.target);
        EXPECT_EQ(refusal, c.refused.empty() ? "" : OtherOwners::Refusal(c.refused));
        if (c.target.empty()) {
            EXPECT_EQ(errno, c.error);
        }
    }
}

// The open follows what the check allowed and nothing else: a refused
// link creates no file where it points, an allowed one writes its file.
TEST_F(WritePath, OpenWritesOnlyWhereTheCheckAllows)
{
    Link(t + "/private/new", "/shared/dangling");
    owners.Set(t + "/shared/dangling");
    Link(t + "/private/victim", "/shared/mine");
    std::string refusal;
    const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
    errno = 0;
    EXPECT_EQ(ZmLib::OpenWriteTarget((t + "/shared/dangling").c_str(), flags, 0600, refusal), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(refusal, OtherOwners::Refusal(t + "/shared/dangling"));
    EXPECT_FALSE(Exists(t + "/private/new"));

    const int fd = ZmLib::OpenWriteTarget((t + "/shared/mine").c_str(), flags, 0600, refusal);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(refusal, "");
    EXPECT_EQ(write(fd, "new", 3), 3);
    close(fd);
    EXPECT_EQ(ReadFile(t + "/private/victim"), "new");
}

// Without the seam the owners are the real ones: root can plant another
// user's link for real.
TEST(WritePathOwners, RealOwnersWhereRootCanMakeThem)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "another owner needs root";
    const TempDir dir;
    const std::string t = dir.Path();
    WriteFile(t + "/victim", "victim");
    ASSERT_TRUE(kxtest::MakeSharedFolder(t + "/shared"));
    ASSERT_EQ(symlink((t + "/victim").c_str(), (t + "/shared/real").c_str()), 0);
    ASSERT_EQ(lchown((t + "/shared/real").c_str(), OtherOwners::OTHER, gid_t(-1)), 0);
    std::string target, refusal;
    EXPECT_FALSE(ZmLib::ResolveWriteTarget((t + "/shared/real").c_str(), target, refusal));
    EXPECT_EQ(refusal, OtherOwners::Refusal(t + "/shared/real"));
    // The folder's owner's link is followed.
    ASSERT_EQ(chown((t + "/shared").c_str(), OtherOwners::OTHER, gid_t(-1)), 0);
    EXPECT_TRUE(ZmLib::ResolveWriteTarget((t + "/shared/real").c_str(), target, refusal));
    EXPECT_EQ(target, t + "/victim");
}

} // namespace
