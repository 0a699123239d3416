// A table's thread list: one entry per thread id in order of arrival, with
// the thread's name, its stack of function enter records not yet left and
// its call tree.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "kxlib/kxauxtree.h"
#include "kxlib/kxdrecord.h"

constexpr int KX_FUNC_STACK_MAX = 50;

struct KxTidEntry {
    uint64_t tid = 0;
    int32_t pos = 0; // place in the arrival array
    char name[KX_NAME_MAX + 1] = {};
    KxdRecord* stack[KX_FUNC_STACK_MAX] = {};
    int32_t depth = 0;
    // TIME of the thread's last record, for the rollback test. Kept as a
    // value: records move inside their blocks on insertion and deletion.
    bool hasLast = false;
    int64_t lastTime = 0;
    KxCallTree callTree;
    // Call nodes of CreateFuncTable's walk; [0] is the root.
    KxCallNode* callStack[KX_FUNC_STACK_MAX] = {};
    int32_t callDepth = 0;
};

class KxTids {
public:
    static constexpr int MAX = 1024;

    // Finds or adds the entry of a thread. A given name (up to its first ','
    // and 14 characters) becomes the entry's name; a new entry without one is
    // named by the id in decimal. With MAX entries a new thread gets none:
    // null, and the warning "KxTids list is full" once per list.
    KxTidEntry* AddNewData(uint64_t tid, const char* name);
    KxTidEntry* Find(uint64_t tid) const;
    int32_t Count() const { return count_; }
    KxTidEntry* At(int32_t pos) const { return (pos >= 0 && pos < count_) ? arrival_[pos] : nullptr; }

    // Pushes an enter record: KXERR_NoErrors, or KXERR_FuncStackOverflown at
    // the stack's limit (nothing pushed).
    static uint32_t FuncEnter(KxTidEntry& entry, KxdRecord* enter);
    // Pops the enter record that a leave record closes and compares their
    // function names. Equal names store the execution time in both records
    // and render it in etimeFormat.
    static uint32_t FuncLeave(KxTidEntry& entry, KxdRecord* leave, uint32_t etimeFormat);
    // Empties every function stack (the records they point at have moved).
    void ResetStacks();
    void Clear();

    // Where diagnostics go: the owning table's key.
    void SetKey(uint64_t key) { key_ = key; }

private:
    std::unordered_map<uint64_t, std::unique_ptr<KxTidEntry>> map_;
    KxTidEntry* arrival_[MAX] = {};
    int32_t count_ = 0;
    bool fullReported_ = false;
    uint64_t key_ = 0;
};
