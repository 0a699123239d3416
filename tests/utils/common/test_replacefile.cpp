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

} // namespace
