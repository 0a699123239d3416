#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kx_capture.h"
#include "utils/osal/process.h"

using namespace ZmLib;
using kxtest::KxStreamTest;

namespace {

constexpr int64_t EVENT_US = 1561910811123456ll; // 2019-06-30 16:06:51.123456 UTC

uint64_t FileTime(int64_t us) { return uint64_t(us + 11644473600000000ll) * 10; }

KXEVENT TextEvent(const char* name, int8_t level, const char* text)
{
    KXEVENT event{};
    event.mask = KX_OUT_STD;
    event.time = FileTime(EVENT_US);
    event.seq = 7;
    event.tid = 1234;
    event.level = level;
    event.flags = KXF_TEXT;
    event.name = name;
    event.text = text;
    return event;
}

KxProt Build(const KXEVENT& event, uint32_t* length = nullptr)
{
    KxProt record;
    uint32_t n = PKX::BuildMsg(&event, &record);
    if (length)
        *length = n;
    return record;
}

std::string Line(const KxProt& record, const char* label = "TID", int64_t timeBase = 0)
{
    char out[PKX_LINE_SIZE];
    PKX::FormatLine(&record, out, sizeof out, label, "KX>>", timeBase);
    return out;
}

std::string Body(const std::string& line)
{
    size_t at = line.find(" >> ");
    return at == std::string::npos ? line : line.substr(at + 4);
}

} // namespace

using PkxLineTest = KxStreamTest;

TEST_F(PkxLineTest, NoticeLineHasTheExactColumns)
{
    KxProt record = Build(TextEvent("SYS", 1, "T"));
    EXPECT_EQ(Line(record), "KX>> 2019-06-30 16:06:51.123456 #      7 " + std::string(11, ' ') + "TID(1234) SYS" +
                                std::string(7, ' ') + " >> T");
    char out[PKX_LINE_SIZE];
    EXPECT_FALSE(PKX::FormatLine(&record, out, sizeof out, "TID", "KX>>", 0));
}

TEST_F(PkxLineTest, FailureAndWarningBodies)
{
    KXEVENT event = TextEvent("TABLE", -1, "T");
    event.file = "F";
    event.line = 42;
    KxProt error = Build(event);
    EXPECT_EQ(Body(Line(error)), "ERROR [F:42] T");
    char out[PKX_LINE_SIZE];
    EXPECT_TRUE(PKX::FormatLine(&error, out, sizeof out, "TID", "KX>>", 0));

    event.level = 0;
    KxProt warning = Build(event);
    EXPECT_EQ(Body(Line(warning)), "WARNING [F:42] T");
    EXPECT_FALSE(PKX::FormatLine(&warning, out, sizeof out, "TID", "KX>>", 0));

    event.level = -6;
    event.flags = 0;
    event.text = "x > 0";
    event.verbatim = true;
    EXPECT_EQ(Body(Line(Build(event))), "ASSERT failure [F:42] x > 0");
    event.level = -5;
    EXPECT_EQ(Body(Line(Build(event))), "VERIFY failure [F:42] x > 0");
}

TEST_F(PkxLineTest, FunctionRecordsShowOnlyTheFunction)
{
    KXEVENT event = TextEvent("SYS", -1, "ignored text");
    event.function = "Load";
    event.flags = KXF_FUNC_ENTER | KXF_TEXT;
    EXPECT_EQ(Body(Line(Build(event))), "-> Load");
    event.flags = KXF_FUNC_LEAVE;
    EXPECT_EQ(Body(Line(Build(event))), "<- Load");
    char out[PKX_LINE_SIZE];
    KxProt record = Build(event);
    EXPECT_FALSE(PKX::FormatLine(&record, out, sizeof out, "TID", "KX>>", 0));
}

