// Fixed highlights: expressions pinned with a colour, their menu on the pin
// tool button, and their removal.
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QPalette>
#include <QPushButton>
#include <QToolButton>
#include <QWidgetAction>

#include "kxlib/table/kxsearchexpr.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/historyactions.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabbase.h"

namespace {
constexpr int ERASE_BUTTON_WIDTH = 22;
constexpr int PHRASE_BUTTON_HEIGHT = 19;

int IndexOfText(const QList<TabBase::FixedHighlight*>& highlights, const QString& text)
{
    for (int i = 0; i < highlights.size(); ++i)
        if (highlights[i]->text == text)
            return i;
    return -1;
}

// The menu rows name their entry by object name.
int SenderIndex(QObject* sender)
{
    bool ok = false;
    const int index = sender ? sender->objectName().toInt(&ok) : -1;
    return ok ? index : -1;
}

void Release(TabBase::FixedHighlight* highlight)
{
    if (highlight->expression)
        highlight->expression->Release();
    delete highlight;
}
} // namespace

void TabBase::PinPhrase(int btnstate)
{
    if (!PinFindText(btnstate))
        return;
    const int32_t rows = RefreshOutlineTable();
    KxvShell().ShowStatus(QStringLiteral("%1 highlighted rows fixed in outline").arg(rows));
}

bool TabBase::PinFindText(int btnstate)
{
    QAction* action = Actions[TACT_PIN];
    if (btnstate >= 0 && action)
        action->setChecked(btnstate != 0);
    const bool checked = action ? action->isChecked() : btnstate > 0;
    QString text;
    if (FindCombo)
        text = FindCombo->currentText();
    else if (const KxSearchExpression* expression = Table->SearchExpression())
        text = QString::fromLocal8Bit(expression->text);
    text = text.trimmed();
    int index = IndexOfText(FixedHighlights, text);
    if (!checked) {
        if (index >= 0)
            RemoveFixedHighlight(index, false);
        return false;
    }
    // The table must take the expression before it can be pinned.
    if (text.isEmpty() || !SetSearchExpression(text, MatchCase, SearchMode)) {
        if (!text.isEmpty())
            ReportIncorrectExpression();
        if (action && index < 0)
            action->setChecked(false);
        return false;
    }
    const QColor color(QRgb(Prefs.ColorHighlight));
    FixedHighlight* entry = nullptr;
    if (index >= 0) {
        entry = FixedHighlights[index];
        entry->color = color;
        entry->mode = SearchMode;
        entry->matchCase = MatchCase;
    } else {
        entry = new FixedHighlight;
        entry->text = text;
        entry->color = color;
        entry->mode = SearchMode;
        entry->matchCase = MatchCase;
        FixedHighlights.append(entry);
        AddHistoryItem(HISTORY_PIN, &entry->text, int32_t(entry->mode), entry->matchCase, Prefs.ColorHighlight);
    }
    KxSearchExpression* expression = Table->SearchExpression();
    if (expression)
        expression->AddRef();
    if (entry->expression)
        entry->expression->Release();
    entry->expression = expression;
    ColorFindEntries();
    RebuildFixedHighlightMenu();
    return true;
}

void TabBase::RemoveFixedHighlight(int32_t index, bool reopenMenu)
{
    if (index < 0 || index >= FixedHighlights.size())
        return;
    FixedHighlight* entry = FixedHighlights.takeAt(index);
    AddHistoryItem(HISTORY_UNPIN, &entry->text, int32_t(entry->mode), entry->matchCase, 0);
    Release(entry);
    ColorFindEntries();
    RebuildFixedHighlightMenu();
    RefreshOutlineTable();
    UpdateBase();
    QToolButton* button = ToolButtons[BUTTON_PIN];
    if (!FixedHighlights.isEmpty() && reopenMenu && button && button->menu())
        button->menu()->popup(button->mapToGlobal(button->rect().bottomLeft()));
}

void TabBase::ClearPinned()
{
    for (FixedHighlight* entry : FixedHighlights)
        Release(entry);
    FixedHighlights.clear();
    ColorFindEntries();
    RebuildFixedHighlightMenu();
    RefreshOutlineTable();
    UpdateBase();
}

void TabBase::RebuildFixedHighlightMenu()
{
    QToolButton* button = ToolButtons[BUTTON_PIN];
    if (!button)
        return;
    QMenu* old = button->menu();
    button->setMenu(CreateFixedHighlightMenu());
    if (old) {
        // The old menu may be running the click that got us here.
        old->hide();
        old->deleteLater();
    }
}

QMenu* TabBase::CreateFixedHighlightMenu()
{
    auto* menu = new QMenu(this);
    if (FixedHighlights.isEmpty()) {
        menu->addAction(QStringLiteral("empty"))->setEnabled(false);
        return menu;
    }
    if (QAction* clear = Actions[TACT_CLEAR_PINNED])
        menu->addAction(clear);
    menu->addSeparator();
    const QIcon erase = Actions[TACT_ROWS_DELETE] ? Actions[TACT_ROWS_DELETE]->icon() : QIcon();
    for (int i = 0; i < FixedHighlights.size(); ++i) {
        const FixedHighlight* entry = FixedHighlights[i];
        auto* group = new QGroupBox(menu);
        group->setStyleSheet(QStringLiteral("QGroupBox{border:0}"));
        auto* layout = new QHBoxLayout(group);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);

        auto* remove = new QPushButton(erase, QString(), group);
        remove->setFlat(true);
        remove->setFixedWidth(ERASE_BUTTON_WIDTH);
        remove->setContentsMargins(1, 0, 0, 0);
        remove->setObjectName(QString::number(i));
        connect(remove, &QPushButton::clicked, this, &TabBase::onDeleteFixedHighlight);

        auto* phrase = new QPushButton(entry->text + QStringLiteral("   "), group);
        phrase->setFlat(true);
        phrase->setStyleSheet(QStringLiteral("text-align: left"));
        // A flat button draws no panel: its background is filled instead.
        QPalette palette = phrase->palette();
        palette.setColor(QPalette::Button, entry->color);
        phrase->setPalette(palette);
        phrase->setAutoFillBackground(true);
        if (FindCombo)
            phrase->setFont(FindCombo->font());
        phrase->setContentsMargins(2, 0, 0, -4);
        phrase->setFixedHeight(PHRASE_BUTTON_HEIGHT);
        phrase->setObjectName(QString::number(i));
        connect(phrase, &QPushButton::clicked, this, &TabBase::ActivateFixedHighlight);

        layout->addWidget(remove);
        layout->addWidget(phrase);
        auto* row = new QWidgetAction(menu);
        row->setDefaultWidget(group);
        menu->addAction(row);
    }
    return menu;
}

bool TabBase::IsFixedHighlight()
{
    if (!FindCombo)
        return false;
    const QString text = FindCombo->currentText();
    return !text.isEmpty() && IndexOfText(FixedHighlights, text) >= 0;
}

void TabBase::ActivateFixedHighlight()
{
    QObject* source = sender();
    const int index = SenderIndex(source);
    if (index < 0 || index >= FixedHighlights.size())
        return;
    const FixedHighlight* entry = FixedHighlights[index];
    SetSearchExpression(entry->text, entry->matchCase, entry->mode);
    for (QObject* up = source; up; up = up->parent()) {
        if (auto* menu = qobject_cast<QMenu*>(up)) {
            menu->close();
            break;
        }
    }
}

void TabBase::onDeleteFixedHighlight()
{
    RemoveFixedHighlight(SenderIndex(sender()), true);
}
