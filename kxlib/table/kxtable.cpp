#include "kxlib/table/kxtable.h"

#include <atomic>

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "kxlib/kxchannels.h"
#include "kxlib/table/kxblockmem.h"
#include "kxlib/table/kxdisposer.h"
#include "kxlib/table/kxtable_check.h"
#include "kxlib/table/kxtable_load.h"

PrefKxTable& PrefKxTable::Default()
{
    static PrefKxTable prefs;
    return prefs;
}

KxTblock::KxTblock(KxTable* owner, uint32_t firstIndex) : table(owner), first(firstIndex)
{
    recs = static_cast<KxdRecord*>(KxBlockMemory::Allocate(SIZE * sizeof(KxdRecord)));
    // The caller that wanted the room ends its work (a load keeps the other
    // documents); the table stays as it was.
    if (!recs) {
        KxTableChannel.ErrorReport(owner ? owner->Key() : 0, __FILE__, __LINE__, "KxTblock::KxTblock",
                                   "no memory for a block of %u records", SIZE);
        throw std::bad_alloc();
    }
}

KxTblock::~KxTblock() { KxBlockMemory::Free(recs, SIZE * sizeof(KxdRecord)); }

namespace {

// The file name of a path without its extensions.
void FileNameOf(const char* path, ZmLib::StrBase& out)
{
    ZmLib::PathStr split(path);
    split.SplitPath(true);
    if (split.Name())
        out.Set(split.Name());
}

} // namespace

namespace {
std::atomic<int32_t> liveTables{0};
} // namespace

int32_t KxTable::LiveCount() { return liveTables; }

KxTable::KxTable(const char* path, const char* name, const PrefKxTable& prefs)
    : prefs_(prefs), auxTree_(PrefKxTable::Default().TreeLevel1Field, PrefKxTable::Default().TreeLevel2Field),
      timeNormalised_(prefs.NormalizeTime != 0), key_(reinterpret_cast<uintptr_t>(this))
{
    if (path)
        path_.Set(path);
    else
        prefs_.editable = 1;
    if (name)
        name_.Set(name);
    else if (path)
        FileNameOf(path, name_);
    prefs_.Time0Index = -1;
    tids_.SetKey(key_);
    firstBlock_ = lastBlock_ = cursor_ = new KxTblock(this, 0);
    blockCount_ = 1;
    ++liveTables;
    Trace(1, __func__, "NEW INSTANCE: %s, KEY=%" PRIX64, "KxTable", key_);
}

KxTable::~KxTable()
{
    --liveTables;
    ClearSelections();
    if (FilterOn)
        ClearFilter();
    FreeFiltered();
    // The blocks lie in a chain of their own, shared with nothing: a table
    // of many gives its pages back on the disposer's thread, so that the
    // thread closing the document does not wait for it.
    if (nextBlock_) {
        nextBlock_->next = firstBlock_;
        firstBlock_ = nextBlock_;
        nextBlock_ = nullptr;
    }
    const auto freeBlocks = [first = firstBlock_] {
        for (KxTblock* block = first; block;) {
            KxTblock* next = block->next;
            delete block;
            block = next;
        }
    };
    if (blockCount_ > FREE_HERE_BLOCKS)
        KxDisposer::Hand(freeBlocks);
    else
        freeBlocks();
    firstBlock_ = lastBlock_ = cursor_ = nullptr;
    // So does an aux tree of many nodes, each with its own text; a small
    // one goes with the table.
    if (auxTree_.Marked().nodes > FREE_HERE_NODES) {
        auto tree = std::make_unique<KxAuxTree>(-1, -1);
        tree->Swap(auxTree_);
        FreeAuxTree(std::move(tree));
    }
    if (satellite_)
        satellite_->Release();
    Trace(1, __func__, "DEL INSTANCE: %s, KEY=%" PRIX64, "KxTable", key_);
}

