#include "tearoffwidget/comaction.h"

const ComAction* ComActionTable = nullptr;
int32_t ComActionTableSize = 0;

void ComActionTablePublish(const ComAction* table, int32_t size)
{
    ComActionTable = table;
    ComActionTableSize = table ? size : 0;
}
