// Relative time through a saved document: the records that a normalisation
// rewrote reach the file, so switching off after a reload restores the
// absolute times.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <QFileInfo>

#include "kxlib/reader/filekxl.h"
#include "kxviewer/docloader.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/preftable.h"
#include "table_fixtures.h"
#include "utils/common/inifile.h"

namespace {

constexpr uint64_t T0 = 1561910811000000ULL;

// The save command of a document tab: the records are written again only
// when the table says they changed.
bool SaveAsTab(const std::string& path, KxTable& table)
{
    ZmLib::IniBase ini;
    const PrefTabTable& tab = PrefTabTable::Default();
    PrefTable::Save(false, ini, tab, table.Prefs(), tab.pinned, tab.pinnedCount);
    ZmLib::TextBuf buffer;
    if (!ini.WriteToBuf(buffer) || !buffer.Buffer)
        return false;
    const std::string text = buffer.Buffer->c_str();
    return FileKxl::Save(path.c_str(), table, text.c_str(), text.size(), table.Modified());
}

KxTable* LoadDocument(const std::string& path)
{
    DocLoader loader(QFileInfo(QString::fromStdString(path)), FILE_TYPE_KXL);
    return loader.Load(-1);
}

std::vector<uint64_t> Times(KxTable& table)
{
    std::vector<uint64_t> out;
    for (int32_t i = 0; i < table.RecordCount(); ++i)
        out.push_back(table.GetRecordByOriginalIndex(i)->prot.msg.TIME);
    return out;
}

} // namespace

TEST(TableTimeDocument, NormalisedTwiceSavedReloadedAndSwitchedOff)
{
    TempDir dir;
    const std::string path = dir.Path("times.kxl");
    std::vector<uint64_t> absolute;
    {
        TableRef made(new KxTable(nullptr, "times", PlainPrefs()));
        for (int k = 0; k < 5; ++k) {
            RawRecord raw;
            raw.time = T0 + uint64_t(k) * 1000;
            raw.text = "record";
            made->AppendRecord(raw.Build());
        }
        absolute = Times(*made);
        made->SetModified(false);
        ASSERT_TRUE(SaveAsTab(path, *made));
    }

    TableRef table(LoadDocument(path));
    ASSERT_NE(table.table, nullptr);
    EXPECT_FALSE(table->Modified());
    ASSERT_TRUE(table->NormalizeTimeOn(1));
    ASSERT_TRUE(table->NormalizeTimeOn(3));
    EXPECT_TRUE(table->Modified());
    ASSERT_TRUE(SaveAsTab(path, *table));

    TableRef back(LoadDocument(path));
    ASSERT_NE(back.table, nullptr);
    EXPECT_TRUE(back->TimeNormalised());
    EXPECT_EQ(back->GetRecordByOriginalIndex(3)->prot.msg.TIME, 0u);
    back->NormalizeTimeOff();
    EXPECT_TRUE(back->Modified());
    EXPECT_EQ(Times(*back), absolute);

    // Saved switched off and reloaded: still the absolute times.
    ASSERT_TRUE(SaveAsTab(path, *back));
    TableRef again(LoadDocument(path));
    ASSERT_NE(again.table, nullptr);
    EXPECT_FALSE(again->TimeNormalised());
    EXPECT_EQ(Times(*again), absolute);
}
