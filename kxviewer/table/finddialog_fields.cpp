// The find dialog's way between its two pages: the "Basic" editor's
// expression taken apart into the "By Fields" rows, and the rows written
// back as an expression.
#include <QCheckBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextEdit>

#include "kxlib/table/kxsearchexpr.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/table/finddialog.h"
#include "kxviewer/table/finddialogtabbyfields.h"
#include "kxviewer/table/finddialogtabexpression.h"
#include "kxviewer/table/tabtable.h"

void FindDialog::FindTabChangedSlot(int page)
{
    TabTable* tab = CurrentTab();
    if (!tab)
        return;
    CompareMode->setEnabled(page == PAGE_FIELDS);
    if (page == PAGE_FIELDS)
        EditorToRows(tab);
    else
        RowsToEditor();
}

void FindDialog::EditorToRows(TabTable* tab)
{
    const QString text = Basic->Editor->toPlainText().trimmed();
    if (!Basic->Complex->isChecked()) {
        // A plain text has no rows, but it is the search the user typed;
        // an empty one leaves the tab's search as it was.
        if (!text.isEmpty())
            tab->SetSearchExpression(text, MatchCase() ? 1 : 0, SEARCH_MODE_SIMPLE);
        ByFields->ClearDataConnect();
        return;
    }
    if (text.isEmpty()) {
        ByFields->ClearDataConnect();
        return;
    }
    if (!ApplyComplex(tab, text)) {
        ByFields->ClearDataConnect();
        return;
    }
    KxSearchExpression* expression = tab->Table->SearchExpression();
    if (!expression)
        return;
    expression->AddRef();
    // The chain's operator becomes the join of the rows.
    if (!ByFields->FillFromExpression(*expression))
        ByFields->ClearDataConnect();
    else if (expression->form == SEARCH_FORM_AND)
        AndButton->setChecked(true);
    else if (expression->form == SEARCH_FORM_OR)
        OrButton->setChecked(true);
    expression->Release();
}

void FindDialog::RowsToEditor()
{
    bool ok = true;
    const QString rows = ByFields->MakeFindStringFromFileds(&ok);
    if (!ok || rows.isEmpty())
        return;
    Basic->Editor->setPlainText(rows);
    Basic->Complex->setChecked(true);
}