TEST_F(PkxLineTest, LongNameMarkAndFirstLineOnly)
{
    KXEVENT event = TextEvent("ABCDEFGHIJKL", 1, "first\nsecond");
    event.flags |= KXF_MARK;
    KxProt record = Build(event);
    std::string line = Line(record);
    EXPECT_EQ(line.substr(0, 5), "KX>>*");
    EXPECT_NE(line.find(" ABCDEFGHIJKL >> first"), std::string::npos) << line;
    EXPECT_EQ(Body(line), "first");
    EXPECT_STREQ(record.String(KxdProt::SLOT_TEXT), "first\nsecond");
}

TEST_F(PkxLineTest, ThreadColumnWithoutLabel)
{
    KXEVENT event = TextEvent("SYS", 1, "T");
    event.tid = 5;
    KxProt record = Build(event);
    std::string dashes = " #      7 " + std::string(17, '-') + "(5) SYS ";
    EXPECT_NE(Line(record, nullptr).find(dashes), std::string::npos) << Line(record, nullptr);

    // A thread name stands in for the label, with blank fill.
    record.offsets[KxdProt::SLOT_TNAME] = record.opt_len;
    strcpy(record.strings + record.opt_len, "worker");
    std::string named = " #      7 " + std::string(11, ' ') + "worker(5) SYS ";
    EXPECT_NE(Line(record, nullptr).find(named), std::string::npos) << Line(record, nullptr);
}

TEST_F(PkxLineTest, RelativeTimeAndShortForm)
{
    KxProt record = Build(TextEvent("SYS", 1, "T"));
    int64_t oneDayEtc = ((24 + 1) * 3600 + 61) * 1000000ll;
    std::string line = Line(record, "TID", EVENT_US - oneDayEtc);
    EXPECT_EQ(line.substr(0, 23), "KX>> 1d 1:01:01.000000 ") << line;

    char out[PKX_LINE_SIZE];
    PKX::FormatLineShort(&record, out, sizeof out, "KX>>");
    EXPECT_STREQ(out, "KX>> SYS >> T");
}

TEST_F(PkxLineTest, SmallOutputBufferIsNeverOverrun)
{
    KxProt record = Build(TextEvent("SYS", 1, "T"));
    char out[12];
    memset(out, '#', sizeof out);
    PKX::FormatLine(&record, out, 10, "TID", "KX>>", 0);
    EXPECT_STREQ(out, "KX>> 2019");
    EXPECT_EQ(out[10], '#');
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
    uint32_t length = 0;
    KxProt record = Build(event, &length);
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
    EXPECT_EQ(record.strings[0], 0);
    EXPECT_EQ(record.offsets[KxdProt::SLOT_KXNAME], 1);
    EXPECT_EQ(record.offsets[KxdProt::SLOT_FILE], 5);
    EXPECT_EQ(record.offsets[KxdProt::SLOT_FUNC], 11);
    EXPECT_EQ(record.offsets[KxdProt::SLOT_TEXT], 14);
    EXPECT_EQ(record.opt_len, 19);
    EXPECT_EQ(length, 72u + 19u);
    EXPECT_EQ(memcmp(record.strings, "\0SYS\0a.cpp\0Fn\0text\0", 19), 0);
    for (int slot : {0, 1, 2, 3, 8, 9})
        EXPECT_EQ(record.offsets[slot], 0) << slot;
}

TEST_F(PkxBuildTest, FormatIsExpandedUnlessTextOrVerbatim)
{
    KXEVENT event = TextEvent("ANTLR", 0, "n=%d s=%s");
    event.flags = 0;
    event.args[0] = 42;
    event.args[1] = uint64_t(reinterpret_cast<uintptr_t>("word"));
    EXPECT_STREQ(Build(event).String(KxdProt::SLOT_TEXT), "n=42 s=word");

    event.flags = KXF_TEXT;
    EXPECT_STREQ(Build(event).String(KxdProt::SLOT_TEXT), "n=%d s=%s");

    event.flags = 0;
    event.verbatim = true;
    event.text = "p != 0 && 100%s%n";
    EXPECT_STREQ(Build(event).String(KxdProt::SLOT_TEXT), "p != 0 && 100%s%n");

    // An empty expansion still takes its slot and NUL.
    event.verbatim = false;
    event.text = "";
    KxProt record = Build(event);
    EXPECT_EQ(record.offsets[KxdProt::SLOT_TEXT], 7);
    EXPECT_EQ(record.opt_len, 8);
}

