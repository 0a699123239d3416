#include "kxviewer/graph/auxthreadmap.h"

#include <algorithm>

#include "kxlib/table/kxtable.h"

AuxThreadMap::AuxThreadMap(KxTable& table)
{
    const KxAuxTree& tree = table.AuxTree();
    const int32_t rows = table.RowCount();
    for (int32_t row = 0; row < rows; ++row) {
        const KxdRecord* record = table.GetRecord(row);
        const KxAuxNode1* node = tree.FindNode(record);
        if (!node)
            continue;
        const uint64_t tid = record->prot.msg.TID;
        Note(Key(node->index, -1), tid);
        if (tree.Level2() < 0)
            continue;
        const char* text = tree.Level2() < FIELD_Nums ? record->Text(tree.Level2()) : "";
        if (const KxAuxNode2* child = KxAuxTree::FindChild(node, text))
            Note(Key(node->index, child->index), tid);
    }
    for (auto& entry : threads_) {
        std::vector<uint64_t>& tids = entry.second;
        std::sort(tids.begin(), tids.end());
        tids.erase(std::unique(tids.begin(), tids.end()), tids.end());
    }
}

void AuxThreadMap::Note(uint64_t key, uint64_t tid)
{
    std::vector<uint64_t>& tids = threads_[key];
    // Records of one thread come in runs: most repeats end here.
    if (tids.empty() || tids.back() != tid)
        tids.push_back(tid);
}

const std::vector<uint64_t>& AuxThreadMap::Threads(int32_t node1, int32_t child) const
{
    static const std::vector<uint64_t> none;
    const auto it = threads_.find(Key(node1, child));
    return it == threads_.end() ? none : it->second;
}

std::vector<uint64_t> AuxThreadMap::Threads(const std::vector<std::pair<int32_t, int32_t>>& items) const
{
    std::vector<uint64_t> all;
    for (const auto& item : items) {
        const std::vector<uint64_t>& tids = Threads(item.first, item.second);
        all.insert(all.end(), tids.begin(), tids.end());
    }
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    return all;
}
