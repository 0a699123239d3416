#include "kxviewer/prefpagecolors.h"

#include <algorithm>
#include <utility>

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/backgrounddelegate.h"
#include "tearoffwidget/resources.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"

namespace {

constexpr int NUM_WIDTH = 35;
constexpr int COLOR_WIDTH = 240;
constexpr int TABLE_HEIGHT = 350;
constexpr int INSERT_LIGHTER_FACTOR = 50;

QTableWidgetItem* CentredItem()
{
    auto* item = new QTableWidgetItem;
    item->setTextAlignment(Qt::AlignCenter);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

} // namespace

PrefPageColors::PrefPageColors(QWidget* parent) : QWidget(parent)
{
    auto* page = new QVBoxLayout(this);
    auto* scheme = new QGroupBox(QStringLiteral("Color Scheme"));
    auto* row = new QHBoxLayout(scheme);

    Table = new QTableWidget(0, 2);
    Table->setHorizontalHeaderLabels({QStringLiteral("Num"), QStringLiteral("Color")});
    Table->verticalHeader()->hide();
    Table->verticalHeader()->setDefaultSectionSize(Table->font().pointSize() * 12 / 5);
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setSelectionMode(QAbstractItemView::SingleSelection);
    Table->setItemDelegate(new BackgroundDelegate(Table));
    Table->setFixedHeight(TABLE_HEIGHT);
    const int count = int(PrefGlobal::ColorScheme.size());
    for (int i = 0; i < count; ++i)
        AddRow(i, i, PrefGlobal::GetColor(i));
    Table->setSortingEnabled(true);
    Table->horizontalHeader()->setSortIndicatorShown(true);
    Table->sortByColumn(COLUMN_NUM, Qt::AscendingOrder);
    // "Num" keeps room for its header and sort arrow in any font.
    const int numWidth = std::max(NUM_WIDTH, Table->horizontalHeader()->sectionSizeHint(COLUMN_NUM));
    Table->setColumnWidth(COLUMN_NUM, numWidth);
    Table->setColumnWidth(COLUMN_COLOR, COLOR_WIDTH);
    Table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Table->setFixedWidth(numWidth + COLOR_WIDTH + Table->verticalScrollBar()->sizeHint().width() +
                         2 * Table->frameWidth());
    Table->setCurrentCell(0, COLUMN_NUM);
    connect(Table, &QTableWidget::itemDoubleClicked, this, &PrefPageColors::onItemClicked);
    connect(new QShortcut(QKeySequence::Delete, Table, nullptr, nullptr, Qt::WidgetShortcut), &QShortcut::activated,
            this, &PrefPageColors::Delete);
    row->addWidget(Table);

    auto* buttons = new QVBoxLayout;
    // The move and erase icons of the navigation and edit actions; the
    // action table has no icon for inserting, "Add" stands in.
    struct Action {
        const char* icon;
        const char* name;
        void (PrefPageColors::*slot)();
    };
    const Action actions[] = {{"Navigate_up2", "moveTop", &PrefPageColors::moveTop},
                              {"Navigate_up", "moveUp", &PrefPageColors::moveUp},
                              {"Navigate_down", "moveDown", &PrefPageColors::moveDown},
                              {"Navigate_down2", "moveBottom", &PrefPageColors::moveBottom},
                              {"Erase", "Delete", &PrefPageColors::Delete},
                              {"Add", "Insert", &PrefPageColors::Insert}};
    for (const Action& action : actions) {
        auto* button = new QPushButton(
            QIcon(QString::fromLatin1(Resources::GetIconPath(action.icon, Resources::IconExt))), QString());
        button->setObjectName(QString::fromLatin1(action.name));
        button->setToolTip(QString::fromLatin1(action.name));
        connect(button, &QPushButton::clicked, this, action.slot);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    row->addLayout(buttons);
    row->addStretch();
    page->addWidget(scheme);

    auto* note = new QGroupBox;
    note->setStyleSheet(QStringLiteral("QGroupBox{border:0}"));
    auto* noteLayout = new QVBoxLayout(note);
    noteLayout->addWidget(new QLabel(QStringLiteral("Colors scheme is used for colorization "
                                                    "different\nThreads/Levels/KXNames rows on table views.")));
    page->addWidget(note);
    page->addStretch();
}

void PrefPageColors::AddRow(int row, int number, const QColor& color)
{
    Table->insertRow(row);
    QTableWidgetItem* num = CentredItem();
    // A number, not its text, so that 10 sorts after 9.
    num->setData(Qt::DisplayRole, number);
    Table->setItem(row, COLUMN_NUM, num);
    Table->setItem(row, COLUMN_COLOR, CentredItem());
    SetColor(row, color);
}

int PrefPageColors::NumberAt(int row) const { return Table->item(row, COLUMN_NUM)->data(Qt::DisplayRole).toInt(); }

QColor PrefPageColors::ColorAt(int row) const { return Table->item(row, COLUMN_COLOR)->background().color(); }

void PrefPageColors::SetColor(int row, const QColor& color)
{
    QTableWidgetItem* item = Table->item(row, COLUMN_COLOR);
    item->setBackground(color);
    item->setText(color.name().toUpper());
}

std::vector<QRgb> PrefPageColors::Colors() const
{
    std::vector<std::pair<int, QRgb>> rows;
    for (int row = 0; row < Table->rowCount(); ++row)
        rows.emplace_back(NumberAt(row), ColorAt(row).rgb());
    std::stable_sort(rows.begin(), rows.end(),
                     [](const std::pair<int, QRgb>& a, const std::pair<int, QRgb>& b) { return a.first < b.first; });
    std::vector<QRgb> colors;
    for (const auto& each : rows)
        colors.push_back(each.second);
    return colors;
}

bool PrefPageColors::SortedByNumber() const
{
    const QHeaderView* header = Table->horizontalHeader();
    if (header->sortIndicatorSection() == COLUMN_NUM && header->sortIndicatorOrder() == Qt::AscendingOrder)
        return true;
    KxvShell().Information(QStringLiteral("Please sort by order number first"), true);
    return false;
}

void PrefPageColors::MoveCurrent(int to)
{
    const int from = Table->currentRow();
    if (from < 0 || to < 0 || to >= Table->rowCount() || from == to || !SortedByNumber())
        return;
    const QColor moved = ColorAt(from);
    const int step = to > from ? 1 : -1;
    for (int row = from; row != to; row += step)
        SetColor(row, ColorAt(row + step));
    SetColor(to, moved);
    Table->setCurrentCell(to, COLUMN_COLOR);
    Table->setFocus();
    Table->viewport()->update();
}

void PrefPageColors::moveTop() { MoveCurrent(0); }

void PrefPageColors::moveUp() { MoveCurrent(Table->currentRow() - 1); }

void PrefPageColors::moveDown() { MoveCurrent(Table->currentRow() + 1); }

void PrefPageColors::moveBottom() { MoveCurrent(Table->rowCount() - 1); }

void PrefPageColors::Delete()
{
    if (Table->rowCount() <= COLOR_SCHEME_MIN) {
        KxvShell().Information(
            QStringLiteral("Cannot delete: the minimum amount of colors is %1").arg(COLOR_SCHEME_MIN), true);
        return;
    }
    const int current = std::max(Table->currentRow(), 0);
    const int removed = NumberAt(current);
    Table->setSortingEnabled(false);
    Table->removeRow(current);
    for (int row = 0; row < Table->rowCount(); ++row) {
        if (NumberAt(row) > removed)
            Table->item(row, COLUMN_NUM)->setData(Qt::DisplayRole, NumberAt(row) - 1);
    }
    Table->setSortingEnabled(true);
    Table->setCurrentCell(std::min(current, Table->rowCount() - 1), COLUMN_NUM);
}

void PrefPageColors::Insert()
{
    if (Table->rowCount() >= COLOR_SCHEME_MAX) {
        KxvShell().Information(QStringLiteral("Maximum amount of colors (%1) achieved").arg(COLOR_SCHEME_MAX), true);
        return;
    }
    const int current = std::max(Table->currentRow(), 0);
    const QColor color = TearOffMain::Prompt().Color(ColorAt(current).lighter(INSERT_LIGHTER_FACTOR),
                                                     KxvShell().MainWidget(), QString());
    if (!color.isValid())
        return;
    // The new colour takes the current row's order number, whatever the
    // table is sorted by, so that no two rows share a number.
    const int number = NumberAt(current);
    Table->setSortingEnabled(false);
    for (int row = 0; row < Table->rowCount(); ++row) {
        if (NumberAt(row) >= number)
            Table->item(row, COLUMN_NUM)->setData(Qt::DisplayRole, NumberAt(row) + 1);
    }
    AddRow(current, number, color);
    QTableWidgetItem* added = Table->item(current, COLUMN_NUM);
    Table->setSortingEnabled(true);
    Table->setCurrentItem(added);
}

void PrefPageColors::onItemClicked(QTableWidgetItem* item)
{
    if (item->column() != COLUMN_COLOR)
        return;
    const QColor color = TearOffMain::Prompt().Color(item->background().color(), KxvShell().MainWidget(), QString());
    if (color.isValid())
        SetColor(item->row(), color);
}
