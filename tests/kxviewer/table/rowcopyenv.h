// What the row copy and clipboard tests share: a 60-record document of two
// threads with warnings, errors, a nested function and a presentation error,
// and the copy record left empty after each test.
#pragma once

#include <string>
#include <vector>

#include "kxlib/kxdrecord.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/table/tabtablemodel.h"
#include "tabletabenv.h"

namespace rowcopytest {

class RowCopyTest : public tabletest::TableTabTest {
protected:
    void TearDown() override
    {
        KxvGlobals::CopyInformation.Clear();
        tabletest::TableTabTest::TearDown();
    }

    // Rows "row 0" .. "row 59": TID 8 ("worker") on every third row, else
    // 7 ("main"); LEVEL 0 on every tenth row from 5, -1 on every fifteenth
    // from 7, else 1; an enter at 20 and its leave at 24 on TID 7; a
    // presentation error on 33.
    TabTable* OpenFixture(const char* name = "fixture", int records = 60)
    {
        auto* table = new KxTable(nullptr, name, PrefKxTable::Default());
        std::vector<std::string> texts;
        for (int i = 0; i < records; ++i)
            texts.push_back("row " + std::to_string(i));
        for (int i = 0; i < records; ++i) {
            const uint32_t flags = i == 20 ? uint32_t(KXFLAGS_FUNC_ENTER) : i == 24 ? uint32_t(KXFLAGS_FUNC_LEAVE) : 0u;
            RawRecord raw = Record(texts[size_t(i)].c_str(), i % 3 == 0 && flags == 0 ? 8 : 7, flags,
                                   flags ? "work" : nullptr);
            raw.time = uint64_t(1000 + i);
            raw.tname = raw.tid == 8 ? "worker" : "main";
            KxdRecord* record = table->AppendRecord(raw.Build());
            record->prot.msg.LEVEL = i % 10 == 5 ? 0 : i % 15 == 7 ? -1 : 1;
        }
        if (records > 33)
            table->GetRecord(33)->errorKind = KXERR_TidTimeRollback;
        return Show(table, PrefTabTable::Default(), TabBase::SOURCE_BUILT);
    }

    // Three records of 2024-12-07 12:00:00.237000 on, a millisecond apart,
    // with a long KX Name and a TEXT longer than its 90 characters. In
    // relative time the table counts from 0, so that the times keep their
    // date in the narrower relative column.
    TabTable* OpenDated(bool relative, const PrefTabTable& prefs = PrefTabTable::Default())
    {
        PrefKxTable kx = PrefKxTable::Default();
        kx.NormalizeTime = relative ? 1 : 0;
        auto* table = new KxTable(nullptr, "dated", kx);
        if (relative)
            table->SetRelativeTimeBase(0, 0);
        for (int i = 0; i < 3; ++i) {
            RawRecord raw = Record(i == 1 ? LONG_TEXT : "short");
            raw.time = DATED_TIME + uint64_t(i) * 1000;
            raw.kxname = "a-kx-name-of-28-characters!!";
            table->AppendRecord(raw.Build());
        }
        return Show(table, prefs, TabBase::SOURCE_BUILT);
    }
    static constexpr uint64_t DATED_TIME = 1733572800237000; // 2024-12-07 12:00:00.237 UTC
    static constexpr const char* LONG_TEXT =
        "a text of more than ninety characters, which no column of the copy may cut: it ends only here, whole";

    static std::vector<std::string> Texts(TabTable* tab)
    {
        std::vector<std::string> texts;
        for (int32_t row = 0; row < tab->Table->RowCount(); ++row)
            texts.push_back(tab->Table->GetRecord(row)->Text(FIELD_TEXT));
        return texts;
    }
};

} // namespace rowcopytest
