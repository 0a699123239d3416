// Helpers of the record and table tests: raw records built in memory and a
// capture of the TABLE channel's reports.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "kxlib/kxchannels.h"
#include "kxlib/table/kxtable.h"

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
        prot.SetStrings(strings, nullptr);
        return prot;
    }
};

// Collects every report of the TABLE channel while alive.
class TableCapture {
public:
    TableCapture()
    {
        saved_ = KxTableChannel.output;
        savedThreshold_ = KxTableChannel.threshold;
        KxTableChannel.output = &Collect;
        KxTableChannel.threshold = 4;
        Texts().clear();
    }
    ~TableCapture()
    {
        KxTableChannel.output = saved_;
        KxTableChannel.threshold = savedThreshold_;
    }
    static std::vector<std::string>& Texts()
    {
        static std::vector<std::string> texts;
        return texts;
    }
    static bool Has(const std::string& text)
    {
        for (const std::string& t : Texts())
            if (t == text)
                return true;
        return false;
    }

private:
    static int Collect(ZmLib::KXEVENT* event, ZmLib::KX*)
    {
        Texts().push_back(event->text ? event->text : "");
        return 0;
    }
    ZmLib::KxOutputFn saved_;
    int32_t savedThreshold_;
};

// A table made in memory with plain integer formats and no time base.
inline PrefKxTable PlainPrefs()
{
    PrefKxTable prefs;
    prefs.NormalizeTime = 0;
    for (int32_t& format : prefs.formats)
        format = NUMFMT_INT;
    return prefs;
}

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
