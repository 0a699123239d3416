#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "tests/shellword.h"
#include "tests/utils/osal/osal_fixtures.h"
#include "utils/osal/process.h"

using kxtest::Eventually;
using kxtest::Exists;
using kxtest::KxCapture;
using kxtest::ReadFile;
using kxtest::TempDir;
using kxtest::WriteFile;
using ZmLib::PROCESS;

namespace {

// The state letter of a process, 0 once it is gone entirely.
char ProcessState(int64_t pid)
{
    std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() ? stat[close + 2] : 0;
}

size_t ThreadCount()
{
    return size_t(std::distance(std::filesystem::directory_iterator("/proc/self/task"), {}));
}

void SetTz(const char* tz)
{
    if (tz != nullptr)
        setenv("TZ", tz, 1);
    else
        unsetenv("TZ");
    tzset();
}

} // namespace

TEST(ProcessPaths, DirOfCutsAfterTheLastSeparator)
{
    const struct {
        const char* path;
        const char* dir; // null for none
    } cases[] = {
        {"C:\\x\\prog.exe", "C:/x/"}, {"\"C:\\x\\prog.exe\"", "C:/x/"}, {"/usr/bin/kxviewer", "/usr/bin/"},
        {"/kxviewer", "/"},           {"prog.exe", nullptr},           {"\"", nullptr},
        {nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path != nullptr ? c.path : "(null)");
        const char* dir = PROCESS::DirOf(c.path);
        if (c.dir == nullptr)
            EXPECT_EQ(dir, nullptr);
        else
            EXPECT_STREQ(dir, c.dir);
    }
}

TEST(ProcessPaths, ExecutableAndModulePaths)
{
    char real[PATH_MAX];
    ASSERT_NE(realpath("/proc/self/exe", real), nullptr);
    ASSERT_NE(PROCESS::ExePath(), nullptr);
    EXPECT_STREQ(PROCESS::ExePath(), real);
    std::string dir = PROCESS::ExeDir();
    EXPECT_EQ(dir.back(), '/');
    EXPECT_EQ(std::string(real).rfind(dir, 0), 0u);
    PROCESS::InitName();
    EXPECT_STREQ(PROCESS::Name(), "test_osal");

    EXPECT_STREQ(PROCESS::ModulePath(nullptr), real);
    // getpid: a C library function that the sanitizers do not replace.
    const char* libc = PROCESS::ModulePath(reinterpret_cast<const void*>(&getpid));
    ASSERT_NE(libc, nullptr);
    EXPECT_NE(strstr(libc, "/libc.so"), nullptr) << libc;
    EXPECT_EQ(PROCESS::ModulePath(reinterpret_cast<const void*>(16)), nullptr);
}

TEST(ProcessSpawn, ParametersAreQuotedAndFollowedByABlank)
{
    const char* args[] = {"A", "B"};
    ZmLib::TempStr params;
    PROCESS::BuildParams(2, args, params);
    EXPECT_STREQ(params.c_str(), "\"A\" \"B\" ");
    PROCESS::BuildParams(0, nullptr, params);
    EXPECT_STREQ(params.c_str(), "");
    std::string huge(2000, 'h');
    const char* big[] = {huge.c_str()};
    PROCESS::BuildParams(1, big, params);
    EXPECT_EQ(params.Length(), 1099u);
}

TEST(ProcessSpawn, ArgumentsReachTheProgramUnsplit)
{
    TempDir dir;
    std::string out = dir / "out";
    std::string script = "printf '%s\\n' \"$@\" > \"$0.part\" && mv \"$0.part\" \"$0\"";
    const char* args[] = {"-c", script.c_str(), out.c_str(), "A B", "C\"D", "$HOME;x"};
    KxCapture capture;
    int64_t pid = PROCESS::Spawn("sh", 6, args);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(Eventually([&] { return Exists(out); }));
    EXPECT_EQ(ReadFile(out), "A B\nC\"D\n$HOME;x\n");
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_NOTICE, "About to call ShellExecute:sh"));
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_NOTICE, "Arguments:\"-c\" \"" + script + "\" \"" + out +
                                                        "\" \"A B\" \"C\"D\" \"$HOME;x\" "));
}

TEST(ProcessSpawn, EndedChildrenAreReapedAtTheNextSpawnByNoThreadNorTouchingOthers)
{
    TempDir dir;
    std::string go = dir / "go";
    // A child of the program's own, which Spawn must leave to its owner.
    pid_t own = fork();
    ASSERT_GE(own, 0);
    if (own == 0)
        _exit(7);
    size_t threads = ThreadCount();
    // Runs until the test lets it end.
    const char* args[] = {"-c", "while [ ! -e \"$0\" ]; do sleep 0.01; done", go.c_str()};
    int64_t first = PROCESS::Spawn("sh", 3, args);
    ASSERT_GT(first, 0);
    EXPECT_EQ(ThreadCount(), threads);
    WriteFile(go, "");
    // Nobody waits for it until the next Spawn.
    ASSERT_TRUE(Eventually([&] { return ProcessState(first) == 'Z'; })) << "state " << ProcessState(first);
    ASSERT_TRUE(Eventually([&] { return ProcessState(own) == 'Z'; }));
    ASSERT_GT(PROCESS::Spawn("true", 0, nullptr), 0);
    EXPECT_EQ(ProcessState(first), 0);
    int status = 0;
    ASSERT_EQ(waitpid(own, &status, 0), own);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7);
}

