#include "script/scriptbase/scripttracer.h"

#include "script/scriptbase/scriptnode.h"
#include "utils/kx/kx.h"

void ScriptTracer::PrintTreeInfo(const ScriptNode* node, int depth)
{
    if (ZmLib::KxSys.Passes(ZmLib::KX_LEVEL_INFO))
        PrintTreeInfo(depth, node->type, node->line, node->index, node->text.c_str());
}

void ScriptTracer::PrintTreeInfo(int depth, int type, int line, int index, const char* text)
{
    if (!ZmLib::KxSys.Passes(ZmLib::KX_LEVEL_INFO))
        return;
    ZmLib::KxSys.Print(0, ZmLib::KX_LEVEL_INFO, "ScriptTracer::PrintTreeInfo", "%*s Type: %d Line: %d Index: %d Text: %s",
                       depth * 4, "", type, line, index, text ? text : "");
}
