#include "kxlib/kxauxtree.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "kxlib/fields.h"
#include "kxlib/kxdrecord.h"
#include "kxlib/table/kxtable.h"

namespace {

constexpr size_t TEXT_CHUNK = 8192;

const char* FieldText(const KxdRecord* record, int32_t field)
{
    if (field < 0 || field >= FIELD_Nums)
        return "";
    return record->Text(field);
}

// Tables on loader threads reset their trees as well.
std::atomic<uint64_t> lastGeneration{0};

} // namespace

KxAuxTree::KxAuxTree(int32_t level1, int32_t level2) { Reset(level1, level2); }

void KxAuxTree::Reset(int32_t level1, int32_t level2)
{
    // A field index outside the table switches the level off.
    level1_ = level1 < FIELD_Nums ? level1 : -1;
    level2_ = level2 < FIELD_Nums ? level2 : -1;
    first_ = last_ = nullptr;
    count_ = 0;
    count2_ = 0;
    generation_ = ++lastGeneration;
    nodes1_.clear();
    nodes2_.clear();
    texts_.clear();
    index_.Clear();
    nodes1_.emplace_back(new KxAuxNode1[CHUNK]);
    nodes2_.emplace_back(new KxAuxNode2[CHUNK]);
    used1_ = used2_ = 0;
    textUsed_ = TEXT_CHUNK;
}

void KxAuxTree::Swap(KxAuxTree& other) noexcept
{
    std::swap(first_, other.first_);
    std::swap(last_, other.last_);
    std::swap(count_, other.count_);
    std::swap(count2_, other.count2_);
    std::swap(generation_, other.generation_);
    std::swap(level1_, other.level1_);
    std::swap(level2_, other.level2_);
    nodes1_.swap(other.nodes1_);
    std::swap(used1_, other.used1_);
    nodes2_.swap(other.nodes2_);
    std::swap(used2_, other.used2_);
    texts_.swap(other.texts_);
    std::swap(textUsed_, other.textUsed_);
    std::swap(index_, other.index_);
}

KxAuxNode1* KxAuxTree::Node(int32_t index) const
{
    // Nodes fill their chunks in arrival order, so the index finds the slot.
    if (index < 0 || index >= count_)
        return nullptr;
    return &nodes1_[size_t(index) / CHUNK][size_t(index) % CHUNK];
}

const char* KxAuxTree::KeepText(const char* text)
{
    size_t length = strlen(text) + 1;
    if (length > TEXT_CHUNK)
        length = TEXT_CHUNK;
    if (textUsed_ + length > TEXT_CHUNK) {
        texts_.emplace_back(new char[TEXT_CHUNK]);
        textUsed_ = 0;
    }
    char* copy = texts_.back().get() + textUsed_;
    memcpy(copy, text, length - 1);
    copy[length - 1] = 0;
    textUsed_ += length;
    return copy;
}

namespace {

uint64_t TextHash(const char* text)
{
    uint64_t hash = 0xCBF29CE484222325ull;
    for (const unsigned char* at = reinterpret_cast<const unsigned char*>(text); *at; ++at)
        hash = (hash ^ *at) * 0x100000001B3ull;
    return hash;
}

// Spreads every bit of value over the low bits that pick a slot.
uint64_t Spread(uint64_t value)
{
    value ^= value >> 29;
    value *= 0xBF58476D1CE4E5B9ull;
    return value ^ (value >> 32);
}

// Window of records whose lookups are started ahead of the one added.
constexpr size_t LOOKAHEAD = 8;
// The slots of a new index, and the old slots moved at each insertion
// while the index grows: a table of n slots is moved after n / 4
// insertions, before the new one of 2n is half full.
constexpr size_t MIN_SLOTS = 64;
constexpr size_t MOVED_PER_INSERT = 4;

} // namespace

uint64_t KxAuxTree::Hash1(const char* text) { return Spread(TextHash(text)); }

