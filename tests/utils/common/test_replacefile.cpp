// Whole-file saves and in-place updates at a path that is a link: another
// user's link in a shared sticky folder is refused and nothing is written
// anywhere; the user's own link has its file written and stays a link.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "tests/utils/osal/osal_fixtures.h"
#include "tests/utils/osal/otherowners.h"
#include "utils/common/replacefile.h"
#include "utils/common/sdfile.h"

using kxtest::OtherOwners;
using kxtest::ReadFile;
using kxtest::TempDir;
using ZmLib::SdFileBase;
using ZmLib::SdSection;

namespace {

// Writes the sections A ("A") and B (second) as a new container at path,
// or (update) B alone in place over a container scanned first.
bool WriteContainer(const std::string& path, const std::string& second, bool update, std::string& refusal)
{
    refusal.clear();
    SdSection table[2];
    SdFileBase file(table, 2);
    file.SetPath(path.c_str());
    if (update && file.ScanAll() != 2)
        return false;
    file.Close();
    const bool started = update ? file.FlushStart4Update(1) : file.FlushStart4Create();
    refusal = file.Refusal();
    if (!started)
        return false;
    const std::string data[] = {"A", second};
    for (int32_t i = update ? 1 : 0; i < 2; ++i) {
        SdSection* section = file.AddSection(i == 0 ? "A" : "B");
        section->Data = reinterpret_cast<uint8_t*>(const_cast<char*>(data[i].data()));
        section->DataSize = int64_t(data[i].size());
        if (!file.FlushSection(*section))
            return false;
    }
    return file.FlushStop();
}

using Writer = std::function<bool(const std::string& path, std::string& refusal)>;

const struct {
    const char* name;
    Writer write;
    bool creates; // makes a missing file
} kWriters[] = {
    {"replace through a stream",
     [](const std::string& path, std::string& refusal) {
         ZmLib::FILEB file;
         ZmLib::ReplaceFile saver;
         const bool begun = saver.Begin(file, path.c_str());
         refusal = saver.Refusal();
         return begun && file.Write("new", 3) == 3 && saver.Commit();
     },
     true},
    {"replace through a descriptor",
     [](const std::string& path, std::string& refusal) {
         ZmLib::ReplaceFile saver;
         const int fd = saver.BeginDescriptor(path.c_str());
         refusal = saver.Refusal();
         const bool written = fd >= 0 && write(fd, "new", 3) == 3;
         if (fd >= 0)
             close(fd);
         return written && saver.Commit();
     },
     true},
    {"new container",
     [](const std::string& path, std::string& refusal) { return WriteContainer(path, "new", false, refusal); }, true},
    {"container updated in place",
     [](const std::string& path, std::string& refusal) { return WriteContainer(path, "new", true, refusal); }, false},
};

class ReplaceThroughLinks : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(kxtest::MakeSharedFolder(shared));
        ASSERT_EQ(mkdir(mine.c_str(), 0700), 0);
    }
    // Everything in the scratch folder, links as links.
    std::string Listing() const
    {
        std::string names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Path()))
            names += entry.path().string().substr(dir.Path().size()) + (entry.is_symlink() ? "@ " : " ");
        return names;
    }

    TempDir dir;
    const std::string shared = dir / "shared";
    const std::string mine = dir / "mine";
    OtherOwners owners;
};

TEST_F(ReplaceThroughLinks, OthersLinksAreRefusedOwnLinksWriteTheirFile)
{
    for (const auto& writer : kWriters) {
        SCOPED_TRACE(writer.name);
        std::string refusal;
        const std::string victim = mine + "/victim", link = shared + "/theirs";
        ASSERT_TRUE(WriteContainer(victim, "old", false, refusal));
        const std::string before = ReadFile(victim);
        ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
        owners.Set(link);
        const std::string listing = Listing();

        // Another user's link: refused, naming the link; the file it points
        // at keeps its bytes and nothing is added anywhere.
        EXPECT_FALSE(writer.write(link, refusal));
        EXPECT_EQ(refusal, OtherOwners::Refusal(link));
        EXPECT_EQ(ReadFile(victim), before);
        EXPECT_EQ(Listing(), listing);

        // Leading nowhere: no file is made where it points.
        const std::string dangling = shared + "/dangling";
        ASSERT_EQ(symlink((mine + "/new").c_str(), dangling.c_str()), 0);
        owners.Set(dangling);
        // (An update finds nothing to read first.)
        EXPECT_FALSE(writer.write(dangling, refusal));
        EXPECT_EQ(refusal, writer.creates ? OtherOwners::Refusal(dangling) : "");
        EXPECT_FALSE(std::filesystem::exists(mine + "/new"));

        // The user's own link in the same folder: its file is written and it
        // stays a link; one leading nowhere makes its file.
        const std::string own = shared + "/own";
        ASSERT_EQ(symlink(victim.c_str(), own.c_str()), 0);
        EXPECT_TRUE(writer.write(own, refusal));
        EXPECT_EQ(refusal, "");
        EXPECT_NE(ReadFile(victim), before);
        EXPECT_NE(ReadFile(victim).find("new"), std::string::npos);
        EXPECT_TRUE(std::filesystem::is_symlink(own));
        const std::string ownDangling = shared + "/owndangling";
        ASSERT_EQ(symlink((mine + "/made").c_str(), ownDangling.c_str()), 0);
        EXPECT_EQ(writer.write(ownDangling, refusal), writer.creates);
        EXPECT_EQ(std::filesystem::exists(mine + "/made"), writer.creates);
        EXPECT_TRUE(std::filesystem::is_symlink(ownDangling));

        for (const auto& entry : std::filesystem::directory_iterator(shared))
            std::filesystem::remove(entry.path());
        std::filesystem::remove_all(mine);
        ASSERT_EQ(mkdir(mine.c_str(), 0700), 0);
    }
}

