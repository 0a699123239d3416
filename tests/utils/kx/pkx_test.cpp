#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "kx_capture.h"
#include "tests/utils/osal/osal_fixtures.h"
#include "utils/osal/process.h"

using namespace ZmLib;
using kxtest::KxStreamTest;

namespace {

// 127.0.0.1 with the first octet in the low byte.
constexpr uint32_t LOOPBACK = 0x0100007F;
constexpr int64_t EVENT_US = 1561910811123456ll; // 2019-06-30 16:06:51.123456 UTC

const std::string NOTICE_LINE = "KX>> 2019-06-30 16:06:51.123456 #      7" + std::string(12, ' ') + "TID(1234) SYS" +
                                std::string(8, ' ') + ">> T";

KXEVENT TextEvent(const char* name, int8_t level, const char* text)
{
    KXEVENT event{};
    event.mask = KX_OUT_STD;
    event.time = uint64_t(EVENT_US + 11644473600000000ll) * 10;
    event.seq = 7;
    event.tid = 1234;
    event.level = level;
    event.flags = KXF_TEXT;
    event.name = name;
    event.text = text;
    return event;
}

KxProt Build(const KXEVENT& event)
{
    KxProt record;
    PKX::BuildMsg(&event, &record);
    return record;
}

std::string Line(const KxProt& record, const char* label = "TID", int64_t timeBase = 0, bool* failure = nullptr)
{
    char out[PKX_LINE_SIZE];
    bool isFailure = PKX::FormatLine(&record, out, sizeof out, label, "KX>>", timeBase);
    if (failure)
        *failure = isFailure;
    return out;
}

std::string Body(const std::string& line)
{
    size_t at = line.find(" >> ");
    return at == std::string::npos ? line : line.substr(at + 4);
}

} // namespace

using PkxLineTest = KxStreamTest;

TEST_F(PkxLineTest, ColumnsOfTheTextLine)
{
    KxProt record = Build(TextEvent("SYS", 1, "T"));
    EXPECT_EQ(Line(record), NOTICE_LINE);
    int64_t oneDayEtc = ((24 + 1) * 3600 + 61) * 1000000ll;
    EXPECT_EQ(Line(record, "TID", EVENT_US - oneDayEtc).substr(0, 23), "KX>> 1d 1:01:01.000000 ");
    char out[PKX_LINE_SIZE];
    PKX::FormatLineShort(&record, out, sizeof out, "KX>>");
    EXPECT_STREQ(out, "KX>> SYS >> T");

    // A small buffer is never overrun.
    char small[12];
    memset(small, '#', sizeof small);
    PKX::FormatLine(&record, small, 10, "TID", "KX>>", 0);
    EXPECT_STREQ(small, "KX>> 2019");
    EXPECT_EQ(small[10], '#');

    // Without a label: dashes, or blanks before a thread name.
    EXPECT_NE(Line(record, nullptr).find(" #      7 " + std::string(14, '-') + "(1234) SYS "), std::string::npos)
        << Line(record, nullptr);
    record.offsets[KxdProt::SLOT_TNAME] = record.opt_len;
    strcpy(record.strings + record.opt_len, "worker");
    EXPECT_NE(Line(record, nullptr).find(" #      7 " + std::string(8, ' ') + "worker(1234) SYS "), std::string::npos)
        << Line(record, nullptr);

    // A long name pushes the body; the mark; only the first text line.
    KXEVENT marked = TextEvent("ABCDEFGHIJKL", 1, "first\nsecond");
    marked.flags |= KXF_MARK;
    std::string line = Line(Build(marked));
    EXPECT_EQ(line.substr(0, 5), "KX>>*");
    EXPECT_NE(line.find(" ABCDEFGHIJKL >> first"), std::string::npos) << line;
    EXPECT_EQ(Body(line), "first");
}

