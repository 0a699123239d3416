#include "kxlib/table/kxtids.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "kxlib/kxchannels.h"

KxTidEntry* KxTids::AddNewData(uint64_t tid, const char* name)
{
    auto it = map_.find(tid);
    KxTidEntry* entry = nullptr;
    if (it != map_.end()) {
        entry = it->second.get();
        if (name)
            KxCopyName(entry->name, name);
        return entry;
    }
    if (count_ >= MAX) {
        if (!fullReported_) {
            fullReported_ = true;
            KxTableChannel.WarningReport(key_, __FILE__, __LINE__, __func__, "KxTids list is full");
        }
        return nullptr;
    }
    std::unique_ptr<KxTidEntry> fresh(new KxTidEntry);
    entry = fresh.get();
    entry->tid = tid;
    entry->pos = count_;
    if (name)
        KxCopyName(entry->name, name);
    else
        snprintf(entry->name, sizeof(entry->name), "%" PRIu64, tid);
    arrival_[count_++] = entry;
    map_.emplace(tid, std::move(fresh));
    return entry;
}

KxTidEntry* KxTids::Find(uint64_t tid) const
{
    auto it = map_.find(tid);
    return it == map_.end() ? nullptr : it->second.get();
}

uint32_t KxTids::FuncEnter(KxTidEntry& entry, KxdRecord* enter)
{
    if (entry.depth >= KX_FUNC_STACK_MAX)
        return KXERR_FuncStackOverflown;
    entry.stack[entry.depth++] = enter;
    return KXERR_NoErrors;
}

uint32_t KxTids::FuncLeave(KxTidEntry& entry, KxdRecord* leave, uint32_t etimeFormat)
{
    if (entry.depth <= 0)
        return KXERR_FuncLeaveUnexpected;
    KxdRecord* enter = entry.stack[--entry.depth];
    const char* name = leave->Text(FIELD_FUNC);
    if (!name[0] || strcmp(name, enter->Text(FIELD_FUNC)) != 0)
        return KXERR_FuncLeaveNameIncorrect;
    uint32_t etime = uint32_t(leave->prot.msg.TIME - enter->prot.msg.TIME);
    enter->prot.EXECTIME = etime;
    leave->prot.EXECTIME = etime;
    enter->RenderField(FIELD_ETIME, etimeFormat);
    leave->RenderField(FIELD_ETIME, etimeFormat);
    return KXERR_NoErrors;
}

void KxTids::ResetStacks()
{
    for (int32_t i = 0; i < count_; ++i)
        arrival_[i]->depth = 0;
}

void KxTids::Clear()
{
    map_.clear();
    count_ = 0;
    fullReported_ = false;
}
