// Writes syntax trees to the debug stream ("SYS", level 2), one line per node.
#pragma once

struct ScriptNode;

class ScriptTracer {
public:
    static void PrintTreeInfo(const ScriptNode* node, int depth);
    // The same line from a node's parts, for trees of other shapes.
    static void PrintTreeInfo(int depth, int type, int line, int index, const char* text);
};
