#include "kxlib/kxauxtree.h"

#include <cstring>

#include "kxlib/fields.h"
#include "kxlib/kxdrecord.h"
#include "kxlib/table/kxtable.h"

namespace {

constexpr size_t TEXT_CHUNK = 8192;

const char* FieldText(const KxdRecord* record, int32_t field)
{
    if (field < 0 || field >= FIELD_Nums || !record->text[field])
        return "";
    return record->text[field];
}

} // namespace

KxAuxTree::KxAuxTree(int32_t level1, int32_t level2) { Reset(level1, level2); }

void KxAuxTree::Reset(int32_t level1, int32_t level2)
{
    // A field index outside the table switches the level off.
    level1_ = level1 < FIELD_Nums ? level1 : -1;
    level2_ = level2 < FIELD_Nums ? level2 : -1;
    first_ = last_ = nullptr;
    count_ = 0;
    nodes1_.clear();
    nodes2_.clear();
    texts_.clear();
    index1_.clear();
    index2_.clear();
    nodes1_.emplace_back(new KxAuxNode1[CHUNK]);
    nodes2_.emplace_back(new KxAuxNode2[CHUNK]);
    used1_ = used2_ = 0;
    textUsed_ = TEXT_CHUNK;
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

size_t KxAuxTree::ChildKeyHash::operator()(const ChildKey& key) const
{
    return std::hash<std::string_view>()(key.text) ^ (std::hash<const void*>()(key.parent) * 0x9E3779B97F4A7C15ull);
}

KxAuxNode1* KxAuxTree::Find1(const char* text) const
{
    auto it = index1_.find(std::string_view(text));
    return it == index1_.end() ? nullptr : it->second;
}

KxAuxNode2* KxAuxTree::Find2(const KxAuxNode1* parent, const char* text) const
{
    auto it = index2_.find(ChildKey{parent, std::string_view(text)});
    return it == index2_.end() ? nullptr : it->second;
}

KxAuxNode1* KxAuxTree::NewNode1(const char* text)
{
    if (used1_ == CHUNK) {
        nodes1_.emplace_back(new KxAuxNode1[CHUNK]);
        used1_ = 0;
    }
    KxAuxNode1* node = &nodes1_.back()[used1_++];
    *node = KxAuxNode1{nullptr, KeepText(text), count_, nullptr, nullptr, 0};
    index1_.emplace(std::string_view(node->text), node);
    if (last_)
        last_->next = node;
    else
        first_ = node;
    last_ = node;
    ++count_;
    return node;
}

void KxAuxTree::AddChild(KxAuxNode1* parent, const char* text)
{
    if (used2_ == CHUNK) {
        nodes2_.emplace_back(new KxAuxNode2[CHUNK]);
        used2_ = 0;
    }
    KxAuxNode2* node = &nodes2_.back()[used2_++];
    *node = KxAuxNode2{nullptr, KeepText(text), parent->count};
    index2_.emplace(ChildKey{parent, std::string_view(node->text)}, node);
    if (parent->last)
        parent->last->next = node;
    else
        parent->first = node;
    parent->last = node;
    ++parent->count;
}

void KxAuxTree::Add(const KxdRecord* record)
{
    if (level1_ < 0)
        return;
    const char* t1 = FieldText(record, level1_);
    KxAuxNode1* node = Find1(t1);
    if (!node)
        node = NewNode1(t1);
    if (level2_ < 0)
        return;
    const char* t2 = FieldText(record, level2_);
    if (!Find2(node, t2))
        AddChild(node, t2);
}

KxAuxNode1* KxAuxTree::FindNode(const KxdRecord* record) const
{
    if (level1_ < 0)
        return nullptr;
    return Find1(FieldText(record, level1_));
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

void KxCallTree::Emit(const KxCallNode* node, KxTable& table)
{
    if (node->function) {
        KxdRecord* copy = table.NewRecord();
        KxdRecord::CopyInto(copy, node->record);
        KxdRecord::ProcessLine4Client(copy, true);
    }
    for (const KxCallNode* child = node->first; child; child = child->next)
        Emit(child, table);
}
