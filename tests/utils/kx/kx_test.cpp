#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "kx_capture.h"
#include "tests/utils/osal/osal_fixtures.h"
#include "utils/osal/timeros.h"

using namespace ZmLib;
using kxtest::KxStreamTest;
using kxtest::TestChannel;

using KxChannelTest = KxStreamTest;

TEST_F(KxChannelTest, RegisterOnceInitResetsTheListFindByExactName)
{
    KX table("TABLE");
    KX::Register(&table, 1);
    // Registering again must not close the list into a loop.
    KX::Register(&table, 3);
    ASSERT_EQ(table.next, &KxSys);
    KX::Register(&KxSys, KX_OUT_STD);
    ASSERT_EQ(KxSys.next, nullptr);
    EXPECT_EQ(KX::Head(), &table);
    EXPECT_EQ(table.flags, 3u);
    EXPECT_EQ(KX::FindByName("TABLE"), &table);

    KX::Init(2, false, nullptr, KX_OUT_STD | KX_OUT_FILE, false);
    EXPECT_EQ(KX::Head(), &KxSys);
    EXPECT_EQ(KxSys.next, nullptr);
    EXPECT_EQ(KxSys.threshold, 2);
    EXPECT_EQ(KxSys.flags, KX_OUT_STD | KX_OUT_FILE);
    EXPECT_EQ(KX::FindByName("SYS"), &KxSys);
    EXPECT_EQ(KX::FindByName("sys"), nullptr);
    EXPECT_EQ(KX::FindByName("TABLE"), nullptr);
    EXPECT_EQ(KX::FindByName(nullptr), nullptr);
}

TEST_F(KxChannelTest, SuspendAndRestore)
{
    TestChannel table("TABLE", KX_OUT_STD);
    TestChannel reader("READER", KX_OUT_STD);
    reader.channel.threshold = -2;
    KX::SuspendAll();
    EXPECT_EQ(table.channel.threshold, -1);
    EXPECT_EQ(reader.channel.threshold, -2);
    KX::RestoreAll();
    EXPECT_EQ(table.channel.threshold, 1);
    EXPECT_EQ(KxSys.threshold, 1);
    // Negative before the suspension: gets the saved value of an earlier
    // one, 0 when there was none.
    EXPECT_EQ(reader.channel.threshold, 0);
}