TEST_F(PkxBuildTest, LongTextIsTruncatedAt384)
{
    std::string text(500, 'z');
    uint32_t length = 0;
    KxProt record = Build(TextEvent("SYS", 1, text.c_str()), &length);
    EXPECT_EQ(length, 456u);
    EXPECT_EQ(record.opt_len, 384);
    EXPECT_EQ(std::string(record.strings + 370, 13), " TRUNCATED...");
    EXPECT_EQ(record.strings[383], 0);
    std::string stored = record.String(KxdProt::SLOT_TEXT);
    EXPECT_EQ(stored, std::string(370 - 5, 'z') + " TRUNCATED...");
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
    uint32_t length = 0;
    KxProt record = Build(event, &length);
    EXPECT_EQ(length, 456u);
    EXPECT_EQ(record.offsets[KxdProt::SLOT_FILE], 5);
    EXPECT_EQ(record.offsets[KxdProt::SLOT_FUNC], 206);
    EXPECT_EQ(record.offsets[KxdProt::SLOT_TEXT], 0);
    EXPECT_EQ(std::string(record.String(KxdProt::SLOT_FUNC)), std::string(164, 'g') + " TRUNCATED...");

    // A string that would start inside the closing marker gets no offset.
    std::string file2(375, 'f');
    event.file = file2.c_str();
    event.function = "FunctionName";
    record = Build(event, &length);
    EXPECT_EQ(record.offsets[KxdProt::SLOT_FILE], 5);
    EXPECT_EQ(std::string(record.String(KxdProt::SLOT_FILE)), std::string(365, 'f') + " TRUNCATED...");
    EXPECT_EQ(record.offsets[KxdProt::SLOT_FUNC], 0);
    EXPECT_EQ(record.offsets[KxdProt::SLOT_TEXT], 0);
    EXPECT_EQ(record.opt_len, 384);
}

using PkxRegistryTest = KxStreamTest;

TEST_F(PkxRegistryTest, RefusalsAreReportedOnTheDirectPath)
{
    EXPECT_EQ(PKX::NewStd(), 0u);
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_EQ(Lines()[0].rfind("VERIFY failure  [", 0), 0u) << Lines()[0];
    EXPECT_NE(Lines()[0].find("] ArrayPkx[PKX_ID_STD] == 0"), std::string::npos);

    EXPECT_FALSE(PKX::Delete(PKX_ID_STD));
    EXPECT_NE(Lines().back().find("ASSERT failure  ["), std::string::npos);
    EXPECT_NE(Lines().back().find("] id != PKX_ID_STD"), std::string::npos);
    EXPECT_FALSE(PKX::Delete(PKX_ID_UDP));
    EXPECT_NE(Lines().back().find("] ArrayPkx[id]"), std::string::npos);
    EXPECT_FALSE(PKX::Delete(3));
    EXPECT_FALSE(PKX::Delete(-1));
    EXPECT_EQ(Lines().size(), 5u);

    ASSERT_NE(PKX::FindOutput(KX_OUT_STD), nullptr);
    EXPECT_EQ(PKX::FindOutput(KX_OUT_STD)->id, PKX_ID_STD);
    EXPECT_EQ(PKX::FindOutput(KX_OUT_FILE | KX_OUT_UDP), nullptr);
    PKX::Done();
    EXPECT_EQ(PKX::FindOutput(KX_OUT_STD), nullptr);
}

