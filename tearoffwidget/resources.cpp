#include "tearoffwidget/resources.h"

#include <cstdio>

#include <QtGlobal>

#include "utils/kx/kx.h"
#include "tearoffwidget/comaction.h"
#include "utils/common/strbase.h"

static void InitEmbedded()
{
    Q_INIT_RESOURCE(res);
}

static void CleanupEmbedded()
{
    Q_CLEANUP_RESOURCE(res);
}

namespace {
// Registers the tree before main runs, so that static users find it too.
const bool registered = (InitEmbedded(), true);
} // namespace

static const char* JoinPath(const char* name, const char* extension)
{
    char* buffer = ZmLib::StrBase::TempBuffer();
    std::snprintf(buffer, ZmLib::TEMP_STR_CAPACITY + 1, "%s%s%s", Resources::Prefix, name ? name : "",
                  extension ? extension : "");
    return buffer;
}

const char* Resources::GetActionIconPath(int id)
{
    // A negative id would read before the table as surely as a large one.
    KX_ASSERT(ZmLib::KxSys, id >= 0 && id < ComActionTableSize);
    return JoinPath(ComActionTable[id].icon, IconExt);
}

const char* Resources::GetIconPath(const char* name, const char* extension)
{
    return JoinPath(name, extension);
}

void Resources::Init()
{
    InitEmbedded();
}

void Resources::Cleanup()
{
    CleanupEmbedded();
}
