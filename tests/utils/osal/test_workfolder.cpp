// Where the work folder may go, and what a start removes from it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>

#include "tests/utils/osal/osal_fixtures.h"
#include "utils/osal/privatedir.h"

using kxtest::Exists;
using kxtest::TempDir;
using kxtest::WriteFile;

namespace {

// Another user, made real by chown; only root may give a folder away.
constexpr uid_t OTHER = 4242;

// A folder made with the mode as given, whatever the umask.
void MakeFolder(const std::string& path, mode_t mode, uid_t owner = geteuid())
{
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0) << path;
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
    ASSERT_EQ(lchown(path.c_str(), owner, gid_t(-1)), 0);
}

} // namespace

// Nobody but the user and root may be able to rename anything on the way:
// every folder, and every link followed, is checked where it lies.
TEST(WorkFolderWay, EveryFolderAndLinkOnTheWayIsChecked)
{
    const uid_t me = geteuid();
    if (me != 0)
        GTEST_SKIP() << "other owners need root";
    const TempDir tmp;
    const std::string t = tmp.Path();
    MakeFolder(t + "/safe", 0700);
    MakeFolder(t + "/sticky", 01777);
    MakeFolder(t + "/theirs", 01777, OTHER);
    MakeFolder(t + "/theirsclosed", 0755, OTHER);
    MakeFolder(t + "/open", 0777);
    MakeFolder(t + "/group", 0770);
    MakeFolder(t + "/groupsticky", 01770);
    MakeFolder(t + "/open/below", 0700);
    MakeFolder(t + "/safe/below", 0700);
    WriteFile(t + "/file", "f");
    ASSERT_EQ(symlink("safe", (t + "/tosafe").c_str()), 0);
    ASSERT_EQ(symlink((t + "/open").c_str(), (t + "/toopen").c_str()), 0);
    ASSERT_EQ(symlink((t + "/safe").c_str(), (t + "/sticky/theirlink").c_str()), 0);
    ASSERT_EQ(lchown((t + "/sticky/theirlink").c_str(), OTHER, gid_t(-1)), 0);
    ASSERT_EQ(symlink((t + "/safe").c_str(), (t + "/sticky/mylink").c_str()), 0);
    ASSERT_EQ(symlink("loop", (t + "/loop").c_str()), 0);
    const struct {
        std::string dir;
        std::string why; // empty: safe
    } cases[] = {
        {t + "/safe", ""},
        {t + "/safe/", ""},
        {t + "/sticky", ""},
        {t + "/groupsticky", ""},
        {t + "/safe/below", ""},
        {t + "/safe/../sticky", ""},
        {t + "/tosafe/below", ""},
        {t + "/sticky/mylink/below", ""},
        {"/", ""},
        {t + "/theirs", t + "/theirs belongs to user 4242"},
        {t + "/theirsclosed", t + "/theirsclosed belongs to user 4242"},
        {t + "/open", "others may write to " + t + "/open and it has no sticky bit (mode 0777)"},
        {t + "/group", "others may write to " + t + "/group and it has no sticky bit (mode 0770)"},
        {t + "/open/below", "others may write to " + t + "/open and it has no sticky bit (mode 0777)"},
        {t + "/toopen/below", "others may write to " + t + "/open and it has no sticky bit (mode 0777)"},
        {t + "/sticky/theirlink", t + "/sticky/theirlink belongs to user 4242"},
        {t + "/file", t + "/file is not a folder"},
        {t + "/none", t + "/none: " + strerror(ENOENT)},
        {t + "/loop", t + "/loop: " + strerror(ELOOP)},
        {"relative/tmp", "'relative/tmp' is not a full path"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dir);
        EXPECT_EQ(ZmLib::WayProblem(c.dir, me), c.why);
    }
    // The same folders as seen by their owner: another user's is no threat to itself.
    EXPECT_EQ(ZmLib::WayProblem(t + "/theirs", OTHER), "");
}