uint64_t KxAuxTree::Hash2(uint64_t parentHash, const char* text)
{
    // The parent's text stands for the parent: both are unique per node.
    return Spread(TextHash(text) ^ ((parentHash << 17 | parentHash >> 47) * 0x9E3779B97F4A7C15ull));
}

void KxAuxTree::Index::Table::Free::operator()(Slot* entries) const { std::free(entries); }

KxAuxTree::Index::Table::Table(size_t count)
    : entries(count ? static_cast<Slot*>(std::calloc(count, sizeof(Slot))) : nullptr), size(entries ? count : 0)
{
    if (count && !entries)
        throw std::bad_alloc();
}

void* KxAuxTree::Index::Table::Find(uint64_t hash, const void* owner, const char* text) const
{
    if (!size)
        return nullptr;
    const size_t mask = size - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
        const Slot& slot = entries.get()[at];
        if (!slot.text)
            return nullptr;
        if (slot.hash == hash && slot.owner == owner && strcmp(slot.text, text) == 0)
            return slot.node;
    }
}

void KxAuxTree::Index::Table::Put(const Slot& slot)
{
    const size_t mask = size - 1;
    size_t at = slot.hash & mask;
    while (entries.get()[at].text)
        at = (at + 1) & mask;
    entries.get()[at] = slot;
}

void KxAuxTree::Index::Prefetch(uint64_t hash) const
{
    if (table_.size)
        __builtin_prefetch(&table_.entries.get()[hash & (table_.size - 1)]);
}

void KxAuxTree::Index::Clear()
{
    table_ = Table(MIN_SLOTS);
    old_ = Table();
    moved_ = 0;
    used_ = 0;
}

void* KxAuxTree::Index::Find(uint64_t hash, const void* owner, const char* text) const
{
    void* node = table_.Find(hash, owner, text);
    // The old table keeps every entry, moved or not, until it is dropped.
    return node ? node : old_.Find(hash, owner, text);
}

void KxAuxTree::Index::Insert(uint64_t hash, const void* owner, const char* text, void* node)
{
    // At most half full, so that a miss ends after a probe or two. The old
    // table is all moved long before the new one fills so far.
    if (2 * (used_ + 1) > table_.size) {
        while (old_.size)
            MoveSome();
        old_ = std::move(table_);
        table_ = Table(old_.size ? 2 * old_.size : MIN_SLOTS);
        moved_ = 0;
    }
    table_.Put(Slot{hash, owner, text, node});
    ++used_;
    if (old_.size)
        MoveSome();
}

void KxAuxTree::Index::MoveSome()
{
    const size_t end = std::min(old_.size, moved_ + MOVED_PER_INSERT);
    for (; moved_ < end; ++moved_)
        if (old_.entries.get()[moved_].text)
            table_.Put(old_.entries.get()[moved_]);
    if (moved_ == old_.size)
        old_ = Table();
}

KxAuxNode1* KxAuxTree::Find1(const char* text, uint64_t hash) const
{
    return static_cast<KxAuxNode1*>(index_.Find(hash, nullptr, text));
}

KxAuxNode1* KxAuxTree::NewNode1(const char* text, uint64_t hash)
{
    if (used1_ == CHUNK) {
        nodes1_.emplace_back(new KxAuxNode1[CHUNK]);
        used1_ = 0;
    }
    KxAuxNode1* node = &nodes1_.back()[used1_++];
    *node = KxAuxNode1{nullptr, KeepText(text), count_, nullptr, nullptr, 0};
    index_.Insert(hash, nullptr, node->text, node);
    if (last_)
        last_->next = node;
    else
        first_ = node;
    last_ = node;
    ++count_;
    return node;
}

void KxAuxTree::AddChild(KxAuxNode1* parent, const char* text, uint64_t hash)
{
    if (used2_ == CHUNK) {
        nodes2_.emplace_back(new KxAuxNode2[CHUNK]);
        used2_ = 0;
    }
    KxAuxNode2* node = &nodes2_.back()[used2_++];
    *node = KxAuxNode2{nullptr, KeepText(text), parent->count};
    index_.Insert(hash, parent, node->text, node);
    if (parent->last)
        parent->last->next = node;
    else
        parent->first = node;
    parent->last = node;
    ++parent->count;
    ++count2_;
}