TEST_F(PkxRegistryTest, DispatchHonoursMaskAndThreshold)
{
    KxProt record = Build(TextEvent("SYS", 1, "T"));
    PKX::Dispatch(KX_OUT_FILE, record.MessageLength(), &record);
    EXPECT_TRUE(Lines().empty());
    PKX::FindOutput(KX_OUT_STD)->threshold = 0;
    PKX::Dispatch(KX_OUT_STD, record.MessageLength(), &record);
    EXPECT_TRUE(Lines().empty());
    PKX::DispatchAll(KX_OUT_STD, record.MessageLength(), &record);
    EXPECT_EQ(Lines().size(), 1u);
    record.LEVEL = 0;
    PKX::Dispatch(KX_OUT_STD | KX_OUT_FILE, record.MessageLength(), &record);
    EXPECT_EQ(Lines().size(), 2u);
}

TEST_F(PkxRegistryTest, StandardOutputRaisesTheBoxForFailuresOnly)
{
    KXEVENT event = TextEvent("TABLE", -1, "T");
    event.file = "F";
    event.line = 42;
    KxProt error = Build(event);
    PKX::Dispatch(KX_OUT_STD, error.MessageLength(), &error);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0], "ERROR [F:42]\nT");
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_EQ(Body(Lines()[0]), "ERROR [F:42] T");

    event.level = 0;
    KxProt warning = Build(event);
    PKX::Dispatch(KX_OUT_STD, warning.MessageLength(), &warning);
    event.level = -1;
    event.flags = KXF_FUNC_ENTER;
    event.function = "Fn";
    KxProt enter = Build(event);
    PKX::Dispatch(KX_OUT_STD, enter.MessageLength(), &enter);
    EXPECT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Lines().size(), 3u);
}

using PkxDirectTest = KxStreamTest;

TEST_F(PkxDirectTest, DirectPathTexts)
{
    DebugPrintf("value %d of %s", 5, "x");
    PKX::PrintError("file.cpp", 12, "Fn", "PKXFILE %s open failure", "/x/y.kx");
    KX::PrintTagged(1, "f.cpp", 3, "Fn", "a %s b");
    ASSERT_EQ(Lines().size(), 3u);
    EXPECT_EQ(Lines()[0], "value 5 of x");
    EXPECT_EQ(Lines()[1], "ERROR [file.cpp:12] PKXFILE /x/y.kx open failure");
    EXPECT_EQ(Lines()[2], "VERIFY failure  [f.cpp:3] a %s b");
}

TEST_F(PkxDirectTest, EmitToGuiFormatsStraightToTheSink)
{
    KXEVENT event = TextEvent("SYS", 1, "early");
    event.mask = 0;
    PKX::Done();
    EXPECT_GT(PKX::EmitToGui(&event, &KxSys), 0);
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_EQ(Lines()[0], "KX>> 2019-06-30 16:06:51.123456 #      0 " + std::string(11, ' ') + "TID(1234) SYS" +
                              std::string(7, ' ') + " >> early");
}

TEST_F(PkxDirectTest, ErrorBoxText)
{
    KxvDebugErrorBox("KX>> 2019 #  1  TID(1) SYS        >> ERROR [F:42] T");
    KxvDebugErrorBox("no markers] here");
    // A ']' at the very end keeps the terminator in place.
    KxvDebugErrorBox("KX>> x >> ERROR [F:42]");
    KxvDebugErrorBox("KX>> x >>");
    ASSERT_EQ(Boxes().size(), 4u);
    EXPECT_EQ(Boxes()[0], "ERROR [F:42]\nT");
    EXPECT_EQ(Boxes()[1], "no markers]\nhere");
    EXPECT_EQ(Boxes()[2], "ERROR [F:42]");
    EXPECT_EQ(Boxes()[3], "");
}

TEST(KxSinkDefaults, DebugOutputGoesToStderrOnlyWhenAsked)
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

    testing::internal::CaptureStderr();
    KxvDebugErrorBox("a >> b >> ERROR [F:1] boom");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "KxViewer Error\nERROR [F:1]\nboom\n");
}
