// Loading and saving the table view settings on an ini object. The same
// sections serve two uses: the program's defaults in the preference file,
// which stop after Time0Index, and a document's own view block, which adds
// the current row and the pinned phrases.
#pragma once

#include <cstdint>

#include "kxlib/table/prefkxtable.h"
#include "kxviewer/preftabtable.h"

namespace ZmLib {
class IniBase;
}

class PrefTable {
public:
    // Every key is optional: a missing or unreadable one leaves its field as
    // the caller passed it in, so the values passed in are the defaults.
    static void Load(bool prefFile, ZmLib::IniBase& ini, PrefTabTable& tab, PrefKxTable& kx);

    // Writes every key; pinned (pinnedCount entries, at most PINNED_MAX of
    // them are written) is used only in the document form.
    static void Save(bool prefFile, ZmLib::IniBase& ini, const PrefTabTable& tab, const PrefKxTable& kx,
                     const PinnedPhrase* pinned, int32_t pinnedCount);
};