void KxTable::FreeAuxTree(std::unique_ptr<KxAuxTree> tree)
{
    if (tree && tree->Marked().nodes > FREE_HERE_NODES)
        KxDisposer::Delete(tree.release());
}

void KxTable::Release()
{
    if (--refCount_ == 0)
        delete this;
}

void KxTable::SatelliteSet(KxTable* table)
{
    KXTABLE_CHECK(!satellite_, "!Satellite");
    satellite_ = table;
    if (table)
        table->AddRef();
}

void KxTable::Trace(int32_t level, const char* function, const char* format, ...)
{
    if (!KxTableChannel.Passes(level))
        return;
    char text[ZmLib::KX_RING_SIZE];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    KxTableChannel.PrintText(key_, level, function, text);
}

void KxTable::Warning(const char* function, const char* format, ...)
{
    char text[ZmLib::KX_RING_SIZE];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    KxTableChannel.WarningReport(key_, __FILE__, __LINE__, function, "%s", text);
}

void KxTable::Error(const char* function, const char* format, ...)
{
    char text[ZmLib::KX_RING_SIZE];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    KxTableChannel.ErrorReport(key_, __FILE__, __LINE__, function, "%s", text);
}

void KxTable::Fatal(const char* function, int line, const char* condition)
{
    KxTableChannel.AssertReport(key_, false, __FILE__, uint32_t(line), function, condition);
    abort();
}

const char* KxTable::ProcessName(uint64_t pid) const
{
    auto it = processNames_.find(pid);
    return it == processNames_.end() ? nullptr : it->second.get();
}

void KxTable::SetProcessName(uint64_t pid, const char* name)
{
    std::unique_ptr<char[]>& slot = processNames_[pid];
    if (!slot)
        slot.reset(new char[KX_NAME_MAX + 1]);
    KxCopyName(slot.get(), name);
}

void KxTable::SetCurRow(int32_t row)
{
    if (row < 0)
        row = -1;
    else if (row >= rowCount_)
        row = rowCount_ - 1;
    prefs_.CurPossition = row;
}

KxTblock* KxTable::BlockOf(int32_t i, uint32_t* offset)
{
    if (i < 0)
        return nullptr;
    KxTblock* start = cursor_ ? cursor_ : firstBlock_;
    KxTblock* block = start;
    do {
        if (uint32_t(i) >= block->first && uint32_t(i) < block->first + block->count) {
            cursor_ = block;
            *offset = uint32_t(i) - block->first;
            return block;
        }
        block = block->next ? block->next : firstBlock_;
    } while (block != start);
    return nullptr;
}

KxdRecord* KxTable::FindRecordByOriginalIndex(int32_t i)
{
    if (i < 0 || i >= recordCount_)
        return nullptr;
    uint32_t offset = 0;
    KxTblock* block = BlockOf(i, &offset);
    return block ? &block->recs[offset] : nullptr;
}

KxdRecord* KxTable::GetRecordByOriginalIndex(int32_t i)
{
    KxdRecord* record = FindRecordByOriginalIndex(i);
    if (!record) {
        ZmLib::KxSys.ErrorReport(key_, __FILE__, __LINE__, __func__, "KxTable get record crash: Size = %d, i = %d",
                                 rowCount_, i);
        abort();
    }
    return record;
}

KxdRecord* KxTable::FindRecord(int32_t row)
{
    if (row < 0 || row >= rowCount_)
        return nullptr;
    return FindRecordByOriginalIndex(OriginalIndex(row));
}

KxdRecord* KxTable::GetRecord(int32_t row)
{
    if (FilterOn && (row < 0 || row >= rowCount_)) {
        ZmLib::KxSys.ErrorReport(key_, __FILE__, __LINE__, __func__, "KxTable get record crash: Size = %d, i = %d",
                                 rowCount_, row);
        abort();
    }
    return GetRecordByOriginalIndex(OriginalIndex(row));
}

