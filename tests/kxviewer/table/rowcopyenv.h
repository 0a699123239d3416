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

    static std::vector<std::string> Texts(TabTable* tab)
    {
        std::vector<std::string> texts;
        for (int32_t row = 0; row < tab->Table->RowCount(); ++row)
            texts.push_back(tab->Table->GetRecord(row)->Text(FIELD_TEXT));
        return texts;
    }
};

} // namespace rowcopytest
