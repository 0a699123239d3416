#include "kxviewer/myproxystyle.h"

int MyProxyStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                            QStyleHintReturn* returnData) const
{
    if (hint == QStyle::SH_ProgressDialog_CenterCancelButton)
        return 1;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}