void KxAuxTree::Add(const KxdRecord* record)
{
    if (level1_ < 0)
        return;
    const uint64_t hash1 = Hash1(FieldText(record, level1_));
    Add(record, hash1, level2_ < 0 ? 0 : Hash2(hash1, FieldText(record, level2_)));
}

void KxAuxTree::Add(const KxdRecord* record, uint64_t hash1, uint64_t hash2)
{
    const char* t1 = FieldText(record, level1_);
    KxAuxNode1* node = Find1(t1, hash1);
    if (!node)
        node = NewNode1(t1, hash1);
    if (level2_ < 0)
        return;
    const char* t2 = FieldText(record, level2_);
    // A node without children has nothing to look up.
    if (node->count == 0 || !index_.Find(hash2, node, t2))
        AddChild(node, t2, hash2);
}

void KxAuxTree::AddAll(const KxdRecord* const* records, size_t count)
{
    if (level1_ < 0)
        return;
    uint64_t hashes[LOOKAHEAD][2];
    auto start = [&](size_t k) {
        uint64_t* hash = hashes[k % LOOKAHEAD];
        hash[0] = Hash1(FieldText(records[k], level1_));
        index_.Prefetch(hash[0]);
        if (level2_ >= 0) {
            hash[1] = Hash2(hash[0], FieldText(records[k], level2_));
            index_.Prefetch(hash[1]);
        }
    };
    for (size_t k = 0; k < count && k < LOOKAHEAD; ++k)
        start(k);
    for (size_t k = 0; k < count; ++k) {
        const uint64_t hash1 = hashes[k % LOOKAHEAD][0];
        const uint64_t hash2 = level2_ >= 0 ? hashes[k % LOOKAHEAD][1] : 0;
        Add(records[k], hash1, hash2);
        if (k + LOOKAHEAD < count)
            start(k + LOOKAHEAD);
    }
}

KxAuxNode1* KxAuxTree::FindNode(const KxdRecord* record) const
{
    if (level1_ < 0)
        return nullptr;
    const char* text = FieldText(record, level1_);
    return Find1(text, Hash1(text));
}

KxAuxNode2* KxAuxTree::FindChild(const KxAuxNode1* node, const char* text)
{
    for (KxAuxNode2* child = node->first; child; child = child->next)
        if (strcmp(child->text, text) == 0)
            return child;
    return nullptr;
}

KxCallTree::KxCallTree() { Reset(); }

void KxCallTree::Reset()
{
    nodes_.clear();
    nodes_.emplace_back(new KxCallNode{});
    root_ = nodes_.back().get();
}

KxCallNode* KxCallTree::AddCallee(KxCallNode* parent, const char* function, KxdRecord* record)
{
    nodes_.emplace_back(new KxCallNode{nullptr, function, record, 0, nullptr, nullptr, 0});
    KxCallNode* node = nodes_.back().get();
    if (parent->last)
        parent->last->next = node;
    else
        parent->first = node;
    parent->last = node;
    ++parent->count;
    return node;
}

KxCallNode* KxCallTree::FindCallee(const KxCallNode* node, const char* name)
{
    for (KxCallNode* child = node->first; child; child = child->next)
        if (child->function && strcmp(child->function, name) == 0)
            return child;
    return nullptr;
}

void KxCallTree::Emit(const KxCallNode* node, KxTable& table, int64_t timeShift)
{
    if (node->function) {
        KxdRecord* copy = table.NewRecord();
        KxdRecord::CopyInto(copy, node->record, timeShift);
        KxdRecord::ProcessLine4Client(copy, true);
    }
    for (const KxCallNode* child = node->first; child; child = child->next)
        Emit(child, table, timeShift);
}