TEST(ProcessSpawn, MissingOrDeniedProgramFails)
{
    TempDir dir;
    KxCapture capture;
    EXPECT_EQ(PROCESS::Spawn((dir / "none").c_str(), 0, nullptr), 0);
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_NOTICE, "ShellExecute returned error 2"));
    EXPECT_EQ(PROCESS::Spawn(nullptr, 0, nullptr), 0);

    // There is no elevation to try: the denial is the answer.
    std::string path = dir / "notexec";
    WriteFile(path, "#!/bin/sh\nexit 0\n");
    chmod(path.c_str(), 0644);
    EXPECT_EQ(PROCESS::Spawn(path.c_str(), 0, nullptr), 0);
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_NOTICE, "ShellExecute returned SE_ERR_ACCESSDENIED, trying 'runas'"));
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_NOTICE, "ShellExecute returned error 5"));
}

// The program that runs is the file read through the descriptor, even when
// another file took its name since; one that may not run is refused.
TEST(ProcessSpawn, OpenFileRunsWhatWasOpenedNotWhatHasItsNameNow)
{
    TempDir dir;
    const std::string program = dir / "program";
    const std::string out = dir / "out";
    WriteFile(program, "#!/bin/sh\nprintf opened > " + ShellWord(out) + "\n");
    chmod(program.c_str(), 0700);
    const int fd = open(program.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    WriteFile(dir / "other", "#!/bin/sh\nprintf other > " + ShellWord(out) + "\n");
    chmod((dir / "other").c_str(), 0700);
    ASSERT_EQ(rename((dir / "other").c_str(), program.c_str()), 0);
    std::string why;
    ASSERT_GT(PROCESS::SpawnOpenFile(fd, why), 0) << why;
    ASSERT_TRUE(Eventually([&] { return ReadFile(out) == "opened"; })) << ReadFile(out);
    // This process keeps its descriptor closed on exec for other children.
    EXPECT_EQ(fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
    close(fd);

    const std::string plain = dir / "plain";
    WriteFile(plain, "#!/bin/sh\nexit 0\n");
    chmod(plain.c_str(), 0600);
    const int denied = open(plain.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(denied, 0);
    EXPECT_EQ(PROCESS::SpawnOpenFile(denied, why), 0);
    EXPECT_EQ(why, strerror(EACCES));
    close(denied);
}

// The programs started read nothing of this process's standard input (an
// upgrade's package, say): theirs is /dev/null. Only SpawnWithInput hands on
// the descriptor it is given.
TEST(ProcessSpawn, ChildrenReadNothingOfOurInput)
{
    TempDir dir;
    const std::string input = dir / "input";
    WriteFile(input, "package");
    const int kept = dup(STDIN_FILENO);
    const int opened = open(input.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_TRUE(kept >= 0 && opened >= 0 && dup2(opened, STDIN_FILENO) == STDIN_FILENO);
    // Writes where its argument says, without one (run from its descriptor) to "opened".
    const std::string program = dir / "program";
    WriteFile(program, "#!/bin/sh\nout=${1:-" + ShellWord(dir / "opened") +
                           "}\nreadlink /proc/self/fd/0 > \"$out.part\" && mv \"$out.part\" \"$out\"\n");
    chmod(program.c_str(), 0700);
    const int fd = open(program.c_str(), O_RDONLY | O_CLOEXEC);
    const std::string spawned = dir / "spawned";
    const std::string given = dir / "given";
    const struct {
        std::string out;
        std::function<int64_t(std::string& why)> start;
        std::string seen;
    } cases[] = {
        {spawned,
         [&](std::string&) {
             const char* args[] = {spawned.c_str()};
             return PROCESS::Spawn(program.c_str(), 1, args);
         },
         "/dev/null"},
        {dir / "opened", [&](std::string& why) { return PROCESS::SpawnOpenFile(fd, why); }, "/dev/null"},
        {given,
         [&](std::string& why) {
             return PROCESS::SpawnWithInput(program, {given}, {"PATH=/usr/bin:/bin"}, opened, why);
         },
         input},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        std::string why;
        ASSERT_GT(c.start(why), 0) << why;
        ASSERT_TRUE(Eventually([&] { return Exists(c.out); }));
        EXPECT_EQ(ReadFile(c.out), c.seen + "\n");
    }
    dup2(kept, STDIN_FILENO);
    close(kept);
    close(opened);
    close(fd);
}

TEST(ProcessClock, LocalTimeOffsetFollowsTheZone)
{
    const char* old = getenv("TZ");
    std::string saved = old != nullptr ? old : "";
    const struct {
        const char* tz;
        int64_t offset;
    } cases[] = {{"UTC0", 0}, {"XST-5:30", 19800LL * 1000000}, {"WST8", -28800LL * 1000000}};
    for (const auto& c : cases) {
        SetTz(c.tz);
        EXPECT_EQ(ZmLib::LocalTimeOffset(), c.offset) << c.tz;
    }
    // At a given moment: winter and summer time, and half a second before
    // 1970, which lies in its last second.
    SetTz("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(ZmLib::LocalTimeOffsetAt(1704067200LL * 1000000), 3600LL * 1000000);
    EXPECT_EQ(ZmLib::LocalTimeOffsetAt(1719792000LL * 1000000), 7200LL * 1000000);
    EXPECT_EQ(ZmLib::LocalTimeOffsetAt(-500000), 3600LL * 1000000);
    SetTz(old != nullptr ? saved.c_str() : nullptr);
}