KxdRecord* KxTable::NewRecord()
{
    KXTABLE_CHECK(!FilterOn, "!FilterOn");
    if (lastBlock_->count == KxTblock::SIZE) {
        KxTblock* block = nextBlock_ ? nextBlock_ : new KxTblock(this, 0);
        nextBlock_ = nullptr;
        block->first = lastBlock_->first + lastBlock_->count;
        lastBlock_->next = block;
        lastBlock_ = block;
        ++blockCount_;
    }
    KxTblock* block = lastBlock_;
    KxdRecord* record = &block->recs[block->count];
    // A slot never written is zero already; clearing it again would only
    // cost memory bandwidth.
    if (block->count < block->touched)
        record->Reset();
    ++block->count;
    if (block->touched < block->count)
        block->touched = block->count;
    record->block = block;
    ++recordCount_;
    ++rowCount_;
    modified_ = true;
    return record;
}

KxdRecord* KxTable::NextBlockRecords()
{
    if (!nextBlock_)
        nextBlock_ = new KxTblock(this, 0);
    return nextBlock_->recs;
}

void KxTable::ReleaseNextBlock()
{
    delete nextBlock_;
    nextBlock_ = nullptr;
}

KxdRecord* KxTable::AppendRecord(const ZmLib::KxdProt& prot)
{
    KxdRecord* record = NewRecord();
    record->prot = prot;
    KxdRecord::ProcessLine4Client(record, false);
    return record;
}

void KxTable::ShiftMarksForInsert(int32_t i, int32_t n)
{
    // A range holding i past its first row is cut at i; the ranges and
    // bookmarks from i on move down n rows.
    SelRange* range = nullptr;
    if (SelRangeFind(i, &range) == 0 && range->first < i) {
        SelRange* tail = new SelRange;
        tail->first = i;
        tail->count = range->first + range->count - i;
        tail->tag = range->tag;
        range->count = i - range->first;
        selRanges_.AddAfter(range, tail);
        PointRecords(tail, tail->first, tail->first + tail->count);
    }
    for (SelRange* r = FirstRange(); r; r = r->NextEntry())
        if (r->first >= i)
            r->first += n;
    for (KxBkmarkEntry* b = bkmarks_.First(); b; b = b->NextEntry())
        if (b->index >= i)
            b->index += n;
}

void KxTable::SplitBlock(KxTblock* block, uint32_t offset)
{
    KxTblock* tail = new KxTblock(this, block->first + offset);
    for (uint32_t k = offset; k < block->count; ++k) {
        KxdRecord::Move(&tail->recs[k - offset], &block->recs[k]);
        tail->recs[k - offset].block = tail;
    }
    tail->count = block->count - offset;
    tail->touched = tail->count;
    block->count = offset;
    tail->next = block->next;
    block->next = tail;
    if (lastBlock_ == block)
        lastBlock_ = tail;
    ++blockCount_;
}

KxdRecord* KxTable::InsertRecord(int32_t i)
{
    Trace(3, __func__, "InsertRecord: # %d", i);
    KXTABLE_CHECK(IsEditable(), "IsEditable()");
    if (i < 0 || i > recordCount_) {
        Warning(__func__, "InsertRecord: index %d outside 0..%d", i, recordCount_);
        return nullptr;
    }
    if (i == recordCount_)
        return NewRecord();

    ShiftMarksForInsert(i, 1);

    uint32_t offset = 0;
    KxTblock* block = BlockOf(i, &offset);
    KXTABLE_CHECK(block, "block");
    if (block->count == KxTblock::SIZE) {
        // Split: the records from the offset on go to a new block behind it,
        // which leaves room at the offset in this one.
        SplitBlock(block, offset);
    }
    KXTABLE_CHECK(block->count < KxTblock::SIZE, "newrec");
    for (uint32_t k = block->count; k > offset; --k)
        KxdRecord::Move(&block->recs[k], &block->recs[k - 1]);
    ++block->count;
    if (block->touched < block->count)
        block->touched = block->count;
    for (KxTblock* later = block->next; later; later = later->next)
        ++later->first;
    KxdRecord* record = &block->recs[offset];
    record->Reset();
    record->block = block;
    ++recordCount_;
    ++rowCount_;
    ++rowsVersion_;
    modified_ = true;
    // The function stacks point at records that may have moved.
    tids_.ResetStacks();
    return record;
}