TEST_F(PkxLineTest, BodiesAndFailureResult)
{
    struct Case {
        int8_t level;
        uint16_t flags;
        const char* text;
        const char* body;
        bool failure;
    };
    const Case cases[] = {
        {1, KXF_TEXT, "T", "T", false},
        {-1, KXF_TEXT, "T", "ERROR [F:42] T", true},
        {0, KXF_TEXT, "T", "WARNING [F:42] T", false},
        {1, KXF_TEXT, "n=%d", "n=%d", false},
        // An assertion's expression is never used as a format.
        {-6, 0, "p && 100%s%n", "ASSERT failure [F:42] p && 100%s%n", true},
        {-5, 0, "x > 0", "VERIFY failure [F:42] x > 0", true},
        // Function records show only the function, whatever their level.
        {-1, KXF_FUNC_ENTER | KXF_TEXT, "ignored", "-> Load", false},
        {-1, KXF_FUNC_LEAVE, nullptr, "<- Load", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        KXEVENT event = TextEvent("TABLE", c.level, c.text);
        event.flags = c.flags;
        event.file = "F";
        event.line = 42;
        event.function = "Load";
        bool failure = !c.failure;
        EXPECT_EQ(Body(Line(Build(event), "TID", 0, &failure)), c.body);
        EXPECT_EQ(failure, c.failure);
    }
}

using PkxBuildTest = KxStreamTest;

TEST_F(PkxBuildTest, HeaderAndStringArea)
{
    KXEVENT event = TextEvent("SYS", -1, "text");
    event.flags = KXF_TEXT | 0x100;
    event.key = 0xABCDEF;
    event.file = "a.cpp";
    event.line = 9;
    event.function = "Fn";
    KxProt record;
    EXPECT_EQ(PKX::BuildMsg(&event, &record), 72u + 19u);
    EXPECT_EQ(record.FLAGS, 0x101u);
    EXPECT_EQ(record.magic, 0xAAAA);
    EXPECT_EQ(record.reserved, 0);
    EXPECT_EQ(record.LEVEL, -1);
    EXPECT_EQ(record.TIME, uint64_t(EVENT_US));
    EXPECT_EQ(record.PID, PROCESS::MainThreadId);
    EXPECT_EQ(record.TID, 1234u);
    EXPECT_EQ(record.KXKEY, 0xABCDEFu);
    EXPECT_EQ(record.SEQ, 7u);
    EXPECT_EQ(record.LINE, 9u);
    const uint16_t offsets[10] = {0, 0, 0, 0, 1, 5, 11, 14, 0, 0};
    EXPECT_EQ(memcmp(record.offsets, offsets, sizeof offsets), 0);
    EXPECT_EQ(record.opt_len, 19);
    EXPECT_EQ(memcmp(record.strings, "\0SYS\0a.cpp\0Fn\0text\0", 19), 0);
}

TEST_F(PkxBuildTest, LongTextIsTruncatedAt384)
{
    std::string text(500, 'z');
    KxProt record = Build(TextEvent("SYS", 1, text.c_str()));
    EXPECT_EQ(record.opt_len, 384);
    EXPECT_EQ(std::string(record.strings + 5, 378), std::string(365, 'z') + " TRUNCATED...");
    EXPECT_EQ(record.strings[383], 0);
    ASSERT_EQ(Lines().size(), 2u);
    EXPECT_EQ(Lines()[0], "Printed line is too long:");
    EXPECT_EQ(Lines()[1], text);
}

TEST_F(PkxBuildTest, LongFileAndFunctionNeverWritePastTheArea)
{
    std::string file(200, 'f');
    std::string function(200, 'g');
    KXEVENT event = TextEvent("SYS", -1, "text");
    event.file = file.c_str();
    event.function = function.c_str();
    KxProt record = Build(event);
    EXPECT_EQ(record.opt_len, 384);
    EXPECT_EQ(record.offsets[KxdProt::SLOT_FILE], 5);
    EXPECT_EQ(record.offsets[KxdProt::SLOT_FUNC], 206);
    EXPECT_EQ(record.offsets[KxdProt::SLOT_TEXT], 0);
    EXPECT_EQ(std::string(record.String(KxdProt::SLOT_FUNC)), std::string(164, 'g') + " TRUNCATED...");

    // A string that would start inside the closing marker gets no offset.
    std::string file2(375, 'f');
    event.file = file2.c_str();
    event.function = "FunctionName";
    record = Build(event);
    EXPECT_EQ(std::string(record.String(KxdProt::SLOT_FILE)), std::string(365, 'f') + " TRUNCATED...");
    EXPECT_EQ(record.offsets[KxdProt::SLOT_FUNC], 0);
    EXPECT_EQ(record.offsets[KxdProt::SLOT_TEXT], 0);
    EXPECT_EQ(record.opt_len, 384);
}

using PkxRegistryTest = KxStreamTest;

TEST_F(PkxRegistryTest, RefusalsAreReportedDeleteAndDoneCloseTheOutputs)
{
    auto descriptors = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    // Socket use is started and ended with the outputs: a peer that went
    // away must not end the process with SIGPIPE while the stream runs.
    auto sigpipe = [] {
        struct sigaction current{};
        sigaction(SIGPIPE, nullptr, &current);
        return current.sa_handler;
    };
    EXPECT_EQ(sigpipe(), SIG_IGN);
    auto before = descriptors();
    kxtest::TempDir dir;
    std::string path = dir / "KxViewer.kx";
    ASSERT_EQ(PKX::NewFile(path.c_str(), 0x7FFFFFFF, false), uint32_t(KX_OUT_FILE));
    ASSERT_EQ(PKX::NewUdp(LOOPBACK, 9), uint32_t(KX_OUT_UDP));
    EXPECT_EQ(descriptors(), before + 2);
    EXPECT_EQ(PKX::NewStd(), 0u);
    EXPECT_EQ(PKX::NewFile(path.c_str(), 0x7FFFFFFF, false), 0u);
    EXPECT_EQ(PKX::NewUdp(LOOPBACK, 10), 0u);
    EXPECT_FALSE(PKX::Delete(PKX_ID_STD));
    EXPECT_TRUE(PKX::Delete(PKX_ID_UDP));
    for (int32_t id : {int32_t(PKX_ID_UDP), 3, -1})
        EXPECT_FALSE(PKX::Delete(id));
    // Each line without its source position.
    std::vector<std::string> untagged;
    for (const std::string& line : Lines())
        untagged.push_back(line.substr(0, line.find('[') + 1) + line.substr(line.find(']')));
    const std::vector<std::string> expected = {
        "VERIFY failure  [] ArrayPkx[PKX_ID_STD] == 0", "VERIFY failure  [] ArrayPkx[id]==0",
        "VERIFY failure  [] ArrayPkx[id]==0",           "ASSERT failure  [] id != PKX_ID_STD",
        "VERIFY failure  [] ArrayPkx[id]",              "VERIFY failure  [] ArrayPkx[id]",
        "VERIFY failure  [] ArrayPkx[id]"};
    EXPECT_EQ(untagged, expected);
    EXPECT_EQ(descriptors(), before + 1);
    EXPECT_EQ(PKX::FindOutput(KX_OUT_STD)->id, PKX_ID_STD);
    EXPECT_EQ(PKX::FindOutput(KX_OUT_UDP), nullptr);
    ASSERT_EQ(PKX::NewUdp(LOOPBACK, 9), uint32_t(KX_OUT_UDP));
    PKX::Done();
    EXPECT_EQ(descriptors(), before);
    EXPECT_EQ(sigpipe(), SIG_DFL);
    EXPECT_EQ(PKX::FindOutput(KX_OUT_STD | KX_OUT_FILE | KX_OUT_UDP), nullptr);
}

TEST_F(PkxRegistryTest, DispatchHonoursMaskAndThresholdAndBoxesFailures)
{
    KXEVENT event = TextEvent("TABLE", -1, "T");
    event.file = "F";
    event.line = 42;
    event.function = "Fn";
    PKX::FindOutput(KX_OUT_STD)->threshold = 0;
    for (uint16_t flags : {KXF_TEXT, KXF_FUNC_ENTER}) {
        for (int level : {-1, 0, 1}) {
            event.flags = flags;
            event.level = int8_t(level);
            KxProt record = Build(event);
            PKX::Dispatch(KX_OUT_STD | KX_OUT_FILE, record.MessageLength(), &record);
            PKX::Dispatch(KX_OUT_FILE, record.MessageLength(), &record);
        }
    }
    ASSERT_EQ(Lines().size(), 4u);
    EXPECT_EQ(Body(Lines()[0]), "ERROR [F:42] T");
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0], "ERROR [F:42]\nT");
    // Level 1 is above the threshold, but DispatchAll ignores it.
    KxProt notice = Build(TextEvent("SYS", 1, "T"));
    PKX::DispatchAll(KX_OUT_STD, notice.MessageLength(), &notice);
    EXPECT_EQ(Lines().size(), 5u);
}