// Another user's file in a shared sticky folder is neither written into nor
// replaced, by any writer; one in that user's own shared folder is.
TEST_F(ReplaceThroughLinks, OthersFilesInSharedFoldersAreRefused)
{
    const std::string theirShared = dir / "theirshared";
    ASSERT_TRUE(kxtest::MakeSharedFolder(theirShared));
    owners.Set(theirShared);
    for (const auto& writer : kWriters) {
        SCOPED_TRACE(writer.name);
        for (const std::string& folder : {shared, theirShared}) {
            SCOPED_TRACE(folder);
            const std::string theirs = folder + "/theirs.kxl";
            std::string refusal;
            ASSERT_TRUE(WriteContainer(theirs, "old", false, refusal));
            ASSERT_EQ(chmod(theirs.c_str(), 0666), 0);
            owners.Set(theirs);
            const std::string before = ReadFile(theirs), listing = Listing();
            const bool refused = folder == shared;
            EXPECT_EQ(writer.write(theirs, refusal), !refused);
            EXPECT_EQ(refusal, refused ? OtherOwners::FileRefusal(theirs) : "");
            if (refused) {
                EXPECT_EQ(ReadFile(theirs), before);
                EXPECT_EQ(Listing(), listing);
            } else {
                EXPECT_NE(ReadFile(theirs).find("new"), std::string::npos);
            }
            std::filesystem::remove(theirs);
        }
    }
}

// What is written stays the user's alone until it takes its place: the
// temporary file is 0600 from its creation, whatever the umask, and gets
// the replaced file's permissions (or a new file's, under the umask) only
// at the rename. Set-user and set-group bits are not carried over.
TEST(ReplaceFileMode, TemporaryFileIsPrivateUntilTheRename)
{
    const TempDir dir;
    const mode_t savedMask = umask(022);
    const struct {
        const char* name;
        mode_t mask;
        int before; // -1: a new file
        mode_t after;
    } cases[] = {
        {"new, usual umask", 022, -1, 0644}, {"new, group umask", 002, -1, 0664},
        {"new, private umask", 077, -1, 0600}, {"replaces a private file", 022, 0600, 0600},
        {"replaces a group's file", 022, 0660, 0660}, {"replaces an open file", 077, 0666, 0666},
        {"replaces a set-user file", 022, 04755, 0755},
    };
    for (const bool stream : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (stream ? ", stream" : ", descriptor"));
            const std::string path = dir / "file";
            std::filesystem::remove(path);
            if (c.before >= 0) {
                kxtest::WriteFile(path, "old");
                ASSERT_EQ(chmod(path.c_str(), mode_t(c.before)), 0);
            }
            umask(c.mask);
            ZmLib::FILEB file;
            ZmLib::ReplaceFile saver;
            const int fd = stream ? (saver.Begin(file, path.c_str()) ? fileno(file.Handle) : -1)
                                  : saver.BeginDescriptor(path.c_str());
            ASSERT_GE(fd, 0);
            ASSERT_EQ(write(fd, "new", 3), 3);
            struct stat st;
            ASSERT_EQ(stat(saver.TempPath(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0600u);
            if (!stream)
                close(fd);
            ASSERT_TRUE(saver.Commit());
            ASSERT_EQ(stat(path.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, c.after);
            EXPECT_EQ(ReadFile(path), "new");
        }
    }
    umask(savedMask);
}

// Root replacing another user's file gives nobody more than before and
// takes nothing from its owner: the file keeps its owner, its group and its
// permissions.
TEST(ReplaceFileMode, RootKeepsTheReplacedFilesGroupAndGrantsNoMore)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "another user's file needs root";
    const TempDir dir;
    const std::string path = dir / "theirs";
    for (const auto& writer : kWriters) {
        SCOPED_TRACE(writer.name);
        std::string refusal;
        ASSERT_TRUE(WriteContainer(path, "old", false, refusal));
        ASSERT_EQ(chown(path.c_str(), OtherOwners::OTHER, OtherOwners::OTHER), 0);
        ASSERT_EQ(chmod(path.c_str(), 0640), 0);
        ASSERT_TRUE(writer.write(path, refusal));
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, uid_t(OtherOwners::OTHER));
        EXPECT_EQ(st.st_gid, gid_t(OtherOwners::OTHER));
        EXPECT_EQ(st.st_mode & 07777, 0640u);
    }
}

} // namespace