bool KxTable::DelRecord(int32_t row)
{
    Trace(3, __func__, "DelRecord: # %d", row);
    if (row < 0 || row >= rowCount_) {
        Warning(__func__, "DelRecord: row %d outside 0..%d", row, rowCount_ - 1);
        return false;
    }
    const int32_t orig = OriginalIndex(row);
    KxdRecord* record = GetRecordByOriginalIndex(orig);
    RecordDeselectHelper(row, record);
    if (record->bookmark)
        BookmarkSet(row, false);
    for (SelRange* r = FirstRange(); r; r = r->NextEntry())
        if (r->first > row)
            --r->first;
    for (KxBkmarkEntry* b = bkmarks_.First(); b; b = b->NextEntry())
        if (b->index > row)
            --b->index;

    if (FilterOn) {
        for (KxBkmarkEntry* b = bkmarksHidden_.First(); b; b = b->NextEntry())
            if (b->index > orig)
                --b->index;
        for (int32_t k = 0; k < rowCount_; ++k)
            if (int32_t(Filtered[k]) > orig)
                --Filtered[k];
        memmove(Filtered + row, Filtered + row + 1, sizeof(uint32_t) * size_t(rowCount_ - row - 1));
        --rowCount_;
    }

    uint32_t offset = 0;
    KxTblock* block = BlockOf(orig, &offset);
    KXTABLE_CHECK(block, "block");
    for (uint32_t k = offset; k + 1 < block->count; ++k)
        KxdRecord::Move(&block->recs[k], &block->recs[k + 1]);
    --block->count;
    block->recs[block->count].Reset();
    for (KxTblock* later = block->next; later; later = later->next)
        --later->first;
    --recordCount_;
    ++rowsVersion_;
    modified_ = true;
    tids_.ResetStacks();

    if (FilterOn && rowCount_ == 0) {
        // The last visible row went: the filter ends.
        KXTABLE_CHECK(!NumSelected, "!NumSelected");
        KXTABLE_CHECK(!bkmarks_.Length(), "!Bkmarks.Length()");
        FreeFiltered();
        FilterOn = false;
        bkmarksHidden_.MoveAll(bkmarks_);
    }
    if (!FilterOn)
        rowCount_ = recordCount_;
    if (prefs_.CurPossition > rowCount_ - 1)
        prefs_.CurPossition = rowCount_ - 1;
    return true;
}

void KxTable::ReformatTableData()
{
    ZmLib::KxFuncGuard guard(KxTableChannel, 4, "KxTable::ReformatTableData");
    for (KxTblock* block = firstBlock_; block; block = block->next)
        for (uint32_t k = 0; k < block->count; ++k)
            for (int field = 0; field < FIELD_Nums; ++field)
                if (FieldIsNumber(field))
                    block->recs[k].RenderField(field, FieldValidNumFormat(uint32_t(prefs_.formats[field])),
                                               AbsoluteBase());
}

void KxTable::RebuildAuxTree()
{
    auxTree_.Reset(prefs_.TreeLevel1Field, prefs_.TreeLevel2Field);
    FillAuxTree(auxTree_, nullptr);
}

