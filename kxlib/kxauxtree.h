// The auxiliary tree: a two-level index of the distinct texts of two chosen
// fields (for example threads, and channels within each thread), and the
// function-call tree that a table builds from enter and leave records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct KxdRecord;
class KxTable;

struct KxAuxNode2 {
    KxAuxNode2* next;
    const char* text;
    int32_t index; // position among the parent's children
};

struct KxAuxNode1 {
    KxAuxNode1* next;
    const char* text;
    int32_t index; // position among first-level nodes
    KxAuxNode2* first;
    KxAuxNode2* last;
    int32_t count;
};

class KxAuxTree {
public:
    static constexpr int CHUNK = 100;

    // level1 < 0: the tree is off; level2 < 0: one level only.
    KxAuxTree(int32_t level1, int32_t level2);
    KxAuxTree(const KxAuxTree&) = delete;
    KxAuxTree& operator=(const KxAuxTree&) = delete;

    // What the tree holds at one moment, to tell later whether it changed:
    // every Reset and Swap starts a generation no other tree has had, and
    // within one the nodes only grow in number.
    struct Mark {
        uint64_t generation = 0;
        size_t nodes = 0;
        bool operator==(const Mark& other) const { return generation == other.generation && nodes == other.nodes; }
        bool operator!=(const Mark& other) const { return !(*this == other); }
    };

    // Drops every node and takes new levels.
    void Reset(int32_t level1, int32_t level2);
    // Exchanges the contents (levels, nodes, generation) of two trees; a
    // tree built aside takes the place of another at once.
    void Swap(KxAuxTree& other) noexcept;
    void Add(const KxdRecord* record);
    // Add on each record in turn; with many distinct texts the lookups of
    // the records ahead are started early, so that they wait on memory
    // together instead of one after another.
    void AddAll(const KxdRecord* const* records, size_t count);
    // Nodes match their text exactly.
    KxAuxNode1* FindNode(const KxdRecord* record) const;
    static KxAuxNode2* FindChild(const KxAuxNode1* node, const char* text);

    KxAuxNode1* First() const { return first_; }
    // The first-level node of that index (its place in arrival order), or
    // null outside 0 .. Count() - 1.
    KxAuxNode1* Node(int32_t index) const;
    int32_t Count() const { return count_; }
    Mark Marked() const { return Mark{generation_, size_t(count_) + count2_}; }
    int32_t Level1() const { return level1_; }
    int32_t Level2() const { return level2_; }
    size_t Level1Chunks() const { return nodes1_.size(); }
    size_t Level2Chunks() const { return nodes2_.size(); }

private:
    KxAuxNode1* NewNode1(const char* text, uint64_t hash);
    void AddChild(KxAuxNode1* parent, const char* text, uint64_t hash);
    // Records move inside their blocks on insertion and deletion, so the tree
    // keeps its own copy of each node's text.
    const char* KeepText(const char* text);
    KxAuxNode1* Find1(const char* text, uint64_t hash) const;

    // Lookups by owner (null for the first level, the parent for the
    // second) and text, so that many distinct values cost no more per record
    // than a few: open addressing over slots that hold the hash and the key,
    // so that a probe reads one slot and, on a hash match, the text. A full
    // table moves to one twice its size a few slots per insertion, the old
    // one still searched meanwhile, so that no insertion pays for moving a
    // million entries at once.
    class Index {
    public:
        struct Slot {
            uint64_t hash;
            const void* owner;
            const char* text; // the node's own copy; null: free
            void* node;
        };
        void Clear();
        void Prefetch(uint64_t hash) const;
        void* Find(uint64_t hash, const void* owner, const char* text) const;
        // The key must not be in the index yet.
        void Insert(uint64_t hash, const void* owner, const char* text, void* node);

    private:
        struct Table {
            // Zeroed memory: a large table's pages are zeroed by the system
            // as they are first written, not all at its making.
            struct Free {
                void operator()(Slot* entries) const;
            };
            std::unique_ptr<Slot, Free> entries;
            size_t size = 0;
            explicit Table(size_t count = 0);
            void* Find(uint64_t hash, const void* owner, const char* text) const;
            void Put(const Slot& slot);
        };
        // Moves the next few slots of the old table, dropping it once all
        // are moved.
        void MoveSome();

        Table table_;
        // The table being moved from, and how many of its slots are moved.
        Table old_;
        size_t moved_ = 0;
        size_t used_ = 0;
    };
    // The hash of a first-level text, and of a second-level text under the
    // parent whose hash is parentHash; neither reads a node.
    static uint64_t Hash1(const char* text);
    static uint64_t Hash2(uint64_t parentHash, const char* text);
    void Add(const KxdRecord* record, uint64_t hash1, uint64_t hash2);

    KxAuxNode1* first_ = nullptr;
    KxAuxNode1* last_ = nullptr;
    int32_t count_ = 0;
    size_t count2_ = 0;
    uint64_t generation_ = 0;
    int32_t level1_;
    int32_t level2_;
    std::vector<std::unique_ptr<KxAuxNode1[]>> nodes1_;
    int used1_ = 0;
    std::vector<std::unique_ptr<KxAuxNode2[]>> nodes2_;
    int used2_ = 0;
    std::vector<std::unique_ptr<char[]>> texts_;
    size_t textUsed_ = 0;
    // Both levels in one index; the lists above keep the order of arrival.
    Index index_;
};

struct KxCallNode {
    KxCallNode* next;
    const char* function; // null for a thread's root
    KxdRecord* record;    // the first record of this call path
    int64_t time;         // accumulated time
    KxCallNode* first;
    KxCallNode* last;
    int32_t count;
};

// One thread's call tree; nodes live as long as the tree.
class KxCallTree {
public:
    KxCallTree();
    // Drops every node and makes a fresh root.
    void Reset();
    KxCallNode* Root() { return root_; }
    KxCallNode* AddCallee(KxCallNode* parent, const char* function, KxdRecord* record);

    // The first child whose function name equals name exactly.
    static KxCallNode* FindCallee(const KxCallNode* node, const char* name);
    // Depth first, parent before children: every named node appends a copy of
    // its record (its TIME moved by timeShift) to the table and runs record
    // processing on it in copy mode.
    static void Emit(const KxCallNode* node, KxTable& table, int64_t timeShift);

private:
    std::vector<std::unique_ptr<KxCallNode>> nodes_;
    KxCallNode* root_ = nullptr;
};
