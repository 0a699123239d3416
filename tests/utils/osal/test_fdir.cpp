#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fcntl.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "tests/utils/osal/osal_fixtures.h"
#include "utils/osal/fdir.h"
#include "utils/osal/privatedir.h"

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

// The work folder is used only when nobody else could have made it or reach
// into it. Another owner is simulated with the expected uid, so that the
// cases hold for root as for any user.
TEST(PrivateDir, MadeOrRefusedWithTheFolderNamed)
{
    const TempDir tmp;
    const uid_t me = geteuid();
    WriteFile(tmp / "victim.txt", "v");
    ASSERT_EQ(mkdir((tmp / "victim").c_str(), 0700), 0);
    const struct {
        const char* what;
        std::function<void(const std::string&)> plant; // what stands at the name first
        uid_t owner;
        std::string reason; // empty: usable
    } cases[] = {
        {"missing: made", [](const std::string&) {}, me, ""},
        {"ours and closed", [](const std::string& d) { mkdir(d.c_str(), 0700); }, me, ""},
        {"ours, narrower", [](const std::string& d) { mkdir(d.c_str(), 0500); }, me, ""},
        {"open to the group", [](const std::string& d) { mkdir(d.c_str(), 0700); chmod(d.c_str(), 0750); }, me,
         "others may use it (mode 0750)"},
        {"open to everyone", [](const std::string& d) { mkdir(d.c_str(), 0700); chmod(d.c_str(), 01777); }, me,
         "others may use it (mode 1777)"},
        {"the group may write", [](const std::string& d) { mkdir(d.c_str(), 0700); chmod(d.c_str(), 0770); }, me,
         "others may use it (mode 0770)"},
        {"others may write", [](const std::string& d) { mkdir(d.c_str(), 0700); chmod(d.c_str(), 0707); }, me,
         "others may use it (mode 0707)"},
        {"others may only enter", [](const std::string& d) { mkdir(d.c_str(), 0700); chmod(d.c_str(), 0701); }, me,
         "others may use it (mode 0701)"},
        {"another user's", [](const std::string& d) { mkdir(d.c_str(), 0700); }, me + 1,
         "it belongs to user " + std::to_string(me)},
        {"a link to a folder", [&](const std::string& d) { symlink((tmp / "victim").c_str(), d.c_str()); }, me,
         "it is a symbolic link"},
        {"a dangling link", [&](const std::string& d) { symlink((tmp / "none").c_str(), d.c_str()); }, me,
         "it is a symbolic link"},
        {"a file", [](const std::string& d) { WriteFile(d, "f"); }, me, "it is not a folder"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = tmp / ("work" + std::to_string(n++)) + "/";
        c.plant(dir.substr(0, dir.size() - 1));
        ZmLib::PrivateDir held;
        const std::string got = held.Hold(dir, c.owner);
        EXPECT_EQ(got, c.reason.empty() ? "" : "The work folder " + dir + " cannot be used: " + c.reason);
        EXPECT_EQ(held.IsHeld(), c.reason.empty());
        EXPECT_EQ(held.Path(), c.reason.empty() ? dir : "");
        EXPECT_EQ(ZmLib::PrivateDirProblem(dir, c.owner), got);
        struct stat st;
        if (c.reason.empty()) {
            ASSERT_EQ(lstat(dir.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 077, 0u);
        }
    }
    // Nothing was made through the links.
    EXPECT_FALSE(Exists(tmp / "none"));
    EXPECT_EQ(kxtest::ReadFile(tmp / "victim.txt"), "v");
    // A real folder of another user, where the system lets this test make one.
    if (me == 0) {
        const std::string theirs = tmp / "theirs/";
        ASSERT_EQ(mkdir(theirs.c_str(), 0700), 0);
        ASSERT_EQ(chown(theirs.c_str(), 4242, 4242), 0);
        ZmLib::PrivateDir held;
        EXPECT_EQ(held.Hold(theirs), "The work folder " + theirs + " cannot be used: it belongs to user 4242");
        EXPECT_FALSE(held.IsHeld());
    }
    ZmLib::PrivateDir absent;
    EXPECT_EQ(absent.Hold(tmp / "absent/work/"),
              "The work folder " + (tmp / "absent/work/") + " cannot be used: No such file or directory");
}

// A file made in the work folder is new, private, and never reached through
// a link that stands in its place.
TEST(PrivateDir, FilesAreMadeAnewNeverThroughALink)
{
    const TempDir tmp;
    WriteFile(tmp / "outside.txt", "keep");
    const struct {
        const char* what;
        std::function<void(const std::string&)> plant;
        std::string why; // empty: made
    } cases[] = {
        {"new", [](const std::string&) {}, ""},
        {"an old download", [](const std::string& p) { WriteFile(p, "old bytes"); }, ""},
        {"a link to the user's file", [&](const std::string& p) { symlink((tmp / "outside.txt").c_str(), p.c_str()); },
         "a symbolic link is in its place"},
        {"a dangling link", [&](const std::string& p) { symlink((tmp / "planted").c_str(), p.c_str()); },
         "a symbolic link is in its place"},
        {"a folder", [](const std::string& p) { mkdir(p.c_str(), 0700); }, "something else is in its place"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = tmp / ("file" + std::to_string(n++));
        c.plant(path);
        std::string why;
        const int fd = ZmLib::CreatePrivateFile(path, why);
        EXPECT_EQ(why, c.why);
        EXPECT_EQ(fd >= 0, c.why.empty());
        if (fd >= 0) {
            EXPECT_EQ(write(fd, "new", 3), 3);
            close(fd);
            EXPECT_EQ(kxtest::ReadFile(path), "new");
            struct stat st;
            ASSERT_EQ(lstat(path.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0600u);
        }
    }
    EXPECT_EQ(kxtest::ReadFile(tmp / "outside.txt"), "keep");
    EXPECT_FALSE(Exists(tmp / "planted"));
}

// Once held, the folder is the one used, whatever is put at its name after
// the check: another folder or a link to one. Files there stay as they were.
TEST(PrivateDir, HeldFolderIsUsedWhenItsNameIsSwapped)
{
    const TempDir tmp;
    const std::string name = tmp / "work";
    const std::string checked = tmp / "checked";
    const std::string planted = tmp / "planted";
    const struct {
        const char* what;
        bool link;
    } cases[] = {{"another folder", false}, {"a link to another folder", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(name);
        std::filesystem::remove_all(checked);
        std::filesystem::remove_all(planted);
        ASSERT_EQ(mkdir(name.c_str(), 0700), 0);
        ASSERT_EQ(mkdir(planted.c_str(), 0700), 0);
        for (const char* file : {"made", "replaced", "read", "removed"}) {
            WriteFile(name + "/" + file, "ours");
            WriteFile(planted + "/" + file, "theirs");
        }
        ZmLib::PrivateDir::AfterCheck = [&](const std::string&) {
            rename(name.c_str(), checked.c_str());
            if (c.link)
                symlink(planted.c_str(), name.c_str());
            else
                rename(planted.c_str(), name.c_str());
        };
        ZmLib::PrivateDir held;
        const std::string refused = held.Hold(name + "/");
        ZmLib::PrivateDir::AfterCheck = nullptr;
        ASSERT_EQ(refused, "");
        EXPECT_EQ(held.Path(), name + "/");
        EXPECT_EQ(held.WhereNow(), checked + "/");

        std::string why;
        const int made = held.Create("made", why);
        ASSERT_GE(made, 0) << why;
        EXPECT_TRUE(ZmLib::WriteFully(made, "new", 3, why));
        close(made);
        ZmLib::PrivateDir::Replacement replacement;
        ASSERT_TRUE(held.Begin("replaced", replacement, why)) << why;
        EXPECT_TRUE(ZmLib::WriteFully(replacement.fd, "new", 3, why));
        EXPECT_TRUE(held.Commit(replacement, "replaced", why)) << why;
        const int read = held.OpenForReading("read", why);
        ASSERT_GE(read, 0) << why;
        char bytes[8] = {};
        EXPECT_EQ(::read(read, bytes, sizeof(bytes)), 4);
        EXPECT_STREQ(bytes, "ours");
        close(read);
        EXPECT_TRUE(held.Remove("removed"));

        const std::string theirs = c.link ? planted : name;
        for (const char* file : {"made", "replaced", "read", "removed"})
            EXPECT_EQ(kxtest::ReadFile(theirs + "/" + file), "theirs") << file;
        EXPECT_EQ(kxtest::ReadFile(checked + "/made"), "new");
        EXPECT_EQ(kxtest::ReadFile(checked + "/replaced"), "new");
        EXPECT_FALSE(Exists(checked + "/removed"));
    }
}

// What was opened at the name is what is checked and named: a link there is
// refused as a link, a file as a file, even when a folder of the user's own
// stands there by the time of the check.
TEST(PrivateDir, WhatWasOpenedIsWhatIsNamed)
{
    const TempDir tmp;
    const std::string name = tmp / "work";
    ASSERT_EQ(mkdir((tmp / "victim").c_str(), 0700), 0);
    const struct {
        const char* what;
        std::function<void()> plant;
        std::string reason;
    } cases[] = {
        {"a link", [&] { symlink((tmp / "victim").c_str(), name.c_str()); }, "it is a symbolic link"},
        {"a file", [&] { WriteFile(name, "f"); }, "it is not a folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(name);
        c.plant();
        ZmLib::PrivateDir::AfterOpen = [&](const std::string&) {
            unlink(name.c_str());
            mkdir(name.c_str(), 0700);
        };
        ZmLib::PrivateDir held;
        const std::string refused = held.Hold(name + "/");
        ZmLib::PrivateDir::AfterOpen = nullptr;
        EXPECT_EQ(refused, "The work folder " + name + "/ cannot be used: " + c.reason);
        EXPECT_FALSE(held.IsHeld());
    }
}

// A file written whole replaces the old one only when it is complete; what
// is not a plain name, or a folder or link at the name, is refused.
TEST(PrivateDir, ReplacementsAndRefusedNames)
{
    const TempDir tmp;
    ZmLib::PrivateDir held;
    ASSERT_EQ(held.Hold(tmp / "work"), "");
    const std::string work = tmp / "work/";
    WriteFile(work + "old", "old bytes");
    ASSERT_EQ(mkdir((work + "folder").c_str(), 0700), 0);
    ASSERT_EQ(symlink((tmp / "outside").c_str(), (work + "link").c_str()), 0);
    const struct {
        const char* name;
        std::string why; // empty: written
    } cases[] = {
        {"old", ""},
        {"new", ""},
        {"folder", "something else is in its place"},
        {"link", "a symbolic link is in its place"},
        {"", "not a file name in the folder"},
        {"..", "not a file name in the folder"},
        {"sub/file", "not a file name in the folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string why;
        ZmLib::PrivateDir::Replacement file;
        const bool begun = held.Begin(c.name, file, why);
        EXPECT_EQ(why, c.why);
        EXPECT_EQ(begun, c.why.empty());
        if (!begun)
            continue;
        struct stat st;
        ASSERT_EQ(fstat(file.fd, &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_TRUE(ZmLib::WriteFully(file.fd, "whole", 5, why));
        // Until it is committed the old file is untouched.
        EXPECT_EQ(kxtest::ReadFile(work + c.name), std::string(c.name) == "old" ? "old bytes" : "");
        EXPECT_TRUE(held.Commit(file, c.name, why));
        EXPECT_EQ(kxtest::ReadFile(work + c.name), "whole");
    }
    // A discarded one leaves nothing behind.
    std::string why;
    ZmLib::PrivateDir::Replacement file;
    ASSERT_TRUE(held.Begin("dropped", file, why));
    held.Discard(file);
    std::set<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(work))
        left.insert(entry.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"folder", "link", "new", "old"}));
    EXPECT_FALSE(Exists(tmp / "outside"));
    EXPECT_EQ(held.OpenForReading("link", why), -1);
    EXPECT_EQ(why, "a symbolic link is in its place");
    EXPECT_EQ(held.OpenForReading("folder", why), -1);
    EXPECT_EQ(why, "it is not a regular file");
    EXPECT_FALSE(held.Remove(".."));
}

// A failed write names the system's reason, as a full disk gives it.
TEST(PrivateDir, WriteFailureNamesTheCause)
{
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    std::string why;
    EXPECT_FALSE(ZmLib::WriteFully(full, "bytes", 5, why));
    EXPECT_EQ(why, strerror(ENOSPC));
    close(full);
}