TEST_F(KxChannelTest, EmittersHonourTheThresholdAndSetFlagsLevelsAndTexts)
{
    TestChannel rc("SCRIPT", KX_OUT_STD, true);
    KX& ch = rc.channel;
    ch.Print(0, 2, "Fn", "hidden %d", 2);
    ch.PrintText(0, 2, "Fn", "hidden");
    ch.FuncEnter(0, 2, "Fn");
    ch.FuncLeave(0, 2, "Fn");
    EXPECT_TRUE(Records().empty());
    // Reports pass any threshold.
    ch.threshold = -3;
    ch.ErrorReport(1, "e.cpp", 3, "Fn", "e %d", 1);
    ch.WarningReport(0, "e.cpp", 4, "Fn", "w");
    ch.Notice(0, "n");
    ch.Emit(0, 0);
    ch.threshold = 1000;
    ch.FuncEnter(9, 1, "Enter", "x=%d", 4);
    ch.FuncEnter(9, 1, "Enter");
    ch.FuncLeave(9, 1, "Enter");
    ch.Emit(3, KXF_NEW_INSTANCE, "NEW INSTANCE: %s, KEY=%llX", "Obj", 0xABCull);
    ch.Emit(3, KXF_VERSION);
    ch.NoticeText(2, "100%");
    ch.Print(0, 300, "Fn", "deep trace");
    ch.PrintText(0, -300, "Fn", "very severe");
    // The expression is copied as it stands, never used as a format.
    ch.AssertReport(5, false, "a.cpp", 10, "Fn", "100 % n == 0 && fmt(\"%s%n\")");
    ch.AssertReport(0, true, "a.cpp", 11, "Fn", "p != nullptr");
    auto traced = [&ch](bool early) {
        KX_FUNC(ch, 1);
        if (early)
            return 1;
        return 2;
    };
    traced(true);
    traced(false);

    struct Expected {
        uint32_t flags;
        int level;
        uint64_t key;
        const char* function;
        const char* text; // null: no text slot
    };
    const Expected expected[] = {
        {KXF_TEXT, -1, 1, "Fn", "e 1"},
        {KXF_TEXT, 0, 0, "Fn", "w"},
        {KXF_TEXT, 1, 0, "", "n"},
        {0, 1, 0, "", nullptr},
        {3, 1, 9, "Enter", "x=4"},
        {2, 1, 9, "Enter", nullptr},
        {4, 1, 0, "Enter", nullptr},
        {KXF_NEW_INSTANCE | KXF_TEXT, 1, 3, "", "NEW INSTANCE: Obj, KEY=ABC"},
        {KXF_VERSION, 1, 3, "", nullptr},
        {KXF_TEXT, 1, 2, "", "100%"},
        {KXF_TEXT, 127, 0, "Fn", "deep trace"},
        {KXF_TEXT, -128, 0, "Fn", "very severe"},
        {0, -6, 5, "Fn", "100 % n == 0 && fmt(\"%s%n\")"},
        {0, -5, 0, "Fn", "p != nullptr"},
        {2, 1, 0, "operator()", nullptr},
        {4, 1, 0, "operator()", nullptr},
        {2, 1, 0, "operator()", nullptr},
        {4, 1, 0, "operator()", nullptr},
    };
    ASSERT_EQ(Records().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const KxProt& record = Records()[i];
        EXPECT_EQ(record.FLAGS, expected[i].flags);
        EXPECT_EQ(record.LEVEL, expected[i].level);
        EXPECT_EQ(record.KXKEY, expected[i].key);
        EXPECT_STREQ(record.String(KxdProt::SLOT_KXNAME), "SCRIPT");
        EXPECT_STREQ(record.String(KxdProt::SLOT_FUNC), expected[i].function);
        if (expected[i].text)
            EXPECT_STREQ(record.String(KxdProt::SLOT_TEXT), expected[i].text);
        else
            EXPECT_EQ(record.offsets[KxdProt::SLOT_TEXT], 0);
    }
    EXPECT_EQ(Records()[1].LINE, 4u);
    EXPECT_STREQ(Records()[1].String(KxdProt::SLOT_FILE), "e.cpp");
}

TEST_F(KxChannelTest, VerifyTextEvaluatesOnceAndReportsItsTextVerbatim)
{
    TestChannel rc("SCRIPT", KX_OUT_STD, true);
    int evaluated = 0;
    auto check = [&evaluated](bool result) {
        ++evaluated;
        return result;
    };
    EXPECT_TRUE(KX_VERIFY_TEXT(rc.channel, check(true), "never reported"));
    EXPECT_TRUE(Records().empty());
    EXPECT_FALSE(KX_VERIFY_TEXT(rc.channel, check(false), "file.Read(Data,%s) == 100%"));
    const int line = __LINE__ - 1;
    EXPECT_FALSE(KX_VERIFY(rc.channel, check(false)));
    EXPECT_EQ(evaluated, 3);
    ASSERT_EQ(Records().size(), 2u);
    const KxProt& record = Records()[0];
    EXPECT_EQ(record.LEVEL, KX_LEVEL_VERIFY);
    EXPECT_EQ(record.FLAGS, 0u);
    EXPECT_EQ(record.KXKEY, 0u);
    EXPECT_EQ(record.LINE, uint32_t(line));
    // The source file's name, without the folders it was built in.
    EXPECT_STREQ(record.String(KxdProt::SLOT_FILE), "kx_test.cpp");
    EXPECT_STREQ(record.String(KxdProt::SLOT_TEXT), "file.Read(Data,%s) == 100%");
    EXPECT_STREQ(Records()[1].String(KxdProt::SLOT_TEXT), "check(false)");
}

