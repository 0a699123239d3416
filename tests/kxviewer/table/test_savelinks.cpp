// Saves and exports at a path that is a link: another user's link in a
// shared sticky folder (as /tmp) is refused with the reason in the System Log
// and a box, and nothing is written where it points or anywhere else; the
// user's own link there has its file written and stays a link.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include <QAction>
#include <QFile>

#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabtablemodel.h"
#include "tabletabenv.h"
#include "tests/utils/osal/otherowners.h"

namespace {

using kxtest::OtherOwners;

std::string Read(const std::string& path)
{
    QFile file(QFile::decodeName(path.c_str()));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string("<missing>");
}

class SaveThroughLinks : public tabletest::TableTabTest {
protected:
    void SetUp() override
    {
        tabletest::TableTabTest::SetUp();
        base = QFile::encodeName(dir.path()).toStdString();
        ASSERT_TRUE(kxtest::MakeSharedFolder(shared));
        ASSERT_EQ(mkdir(mine.c_str(), 0700), 0);
        tab = OpenRecords({Record("first"), Record("second")});
        ASSERT_NE(tab, nullptr);
    }

    // Everything below the scratch folder, links marked.
    std::string Listing() const
    {
        std::string names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(base))
            names += entry.path().string().substr(base.size()) + (entry.is_symlink() ? "@ " : " ");
        return names;
    }
    // A link at name in the shared folder to target, another user's when
    // theirs is set.
    std::string Plant(const std::string& name, const std::string& target, bool theirs)
    {
        const std::string link = shared + "/" + name;
        EXPECT_EQ(symlink(target.c_str(), link.c_str()), 0) << link;
        if (theirs)
            owners.Set(link);
        return link;
    }

    std::string base;
    const std::string shared = QFile::encodeName(dir.path() + "/shared").toStdString();
    const std::string mine = QFile::encodeName(dir.path() + "/mine").toStdString();
    TabTable* tab = nullptr;
    OtherOwners owners;
};

// Each writer as the user starts it: the save dialog returns path. refused:
// what the System Log and the box say when path is refused for why.
const struct {
    const char* suffix;
    std::function<void(TabTable*)> start;
    std::function<std::string(const std::string& path, const std::string& why)> refused;
    const char* shows; // a text a written file holds
} kWriters[] = {
    {"kxl", [](TabTable* tab) { tab->SaveAs(); },
     [](const std::string& path, const std::string& why) { return "File " + path + " not saved: " + why; },
     "SECTION:"},
    {"csv", [](TabTable* tab) { tab->Actions[TACT_SAVE_CSV]->trigger(); },
     [](const std::string& path, const std::string& why) { return "Can't create file: " + path + ": " + why; },
     "first"},
    {"pdf", [](TabTable* tab) { tab->Actions[TACT_SAVE_PDF]->trigger(); },
     [](const std::string& path, const std::string& why) { return "Can't create file: " + path + ": " + why; },
     "%PDF"},
    {"txt", [](TabTable* tab) { tab->Actions[TACT_SAVE_TXT]->trigger(); },
     [](const std::string& path, const std::string& why) { return "Can't create file: " + path + ": " + why; },
     "first"},
};

TEST_F(SaveThroughLinks, OthersLinksAreRefusedOwnLinksWriteTheirFile)
{
    for (const auto& writer : kWriters) {
        SCOPED_TRACE(writer.suffix);
        const std::string suffix = std::string(".") + writer.suffix;
        const std::string victim = mine + "/victim" + suffix;
        {
            QFile file(QFile::decodeName(victim.c_str()));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("victim");
        }
        ASSERT_EQ(chmod(victim.c_str(), 0600), 0);
        // Another user's links: to the file, to nothing, to a folder.
        const std::pair<const char*, std::string> links[] = {
            {"theirs", victim}, {"dangling", mine + "/made" + suffix}, {"tofolder", mine}};
        for (const auto& [name, target] : links) {
            SCOPED_TRACE(name);
            const std::string link = Plant(name + suffix, target, true);
            const std::string listing = Listing();
            shell.Clear();
            prompt.fileNames.enqueue(QFile::decodeName(link.c_str()));
            writer.start(tab);
            const std::vector<std::string> told{writer.refused(link, OtherOwners::Refusal(link))};
            EXPECT_EQ(shell.log, told);
            EXPECT_EQ(shell.info, told);
            EXPECT_EQ(shell.warnings, std::vector<bool>{true});
            EXPECT_EQ(Read(victim), "victim");
            EXPECT_EQ(Listing(), listing);
        }

        // The user's own links in the same folder write their files.
        for (const char* target : {"/victim", "/made"}) {
            SCOPED_TRACE(target);
            const std::string file = mine + target + suffix;
            const std::string link = Plant(std::string("own") + (target + 1) + suffix, file, false);
            shell.Clear();
            prompt.fileNames.enqueue(QFile::decodeName(link.c_str()));
            writer.start(tab);
            EXPECT_TRUE(shell.info.empty()) << (shell.info.empty() ? "" : shell.info[0]);
            EXPECT_NE(Read(file).find(writer.shows), std::string::npos) << Read(file).substr(0, 20);
            EXPECT_TRUE(std::filesystem::is_symlink(link));
        }
    }
}

// A document opened through a link that turns out to be another user's is
// not updated in place through it, nor written whole: Save says why and the
// file keeps its bytes.
TEST_F(SaveThroughLinks, SavingADocumentInPlaceRefusesOthersLinks)
{
    const std::string document = mine + "/doc.kxl";
    ASSERT_TRUE(tab->SaveAsKxlFile(QFile::decodeName(document.c_str()), true));
    const std::string link = Plant("doc.kxl", document, false);
    TabBase* opened = Open(QFile::decodeName(link.c_str()), TabBase::SOURCE_KXL);
    ASSERT_NE(opened, nullptr);
    const std::string before = Read(document);
    owners.Set(link);
    const std::string listing = Listing();
    shell.Clear();
    opened->Table->BookmarkSet(1, true);
    EXPECT_FALSE(opened->Save());
    const std::string refused = "File " + link + " not saved: " + OtherOwners::Refusal(link);
    EXPECT_EQ(shell.info, std::vector<std::string>{refused});
    EXPECT_TRUE(tabtest::Contains(shell.log, refused));
    EXPECT_EQ(Read(document), before);
    EXPECT_EQ(Listing(), listing);
}

} // namespace