bool KxTable::FillAuxTree(KxAuxTree& tree, const std::function<bool(int32_t done)>& step) const
{
    std::vector<const KxdRecord*> records;
    int32_t done = 0;
    for (KxTblock* block = firstBlock_; block; block = block->next) {
        records.resize(block->count);
        for (uint32_t k = 0; k < block->count; ++k)
            records[k] = &block->recs[k];
        tree.AddAll(records.data(), records.size());
        done += int32_t(block->count);
        // The next block is read only once the step is answered: the table
        // may have gone meanwhile.
        if (step && !step(done))
            return false;
    }
    return true;
}

KxTable* KxTable::CreateFuncTable()
{
    ZmLib::KxFuncGuard guard(KxTableChannel, 4, "KxTable::CreateFuncTable");
    for (int32_t t = 0; t < tids_.Count(); ++t) {
        KxTidEntry* entry = tids_.At(t);
        entry->callTree.Reset();
        entry->callStack[0] = entry->callTree.Root();
        entry->callDepth = 1;
    }
    const uint32_t countFormat = FieldValidNumFormat(uint32_t(prefs_.formats[FIELD_COUNT]));
    bool skippedReported = false;
    for (KxTblock* block = firstBlock_; block; block = block->next) {
        for (uint32_t k = 0; k < block->count; ++k) {
            KxdRecord* record = &block->recs[k];
            uint32_t flags = record->Flags();
            if (!(flags & (KXFLAGS_FUNC_ENTER | KXFLAGS_FUNC_LEAVE)))
                continue;
            KxTidEntry* entry = tids_.Find(record->prot.msg.TID);
            if (!entry) {
                if (tids_.Count() < KxTids::MAX) {
                    Error(__func__, "TID %d is not present in the table", int(record->prot.msg.TID));
                    return nullptr;
                }
                // Threads past the list's capacity have no stack to build on.
                if (!skippedReported) {
                    skippedReported = true;
                    Warning(__func__, "Threads beyond the first %d are skipped", KxTids::MAX);
                }
                continue;
            }
            if (flags & KXFLAGS_FUNC_LEAVE) {
                if (entry->callDepth >= 2)
                    --entry->callDepth;
                continue;
            }
            KxCallNode* top = entry->callStack[entry->callDepth - 1];
            const char* function = record->Text(FIELD_FUNC);
            KxCallNode* node = KxCallTree::FindCallee(top, function);
            if (node) {
                KxdRecord* first = node->record;
                ++first->prot.COUNT;
                first->RenderField(FIELD_COUNT, countFormat);
            } else {
                record->prot.COUNT = 1;
                record->RenderField(FIELD_COUNT, countFormat);
                node = entry->callTree.AddCallee(top, function, record);
            }
            if (entry->callDepth < KX_FUNC_STACK_MAX)
                entry->callStack[entry->callDepth++] = node;
        }
    }
    ZmLib::Str<80> name;
    name.Format("%s:functions", Name());
    KxTable* table = new KxTable(nullptr, name.c_str(), PrefKxTable::Default());
    // The calls keep their absolute times, whatever this table counts from.
    const int64_t timeShift = TimeShiftInto(*table);
    for (int32_t t = 0; t < tids_.Count(); ++t)
        KxCallTree::Emit(tids_.At(t)->callTree.Root(), *table, timeShift);
    return table;
}

void KxTable::DebugInfo()
{
    Trace(1, __func__, "KxTable '%s': Size = %d records, KxTblock::SIZE = %d, Current = %d", Name(), recordCount_,
          int(KxTblock::SIZE), prefs_.CurPossition);
    int n = 0;
    for (KxTblock* block = firstBlock_; block; block = block->next, ++n)
        Trace(1, __func__, "  Block#%d: Cur Size = %d (%d..%d)", n, int(block->count), int(block->first),
              int(block->first + block->count));
}

int32_t KxTable::MaxNest()
{
    int32_t most = 0;
    for (int32_t row = 0; row < rowCount_; ++row) {
        int32_t nest = GetRecord(row)->prot.NEST;
        if (nest > most)
            most = nest;
    }
    return most;
}