TEST_F(KxChannelTest, ReportsAlwaysReachTheStandardOutput)
{
    TestChannel quiet("SYSLOG", 0);
    quiet.channel.Print(0, 1, "Fn", "trace");
    quiet.channel.Emit(0, KXF_VERSION, "version");
    EXPECT_TRUE(Lines().empty());
    quiet.channel.Notice(0, "notice");
    quiet.channel.ErrorReport(0, "/home/builder/src/kxviewer/f.cpp", 7, "Fn", "failed %d", 7);
    ASSERT_EQ(Lines().size(), 2u);
    EXPECT_NE(Lines()[1].find("SYSLOG     >> ERROR [f.cpp:7] failed 7"), std::string::npos) << Lines()[1];
    EXPECT_EQ(Boxes().size(), 1u);
}

TEST_F(KxChannelTest, UnregisteredChannelAndSpoolerModeAreReported)
{
    KX early("TEAROFF");
    EXPECT_EQ(early.Notice(0, "dropped"), 0);
    EXPECT_EQ(early.ErrorReport(0, "f", 1, "Fn", "dropped"), 0);
    ASSERT_EQ(Lines().size(), 2u);
    EXPECT_EQ(Lines()[0], "Non-constructed KX-Class 'TEAROFF'");

    EXPECT_FALSE(KX::Init(1, false, nullptr, KX_OUT_STD, true));
    ASSERT_EQ(Lines().size(), 3u);
    EXPECT_EQ(Lines()[2].rfind("ASSERT failure  [", 0), 0u);
    EXPECT_NE(Lines()[2].find("] !spoolermode"), std::string::npos);
}

// The abort handler runs in a process of its own, started afresh from this
// binary: a fork of the test process would inherit the locks its other
// threads held at that moment, and could hang before the handler is set.
namespace {

constexpr const char* ABORT_CHILD_DIR = "KXV_ABORT_CHILD_DIR";
constexpr const char* ABORT_CHILD_WRITERS = "KXV_ABORT_CHILD_WRITERS";
constexpr const char* ABORT_CHILD_BLOCKS = "KXV_ABORT_CHILD_BLOCKS";
constexpr const char* ABORT_REPORT = "PROCESS ABORT HANDLER: signal 2";

struct AbortRun {
    bool ended = false; // by itself, within the bound the parent allows
    int status = 0;
    std::string stderrText;
    std::string log;
};

// Starts the child with writers threads writing to the log without pause,
// sends SIGINT once they write, and waits for its end (20 s at the most).
AbortRun RunAbortChild(const kxtest::TempDir& dir, int writers, bool callbackBlocks)
{
    AbortRun run;
    const std::string logPath = dir / "abort.kx";
    const std::string errPath = dir / "stderr";
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry)
        environment.emplace_back(*entry);
    environment.push_back(std::string(ABORT_CHILD_DIR) + "=" + dir.Path());
    environment.push_back(std::string(ABORT_CHILD_WRITERS) + "=" + std::to_string(writers));
    environment.push_back(std::string(ABORT_CHILD_BLOCKS) + "=" + (callbackBlocks ? "1" : "0"));
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string self = "/proc/self/exe";
    std::string filter = "--gtest_filter=KxAbortHandlerChild.Body";
    char* argv[] = {self.data(), filter.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t child = -1;
    const int spawned = posix_spawn(&child, self.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "posix_spawn: " << strerror(spawned);
        return run;
    }
    // The notice record (72 + "\0SYS\0before\0") shows the handler is set;
    // the writers have written when the log has grown well past it.
    const size_t ready = writers == 0 ? 84 : 8192;
    EXPECT_TRUE(kxtest::Eventually([&] { return kxtest::ReadFile(logPath).size() >= ready; }));
    kill(child, SIGINT);
    for (int waited = 0; waited < 2000 && !run.ended; ++waited) {
        pid_t done = waitpid(child, &run.status, WNOHANG);
        if (done == child)
            run.ended = true;
        else
            usleep(10000);
    }
    if (!run.ended) {
        kill(child, SIGKILL);
        waitpid(child, &run.status, 0);
    }
    run.stderrText = kxtest::ReadFile(errPath);
    run.log = kxtest::ReadFile(logPath);
    return run;
}

} // namespace