// The work folder goes to the first place that is safe: the temporary
// folder, a private runtime folder, else the cache folder, made private when
// missing. A place is passed over when someone else could rename on the way
// to it, when the cache is not the user's alone, or when something that is
// not the user's private folder has the work folder's name there; with no
// safe place nothing is made. Other owners are real where the test runs as
// root.
TEST(WorkFolderWay, WorkFolderGoesToTheFirstSafePlace)
{
    const uid_t me = geteuid();
    const TempDir tmp;
    const std::string t = tmp.Path();
    const std::string name = "KXviewer-" + std::to_string(me);
    const bool root = me == 0;
    MakeFolder(t + "/open", 0777);
    MakeFolder(t + "/sticky", 01777);
    MakeFolder(t + "/runtime", 0700);
    MakeFolder(t + "/shared", 0755);
    MakeFolder(t + "/mine", 0700);
    MakeFolder(t + "/opencache", 0777);
    MakeFolder(t + "/stickycache", 01777);
    MakeFolder(t + "/runtimetaken", 0700);
    WriteFile(t + "/runtimetaken/" + name, "f");
    for (const char* place : {"/takendir", "/takenlink", "/takenfile", "/takenopen"})
        MakeFolder(t + place, 01777);
    MakeFolder(t + "/takenopen/" + name, 0777);
    ASSERT_EQ(symlink((t + "/mine").c_str(), (t + "/takenlink/" + name).c_str()), 0);
    WriteFile(t + "/takenfile/" + name, "f");
    if (root) {
        MakeFolder(t + "/theirsticky", 01777, OTHER);
        MakeFolder(t + "/theircache", 0777, OTHER);
        MakeFolder(t + "/takendir/" + name, 0700, OTHER);
        ASSERT_EQ(symlink((t + "/mine").c_str(), (t + "/sticky/theirlink").c_str()), 0);
        ASSERT_EQ(lchown((t + "/sticky/theirlink").c_str(), OTHER, gid_t(-1)), 0);
    }
    const std::string open = "not in " + t + "/open: others may write to " + t +
                             "/open and it has no sticky bit (mode 0777)";
    const std::string taken = " cannot be used: ";
    const std::string noRuntime = "there is no runtime folder";
    const struct {
        const char* what;
        bool needsRoot;
        std::string temp, runtime, cache;
        std::string chosen; // the folder's parent; empty: none
        std::string why;
    } cases[] = {
        {"a safe temporary folder", false, t + "/sticky", t + "/runtime", t + "/cache", t + "/sticky", ""},
        {"a private runtime folder", false, t + "/open", t + "/runtime", t + "/cache", t + "/runtime",
         "Work files are kept in " + t + "/runtime, " + open},
        {"a runtime folder others may enter", false, t + "/open", t + "/shared", t + "/cache/deep", t + "/cache/deep",
         "Work files are kept in " + t + "/cache/deep, " + open + "; not in " + t +
             "/shared: others may use it (mode 0755)"},
        {"no runtime folder", false, t + "/open", "", t + "/cache/deep", t + "/cache/deep",
         "Work files are kept in " + t + "/cache/deep, " + open + "; " + noRuntime},
        {"the user's cache open to all", false, t + "/open", "", t + "/opencache", "",
         "No folder is safe for work files: " + open + "; " + noRuntime + "; not in " + t +
             "/opencache: others may write to " + t + "/opencache and it has no sticky bit (mode 0777)"},
        {"the user's cache sticky and open to all", false, t + "/open", "", t + "/stickycache", "",
         "No folder is safe for work files: " + open + "; " + noRuntime + "; not in " + t +
             "/stickycache: others may write to it (mode 1777)"},
        {"no folder of the user's own", false, t + "/open", "", "", "",
         "No folder is safe for work files: " + open + "; " + noRuntime + "; there is no cache folder"},
        {"the cache below another user's sticky folder", true, t + "/open", "", t + "/theirsticky/cache", "",
         "No folder is safe for work files: " + open + "; " + noRuntime + "; not in " + t + "/theirsticky/cache: " +
             t + "/theirsticky belongs to user 4242"},
        {"a cache another user made open to all", true, t + "/open", "", t + "/theircache", "",
         "No folder is safe for work files: " + open + "; " + noRuntime + "; not in " + t + "/theircache: " + t +
             "/theircache belongs to user 4242"},
        {"the cache through another user's link", true, t + "/open", "", t + "/sticky/theirlink", "",
         "No folder is safe for work files: " + open + "; " + noRuntime + "; not in " + t + "/sticky/theirlink: " +
             t + "/sticky/theirlink belongs to user 4242"},
        {"the name taken by another user's folder", true, t + "/takendir", t + "/runtime", "", t + "/runtime",
         "Work files are kept in " + t + "/runtime, not in " + t + "/takendir: " + t + "/takendir/" + name + taken +
             "it belongs to user 4242"},
        {"the name taken by a link", false, t + "/takenlink", t + "/runtime", "", t + "/runtime",
         "Work files are kept in " + t + "/runtime, not in " + t + "/takenlink: " + t + "/takenlink/" + name +
             taken + "it is a symbolic link"},
        {"the name taken by a file, in the runtime folder too", false, t + "/takenfile", t + "/runtimetaken",
         t + "/cache/other", t + "/cache/other",
         "Work files are kept in " + t + "/cache/other, not in " + t + "/takenfile: " + t + "/takenfile/" + name +
             taken + "it is not a folder; not in " + t + "/runtimetaken: " + t + "/runtimetaken/" + name + taken +
             "it is not a folder"},
        {"the name taken by the user's folder open to all", false, t + "/takenopen", "", "", "",
         "No folder is safe for work files: not in " + t + "/takenopen: " + t + "/takenopen/" + name + taken +
             "others may use it (mode 0777); " + noRuntime + "; there is no cache folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsRoot && !root)
            continue;
        std::string why = "old";
        EXPECT_EQ(ZmLib::ChooseWorkFolder(c.temp, c.runtime, c.cache, name, me, why),
                  c.chosen.empty() ? "" : c.chosen + "/" + name + "/");
        EXPECT_EQ(why, c.why);
    }
    struct stat st;
    ASSERT_EQ(stat((t + "/cache/deep").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // Nothing was made or removed where it was not safe.
    EXPECT_FALSE(Exists(t + "/theirsticky/cache"));
    EXPECT_FALSE(Exists(t + "/opencache/" + name));
    EXPECT_FALSE(Exists(t + "/open/" + name));
    EXPECT_EQ(kxtest::ReadFile(t + "/takenfile/" + name), "f");
    EXPECT_TRUE(Exists(t + "/takenlink/" + name));
}

// Only files the owner made, private, with a name claimed (or a temporary
// for one), are removed, and only in the folder held: not in another put at
// its name.
TEST(WorkFolderWay, OnlyOwnFilesAreRemovedFromTheHeldFolder)
{
    const uid_t me = geteuid();
    const TempDir tmp;
    const std::string name = tmp.Path() + "/work";
    const std::string checked = tmp.Path() + "/checked";
    const std::string planted = tmp.Path() + "/planted";
    enum Kind { PRIVATE, SHARED, OTHERS, FOLDER, LINK };
    const struct {
        const char* name;
        Kind kind;
        bool removed;
    } entries[] = {
        {"ours", PRIVATE, true},
        {".ours.0123abcd", PRIVATE, true},
        {".ours.0123abcX", PRIVATE, false},
        {".ours.0123abc", PRIVATE, false},
        {"theirs", PRIVATE, false},
        {".theirs.0123abcd", PRIVATE, false},
        {"ours-shared", SHARED, false},
        {"ours-others", OTHERS, false},
        {"ours-folder", FOLDER, false},
        {"ours-link", LINK, false},
    };
    WriteFile(tmp.Path() + "/outside", "o");
    for (const std::string& folder : {name, planted}) {
        MakeFolder(folder, 0700);
        for (const auto& e : entries) {
            const std::string path = folder + "/" + e.name;
            if (e.kind == FOLDER) {
                MakeFolder(path, 0700);
            } else if (e.kind == LINK) {
                ASSERT_EQ(symlink((tmp.Path() + "/outside").c_str(), path.c_str()), 0);
            } else {
                WriteFile(path, "f");
                ASSERT_EQ(chmod(path.c_str(), e.kind == SHARED ? 0644 : 0600), 0);
                // Without root the file stays the user's, and the case is one more of ours.
                if (e.kind == OTHERS && me == 0) {
                    ASSERT_EQ(chown(path.c_str(), OTHER, gid_t(-1)), 0);
                }
            }
        }
    }
    ZmLib::PrivateDir::AfterCheck = [&](const std::string&) {
        rename(name.c_str(), checked.c_str());
        rename(planted.c_str(), name.c_str());
    };
    ZmLib::PrivateDir held;
    const std::string refused = held.Hold(name);
    ZmLib::PrivateDir::AfterCheck = nullptr;
    ASSERT_EQ(refused, "");
    EXPECT_TRUE(held.RemoveOwn([](const std::string& n) { return n.rfind("ours", 0) == 0; }));
    for (const auto& e : entries) {
        SCOPED_TRACE(e.name);
        const bool kept = !e.removed && !(e.kind == OTHERS && me != 0);
        struct stat st;
        EXPECT_EQ(lstat((checked + "/" + e.name).c_str(), &st) == 0, kept);
        EXPECT_EQ(lstat((name + "/" + e.name).c_str(), &st), 0);
    }
    EXPECT_EQ(kxtest::ReadFile(tmp.Path() + "/outside"), "o");
}

// The tests' scratch folders, where the work folder's cases are set up, lie
// on a safe way even when TMPDIR does not.
TEST(WorkFolderWay, ScratchFoldersAvoidAnUnsafeTmpdir)
{
    const TempDir outer;
    const std::string unsafe = outer.Path() + "/open";
    MakeFolder(unsafe, 0777);
    const char* saved = getenv("TMPDIR");
    const std::string savedValue = saved != nullptr ? saved : "";
    setenv("TMPDIR", unsafe.c_str(), 1);
    const TempDir inner;
    saved != nullptr ? setenv("TMPDIR", savedValue.c_str(), 1) : unsetenv("TMPDIR");
    ASSERT_FALSE(inner.Path().empty());
    EXPECT_EQ(inner.Path().rfind(unsafe, 0), std::string::npos) << inner.Path();
    EXPECT_EQ(ZmLib::WayProblem(inner.Path()), "");
}