using PkxDirectTest = KxStreamTest;

TEST_F(PkxDirectTest, DirectPathTexts)
{
    DebugPrintf("value %d of %s", 5, "x");
    PKX::PrintError("file.cpp", 12, "Fn", "PKXFILE %s open failure", "/x/y.kx");
    KX::PrintTagged(1, "f.cpp", 3, "Fn", "a %s b");
    KXEVENT event = TextEvent("SYS", 1, "T");
    event.mask = 0;
    PKX::Done();
    EXPECT_GT(PKX::EmitToGui(&event, &KxSys), 0);
    ASSERT_EQ(Lines().size(), 4u);
    EXPECT_EQ(Lines()[0], "value 5 of x");
    EXPECT_EQ(Lines()[1], "ERROR [file.cpp:12] PKXFILE /x/y.kx open failure");
    EXPECT_EQ(Lines()[2], "VERIFY failure  [f.cpp:3] a %s b");
    // EmitToGui numbers the record itself, from 0 after Init.
    EXPECT_EQ(Lines()[3], std::string(NOTICE_LINE).replace(39, 1, "0"));
}

TEST(KxSinkDefaults, DebugOutputOnlyWhenAskedAndTheErrorBoxText)
{
    unsetenv("KXV_DEBUG_STDERR");
    testing::internal::CaptureStderr();
    KxvDebugOutput("quiet");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    setenv("KXV_DEBUG_STDERR", "1", 1);
    testing::internal::CaptureStderr();
    KxvDebugOutput("loud");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "loud\n");
    unsetenv("KXV_DEBUG_STDERR");

    const std::pair<const char*, const char*> boxes[] = {
        {"KX>> 2019 #  1  TID(1) SYS        >> ERROR [F:42] T", "ERROR [F:42]\nT"},
        {"no markers] here", "no markers]\nhere"},
        // A ']' at the very end keeps the terminator in place.
        {"KX>> x >> ERROR [F:42]", "ERROR [F:42]"},
        {"KX>> x >>", ""},
    };
    for (const auto& box : boxes) {
        testing::internal::CaptureStderr();
        KxvDebugErrorBox(box.first);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string("KxViewer Error\n") + box.second + "\n");
    }
}