// The body of the child process that RunAbortChild starts; skipped in a
// test run of its own.
TEST(KxAbortHandlerChild, Body)
{
    const char* dir = getenv(ABORT_CHILD_DIR);
    if (dir == nullptr)
        GTEST_SKIP() << "runs only as the abort tests' child process";
    const int writers = atoi(getenv(ABORT_CHILD_WRITERS));
    const bool blocks = strcmp(getenv(ABORT_CHILD_BLOCKS), "1") == 0;
    KxvSetDebugOutputHook([](const char*) {});
    PKX::Init((std::string(dir) + "/abort.kx").c_str());
    // A callback that never returns stands for one that waits on a lock the
    // interrupted thread holds.
    void (*callback)() = blocks ? +[] {
        for (;;)
            pause();
    }
                                : nullptr;
    KX::Init(1, true, callback, KX_OUT_STD | KX_OUT_FILE, false);
    KxSys.Notice(0, "before");
    for (int i = 0; i < writers; ++i)
        std::thread([] {
            for (;;)
                KxSys.Notice(0, "busy");
        }).detach();
    for (;;)
        pause();
}

TEST(KxAbortHandler, SignalEndsTheProcessWithItsReport)
{
    kxtest::TempDir dir;
    const AbortRun run = RunAbortChild(dir, 0, false);
    ASSERT_TRUE(run.ended);
    ASSERT_TRUE(WIFEXITED(run.status));
    EXPECT_EQ(WEXITSTATUS(run.status), 1);
    EXPECT_EQ(run.stderrText, std::string(ABORT_REPORT) + "\n");

    // The log holds the notice and then the handler's record.
    std::vector<KxProt> records = kxtest::ReadRecords(run.log);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_STREQ(records[0].String(KxdProt::SLOT_TEXT), "before");
    EXPECT_EQ(records[1].LEVEL, -1);
    EXPECT_EQ(records[1].SEQ, 1u);
    EXPECT_STREQ(records[1].String(KxdProt::SLOT_KXNAME), "SYS");
    EXPECT_STREQ(records[1].String(KxdProt::SLOT_FILE), "<unknown>");
    EXPECT_STREQ(records[1].String(KxdProt::SLOT_TEXT), ABORT_REPORT);
}

// Whatever the other threads hold when the signal lands, and however long
// the callback would wait, the process ends with the handler's code and
// its report.
TEST(KxAbortHandler, SignalAmongWritingThreadsAlwaysEndsTheProcess)
{
    struct Case {
        const char* name;
        int writers;
        bool callbackBlocks;
        int repeats;
    };
    const Case cases[] = {
        {"four threads writing to the log", 4, false, 20},
        {"a callback that never returns", 2, true, 2},
    };
    for (const Case& c : cases) {
        for (int i = 0; i < c.repeats; ++i) {
            SCOPED_TRACE(std::string(c.name) + ", run " + std::to_string(i));
            kxtest::TempDir dir;
            const AbortRun run = RunAbortChild(dir, c.writers, c.callbackBlocks);
            ASSERT_TRUE(run.ended) << "the process did not end";
            ASSERT_TRUE(WIFEXITED(run.status));
            EXPECT_EQ(WEXITSTATUS(run.status), 1);
            EXPECT_EQ(run.stderrText, std::string(ABORT_REPORT) + "\n");
            EXPECT_NE(run.log.find(ABORT_REPORT), std::string::npos);
        }
    }
}

TEST_F(KxChannelTest, DoneEndsTheTimerThreadAndInitStartsItAgain)
{
    EXPECT_TRUE(TIMER_OS::IsRunning());
    KX::Done();
    KX::Done();
    EXPECT_FALSE(TIMER_OS::IsRunning());
    ASSERT_TRUE(KX::Init(1, false, nullptr, KX_OUT_STD, false));
    EXPECT_TRUE(TIMER_OS::IsRunning());
}
