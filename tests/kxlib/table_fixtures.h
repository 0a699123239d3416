// Helpers of the record-engine tests: raw records built in memory, a capture
// of debug-channel reports, a scratch folder and table handles.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kxlib/kxchannels.h"
#include "kxlib/table/kxtable.h"

// A record for the aux tree whose TNAME and KXNAME texts lie in two places
// of its own string area, written there before each KxAuxTree::Add.
struct TwoLevelRecord {
    TwoLevelRecord()
    {
        record.Reset();
        record.SetText(FIELD_TNAME, first);
        record.SetText(FIELD_KXNAME, second);
    }
    KxdRecord record;
    char* first = record.prot.msg.strings + 1;
    char* second = record.prot.msg.strings + 20;
};

struct RawRecord {
    uint64_t tid = 7;
    uint64_t pid = 100;
    uint64_t time = 1000;
    uint32_t flags = 0;
    const char* func = nullptr;
    const char* text = nullptr;
    const char* pname = nullptr;
    const char* tname = nullptr;
    const char* kxname = nullptr;
    const char* file = nullptr;
    uint64_t num1 = 0;

    ZmLib::KxdProt Build() const
    {
        ZmLib::KxdProt prot;
        memset(&prot, 0, sizeof(prot));
        prot.msg.magic = ZmLib::KxProt::MAGIC;
        prot.SetIntValue(FIELD_TID, tid);
        prot.SetIntValue(FIELD_PID, pid);
        prot.SetIntValue(FIELD_TIME, time);
        prot.SetIntValue(FIELD_FLAGS, flags);
        prot.SetIntValue(FIELD_NUM1, num1);
        const char* strings[ZmLib::KxProt::STR_SLOTS] = {};
        strings[ZmLib::KxdProt::SLOT_FUNC] = func;
        strings[ZmLib::KxdProt::SLOT_TEXT] = text;
        strings[ZmLib::KxdProt::SLOT_PNAME] = pname;
        strings[ZmLib::KxdProt::SLOT_TNAME] = tname;
        strings[ZmLib::KxdProt::SLOT_KXNAME] = kxname;
        strings[ZmLib::KxdProt::SLOT_FILE] = file;
        prot.SetStrings(strings, nullptr);
        return prot;
    }
};

// Collects every report of the READER, TABLE and SYS channels while alive.
class Reports {
public:
    struct Report {
        int level;
        std::string text;
    };
    // Reports above threshold are not emitted (default: every level).
    explicit Reports(int32_t threshold = ZmLib::KX_LEVEL_DEBUG + 1)
    {
        for (int k = 0; k < 3; ++k) {
            saved_[k] = Channel(k).output;
            threshold_[k] = Channel(k).threshold;
            Channel(k).output = &Collect;
            Channel(k).threshold = threshold;
        }
        All().clear();
    }
    ~Reports()
    {
        for (int k = 0; k < 3; ++k) {
            Channel(k).output = saved_[k];
            Channel(k).threshold = threshold_[k];
        }
    }
    static std::vector<Report>& All()
    {
        static std::vector<Report> reports;
        return reports;
    }
    // How many reports are exactly text.
    static int Count(const std::string& text)
    {
        int n = 0;
        for (const Report& r : All())
            n += r.text == text;
        return n;
    }
    static bool Has(const std::string& text) { return Count(text) > 0; }
    // A report of the level (any level when level is absent) containing part.
    static bool HasPart(const std::string& part, int level = INT32_MIN)
    {
        for (const Report& r : All())
            if ((level == INT32_MIN || r.level == level) && r.text.find(part) != std::string::npos)
                return true;
        return false;
    }

private:
    static ZmLib::KX& Channel(int k) { return k == 0 ? KxReaderChannel : k == 1 ? KxTableChannel : ZmLib::KxSys; }
    // Loads with worker threads report from more than one thread at once.
    static int Collect(ZmLib::KXEVENT* event, ZmLib::KX*)
    {
        static std::mutex lock;
        std::lock_guard<std::mutex> hold(lock);
        All().push_back(Report{event->level, event->text ? event->text : ""});
        return 0;
    }
    ZmLib::KxOutputFn saved_[3];
    int32_t threshold_[3];
};

// For death tests: every report of the READER, TABLE and SYS channels goes
// to stderr as "<channel> <level> <key in hex> <text>".
inline int PrintReport(ZmLib::KXEVENT* event, ZmLib::KX* channel)
{
    fprintf(stderr, "%s %d %llX %s\n", channel->name, int(event->level), (unsigned long long)event->key,
            event->text ? event->text : "");
    return 0;
}

inline void PrintReportsToStderr()
{
    for (ZmLib::KX* channel : {&KxReaderChannel, &KxTableChannel, &ZmLib::KxSys}) {
        channel->output = &PrintReport;
        channel->threshold = ZmLib::KX_LEVEL_DEBUG;
    }
}

// A fresh folder, removed with its contents.
class TempDir {
public:
    TempDir()
    {
        const char* tmp = getenv("TMPDIR");
        dir_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/kxlibtest-XXXXXX";
        EXPECT_NE(mkdtemp(&dir_[0]), nullptr);
    }
    ~TempDir() { std::filesystem::remove_all(dir_); }
    const std::string& Dir() const { return dir_; }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    std::string Write(const std::string& name, const std::string& bytes) const
    {
        std::string path = Path(name);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        return path;
    }

private:
    std::string dir_;
};

inline std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A table made in memory with plain integer formats and no time base.
inline PrefKxTable PlainPrefs()
{
    PrefKxTable prefs;
    prefs.NormalizeTime = 0;
    for (int32_t& format : prefs.formats)
        format = NUMFMT_INT;
    return prefs;
}

// A table of PlainPrefs, time-normalised or not, with one record per time.
inline KxTable* TableOfTimes(bool normalised, const std::vector<uint64_t>& times)
{
    PrefKxTable prefs = PlainPrefs();
    prefs.NormalizeTime = normalised;
    auto* table = new KxTable(nullptr, "t", prefs);
    RawRecord raw;
    for (uint64_t time : times) {
        raw.time = time;
        table->AppendRecord(raw.Build());
    }
    return table;
}

// Owns one reference to a table.
struct TableRef {
    explicit TableRef(KxTable* t) : table(t) {}
    ~TableRef()
    {
        if (table)
            table->Release();
    }
    KxTable* operator->() const { return table; }
    KxTable& operator*() const { return *table; }
    KxTable* table;
};

inline std::vector<int32_t> Marks(KxTableBkmarks& list)
{
    std::vector<int32_t> out;
    for (KxBkmarkEntry* b = list.First(); b; b = b->NextEntry())
        out.push_back(b->index);
    return out;
}

// Each selection range as {first, count, tag}.
inline std::vector<std::vector<uint32_t>> Ranges(const KxTable& table)
{
    std::vector<std::vector<uint32_t>> out;
    for (SelRange* r = table.FirstRange(); r; r = r->NextEntry())
        out.push_back({uint32_t(r->first), uint32_t(r->count), uint32_t(r->tag)});
    return out;
}

using RangeList = std::vector<std::vector<uint32_t>>;
