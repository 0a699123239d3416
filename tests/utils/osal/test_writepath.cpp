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
#include "tests/utils/osal/specialfiles.h"
#include "utils/osal/readpath.h"
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
    // The user's own link in a shared folder of another user's: followed
    // because it is the user's, not because of the folder.
    Link(victim, "/theirshared/mine");
    Link("loop", "/loop");
    WriteFile(t + "/plain", "p");
    // Other users' files, and a chain of links that ends at one.
    for (const char* file : {"/shared/theirfile", "/theirshared/theirfile", "/open/theirfile",
                             "/groupsticky/theirfile", "/shared/myfile"}) {
        WriteFile(t + file, "theirs");
        if (std::string(file) != "/shared/myfile")
            owners.Set(t + file);
    }
    ASSERT_EQ(mkfifo((t + "/shared/theirfifo").c_str(), 0600), 0);
    owners.Set(t + "/shared/theirfifo");
    Link(t + "/shared/theirfile", "/private/tofile");

    const struct {
        std::string path;
        std::string target;  // empty: refused or failed
        std::string refused; // the link named in the refusal
        int error;
        std::string refusedFile = ""; // the file named in the refusal
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
        {t + "/theirshared/mine", victim, "", 0},
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
        // Another user's file (or FIFO) is written only where the kernel
        // lets it be: not in a shared sticky folder that is not that user's.
        {t + "/shared/myfile", t + "/shared/myfile", "", 0},
        {t + "/theirshared/theirfile", t + "/theirshared/theirfile", "", 0},
        {t + "/open/theirfile", t + "/open/theirfile", "", 0},
        {t + "/groupsticky/theirfile", t + "/groupsticky/theirfile", "", 0},
        {t + "/shared/theirfile", "", "", EACCES, t + "/shared/theirfile"},
        {t + "/shared/theirfifo", "", "", EACCES, t + "/shared/theirfifo"},
        {t + "/private/tofile", "", "", EACCES, t + "/shared/theirfile"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string target = "stale", refusal = "stale";
        errno = 0;
        EXPECT_EQ(ZmLib::ResolveWriteTarget(c.path.c_str(), target, refusal), !c.target.empty());
        EXPECT_EQ(target, c.target);
        EXPECT_EQ(refusal, !c.refused.empty()       ? OtherOwners::Refusal(c.refused)
                           : !c.refusedFile.empty() ? OtherOwners::FileRefusal(c.refusedFile)
                                                    : "");
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

// What another user may do between the check and the open: put a link at
// the path (to a file of the user's), a file of theirs, or a FIFO. None is
// written through, nothing waits, and the refusal says what happened.
enum class Planted { LINK, THEIR_LINK, FILE, FIFO };
Planted planting;
std::string plantAt;   // a link's target
std::string plantedAt; // the path the open was about to take
void Plant(const char* target)
{
    plantedAt = target;
    unlink(target);
    if (planting == Planted::FILE) {
        WriteFile(target, "theirs");
    } else if (planting == Planted::FIFO) {
        EXPECT_EQ(mkfifo(target, 0600), 0);
    } else {
        EXPECT_EQ(symlink(plantAt.c_str(), target), 0);
    }
    // Another user's link in a sticky folder fails an open that creates
    // with EACCES, not ELOOP.
    if (planting == Planted::THEIR_LINK) {
        EXPECT_EQ(lchown(target, OtherOwners::OTHER, gid_t(-1)), 0);
    }
}

TEST_F(WritePath, WhatIsPutThereAfterTheCheckIsNotWrittenThrough)
{
    const std::string victim = t + "/private/victim";
    WriteFile(t + "/shared/existing", "mine");
    const auto made = [this](const char* name) { return t + name + " was made a link after it was checked"; };
    struct stat fifo {};
    fifo.st_mode = S_IFIFO;
    const struct {
        const char* name;
        Planted planted;
        std::string refusal;
        int error;
    } cases[] = {
        {"/shared/new", Planted::LINK, made("/shared/new"), ELOOP},
        {"/shared/existing", Planted::LINK, made("/shared/existing"), ELOOP},
        {"/shared/theirlink", Planted::THEIR_LINK, made("/shared/theirlink"), ELOOP},
        {"/shared/planted", Planted::FILE, OtherOwners::FileRefusal(t + "/shared/planted"), EACCES},
        {"/shared/fifo", Planted::FIFO, ZmLib::NotRegularFile((t + "/shared/fifo").c_str(), fifo), EINVAL},
    };
    const ZmLib::BeforeWriteOpenFunc saved = ZmLib::BeforeWriteOpen;
    ZmLib::BeforeWriteOpen = &Plant;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Only root can give a link to another user.
        if (c.planted == Planted::THEIR_LINK && geteuid() != 0)
            continue;
        const std::string path = t + c.name;
        planting = c.planted;
        plantAt = victim;
        plantedAt.clear();
        if (c.planted == Planted::FILE)
            owners.Set(path);
        std::string refusal;
        errno = 0;
        int reader = -1, fd = -1;
        {
            // A reader comes to an open that waits for one.
            kxtest::FifoGuard guard(std::chrono::seconds(2), [&] { reader = open(path.c_str(), O_RDONLY | O_NONBLOCK); });
            fd = ZmLib::OpenWriteTarget(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600, refusal);
            EXPECT_FALSE(guard.Waited());
        }
        EXPECT_EQ(fd, -1);
        if (fd >= 0) {
            EXPECT_EQ(write(fd, "new", 3), 3);
            close(fd);
        }
        EXPECT_EQ(plantedAt, path);
        EXPECT_EQ(errno, c.error);
        EXPECT_EQ(refusal, c.refusal);
        EXPECT_EQ(ReadFile(victim), "victim");
        if (c.planted == Planted::FILE) {
            EXPECT_EQ(ReadFile(path), "theirs");
        }
        if (reader >= 0)
            close(reader);
    }
    ZmLib::BeforeWriteOpen = saved;
}

// The user's own link in /tmp itself, when it is the usual sticky folder of
// root's and the test is not root: followed as the kernel follows it.
TEST(WritePathTmp, OwnLinkInTmpIsFollowed)
{
    struct stat tmp;
    if (geteuid() == 0 || stat("/tmp", &tmp) != 0 || tmp.st_uid != 0 ||
        (tmp.st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH))
        GTEST_SKIP() << "needs a sticky /tmp of root's and a tester who is not root";
    const TempDir dir;
    const std::string victim = dir.Path() + "/victim";
    WriteFile(victim, "victim");
    std::string link = "/tmp/kxv-own-link-XXXXXX";
    const int fd = mkstemp(link.data());
    ASSERT_GE(fd, 0);
    close(fd);
    // The user's own file there is written too.
    std::string target, refusal;
    EXPECT_TRUE(ZmLib::ResolveWriteTarget(link.c_str(), target, refusal)) << refusal;
    EXPECT_EQ(target, link);
    ASSERT_EQ(unlink(link.c_str()), 0);
    ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
    EXPECT_TRUE(ZmLib::ResolveWriteTarget(link.c_str(), target, refusal)) << refusal;
    EXPECT_EQ(target, victim);
    EXPECT_EQ(refusal, "");
    unlink(link.c_str());
}

// A new file's mode is what open's 0666 gives under the umask, read
// without changing it.
TEST(WritePathMode, NewFileModeFollowsTheUmask)
{
    const mode_t saved = umask(022);
    for (const auto& [mask, mode] : {std::pair{022, 0644}, std::pair{027, 0640}, std::pair{077, 0600},
                                     std::pair{002, 0664}}) {
        umask(mode_t(mask));
        EXPECT_EQ(ZmLib::NewFileMode(), mode_t(mode)) << std::oct << mask;
        EXPECT_EQ(umask(mode_t(mask)), mode_t(mask));
    }
    umask(saved);
}

} // namespace
