// Which threads the items of a table's aux tree stand for: an item (a
// first-level node, or a node below it) stands for the threads of the
// records it groups, whatever field the tree's levels show. Showing and
// hiding lines, and selecting items from the shown lines, go through this.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

class KxTable;

class AuxThreadMap {
public:
    // Walks the table's visible rows once.
    explicit AuxThreadMap(KxTable& table);

    // Threads of the first-level node at index node1 (child -1) or of its
    // child at index child, ascending; empty for an unknown item.
    const std::vector<uint64_t>& Threads(int32_t node1, int32_t child) const;
    // The threads of several items, ascending, each once.
    std::vector<uint64_t> Threads(const std::vector<std::pair<int32_t, int32_t>>& items) const;

private:
    static uint64_t Key(int32_t node1, int32_t child) { return (uint64_t(uint32_t(node1)) << 32) | uint32_t(child); }
    void Note(uint64_t key, uint64_t tid);

    std::unordered_map<uint64_t, std::vector<uint64_t>> threads_;
};
