// The table tab's three context menus (column header, row header, cell),
// the find word under the pointer and the column editing they lead to.
#include <algorithm>

#include <QAction>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMenu>
#include <QPointer>
#include <QRegularExpression>

#include "kxlib/kxdrecord.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/columnwidths.h"
#include "kxviewer/table/fieldsdialog.h"
#include "kxviewer/table/guihelpers.h"
#include "kxviewer/table/tabtable.h"
#include "kxviewer/table/tabtablemodel.h"
#include "kxviewer/table/tabtableview.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"

namespace {
// Blanks per nesting level before an indented TEXT.
const QString NestStep = QStringLiteral("   ");
// Pixels the pointer may be past a word's end and still take it.
constexpr int WORD_SLACK = 4;

void Add(QMenu* menu, QAction* action)
{
    if (action)
        menu->addAction(action);
}
} // namespace

QString TabTable::FindExpression(int32_t field, const QString& word)
{
    const QString key = QString::fromLatin1(FieldKey(field));
    if (field >= FIELD_Nums || FieldIsNumber(field))
        return key + QStringLiteral("==") + word;
    return key + QStringLiteral("~'") + word.trimmed() + QStringLiteral("'");
}

QString TabTable::FindTextAt(const QString& text, int32_t field, int column, int x, int64_t nest) const
{
    if (field < 0 || field >= FIELD_Nums || !ColumnCharWidths[field].split)
        return text;
    QString working = text;
    if (nest >= 1 && Prefs.IndentText) {
        const int width = ColumnChars(field, Table->TimeNormalised());
        const QString prefix = NestStep.repeated(int(std::min<int64_t>(nest, width))).left(width) + QLatin1Char(' ');
        working = (prefix + text).leftJustified(width, QLatin1Char(' '));
    }
    static const QRegularExpression separators(QStringLiteral("[^\\w\\-\\$&#@]+"));
    const QStringList words = text.split(separators, Qt::SkipEmptyParts);
    if (words.size() < 2)
        return working;
    const int offset = x - View->columnViewportPosition(column);
    const QFontMetrics metrics(PrefGlobal::Fonts[FONT_TABLE_VIEW]);
    for (const QString& word : words) {
        const int at = working.indexOf(word);
        if (metrics.horizontalAdvance(working.left(at + word.size() + 1)) + WORD_SLACK > offset)
            return word;
    }
    return working;
}

void TabTable::FillColumnMenu(QMenu* menu)
{
    QAction* edit = menu->addAction(QStringLiteral("Edit columns"));
    connect(edit, &QAction::triggered, this, &TabTable::onEditColumns);
}

void TabTable::FillRowMenu(QMenu* menu)
{
    Add(menu, Actions[TACT_SHOW_PRES_ERRORS]);
}

void TabTable::FillCellMenu(QMenu* menu, const QPoint& pos)
{
    // Paste needs a copy source, which the action states already reflect.
    QAction* paste = Actions[TACT_ROWS_PASTE];
    const bool canPaste = paste && paste->isEnabled() && Table->IsEditable() && !Table->FilterOn;
    const QModelIndex cell = View->indexAt(pos);
    KxdRecord* record = cell.isValid() ? Table->FindRecord(cell.row()) : nullptr;
    if (record) {
        ContextCell = cell;
        const int32_t field = Model->FieldOf(cell.column());
        const QString text =
            field >= 0 && field < FIELD_Nums ? QString::fromLocal8Bit(record->Text(field)) : QString();
        const int64_t nest = record->Int64(FIELD_NEST);
        const QString word = FindTextAt(text, field, cell.column(), pos.x(), nest);

        Add(menu, Actions[TACT_ROWS_COPY]);
        if (QAction* copyCell = Actions[ACTION_COPY_CELL]) {
            copyCell->setText(QStringLiteral("Copy cell: ") + ElideText(text));
            copyCell->setData(text);
            menu->addAction(copyCell);
        }
        if (canPaste) {
            Add(menu, paste);
            Add(menu, Actions[TACT_ROWS_PASTE_TO_END]);
        }
        Add(menu, Actions[TACT_ROWS_DELETE]);
        menu->addSeparator();
        Add(menu, Actions[ACTION_TIME0_HERE]);
        Add(menu, Actions[ACTION_FUNC_CONTEXT]);
        menu->addSeparator();
        if (QAction* find = Actions[ACTION_CUSTOM_FIND]) {
            const QString expression = FindExpression(field, word);
            find->setData(expression);
            find->setText(QStringLiteral("Find: ") + ElideText(expression));
            menu->addAction(find);
        }
        if (QAction* load = Actions[ACTION_LOAD_TO_FIND]) {
            load->setData(AuxTreeExpression(record));
            menu->addAction(load);
        }
        if (Table->FilterOn)
            Add(menu, Actions[TACT_CLEAR_FILTER]);
        if (const SelRange* range = record->selRange) {
            const OutlineEntry entry{range->first, range->first + range->count - 1, cell.row(), 0};
            OutlineRanges.assign(1, entry);
            OutlineEntries.assign(1, entry);
            menu->addSeparator();
            Add(menu, Actions[ACTION_REPLACE_SEL_COLOR]);
        }
    } else if (canPaste) {
        Add(menu, paste);
        Add(menu, Actions[TACT_ROWS_PASTE_TO_END]);
        menu->addSeparator();
    }
    menu->addSeparator();
    const struct {
        int id;
        bool checked;
    } toggles[] = {
        {ACTION_RELATIVE_TIME, Table->TimeNormalised()},
        {ACTION_INSERT_FUNC, Prefs.InsertFunc != 0},
        {ACTION_INDENT_TEXT, Prefs.IndentText != 0},
    };
    for (const auto& toggle : toggles)
        if (QAction* action = Actions[toggle.id]) {
            action->setChecked(toggle.checked);
            menu->addAction(action);
        }
}

void TabTable::customHorizontalMenu(const QPoint& pos)
{
    QMenu menu;
    FillColumnMenu(&menu);
    // A header's point is in its own viewport, not in the cells'.
    menu.exec(View->horizontalHeader()->viewport()->mapToGlobal(pos));
}

void TabTable::customVerticalMenu(const QPoint& pos)
{
    QMenu menu;
    FillRowMenu(&menu);
    menu.exec(View->verticalHeader()->viewport()->mapToGlobal(pos));
}

void TabTable::customMenuRequested(const QPoint& pos)
{
    QMenu menu;
    FillCellMenu(&menu, pos);
    const Hold hold(this);
    menu.exec(View->viewport()->mapToGlobal(pos));
    if (hold.Gone())
        return;
    // The cell only names the row for commands started from this menu;
    // the same commands from the main menu act on the current row.
    ContextCell = QModelIndex();
}

void TabTable::onEditColumns()
{
    // The dialog writes into the tab's preferences: it goes with the tab
    // when a close in its turn takes the tab.
    const QPointer<FieldsDialog> dialog = new FieldsDialog(this, &Prefs, Table->Prefs().formats, Table);
    const Hold hold(this);
    const int result = TearOffMain::Prompt().Exec(dialog);
    delete dialog;
    if (hold.Gone() || result == 0)
        return;
    if (result & FieldsDialog::FORMATS_CHANGED) {
        const QString text = QStringLiteral("Document \"%1\": refreshing data due to format change")
                                 .arg(QString::fromLocal8Bit(Table->Name()));
        KxvShell().AddToSystemLog(text);
        KxvShell().ShowStatus(text);
        Table->ReformatTableData();
        UpdateInfoTime();
    }
    ResetViewModel();
}
