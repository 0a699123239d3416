#include "kxviewer/fieldsequencedialog.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "tearoffwidget/resources.h"

FieldSequenceDialog::FieldSequenceDialog(const ImportFormat& format, QWidget* parent)
    : QDialog(parent), format_(format), table_(new QTableWidget(0, 2, this))
{
    setWindowTitle(QStringLiteral("Table View: ") + QString::fromLocal8Bit(format.name.c_str()));
    resize(350, 300);
    table_->setHorizontalHeaderLabels({QStringLiteral("Original index"), QStringLiteral("In Table View")});
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    std::vector<int32_t> shown;
    for (size_t f = 0; f < format.fields.size(); ++f)
        if (format.fields[f].viewPosition >= 0)
            shown.push_back(int32_t(f));
    std::stable_sort(shown.begin(), shown.end(), [&](int32_t a, int32_t b) {
        return format.fields[a].viewPosition < format.fields[b].viewPosition;
    });
    for (int32_t f : shown)
        AddRow(f, true);
    for (size_t f = 0; f < format.fields.size(); ++f)
        if (format.fields[f].viewPosition < 0)
            AddRow(int32_t(f), false);
    connect(table_, &QTableWidget::itemChanged, this, &FieldSequenceDialog::onSequenceItemChanged);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    auto* buttons = new QHBoxLayout;
    struct Entry {
        int icon;
        void (FieldSequenceDialog::*slot)();
    };
    for (const Entry& entry : {Entry{137, &FieldSequenceDialog::SequenceMoveFieldUp},
                               Entry{135, &FieldSequenceDialog::SequenceMoveFieldDown},
                               Entry{138, &FieldSequenceDialog::SequenceMoveFieldTop},
                               Entry{136, &FieldSequenceDialog::SequenceMoveFieldBottom}}) {
        auto* button = new QPushButton(QIcon(QString::fromLatin1(Resources::GetActionIconPath(entry.icon))),
                                       QString(), this);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, entry.slot);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    auto* ok = new QPushButton(QStringLiteral("Ok"), this);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &FieldSequenceDialog::SequenceOkEdit);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
}

void FieldSequenceDialog::AddRow(int32_t field, bool shown)
{
    const int row = table_->rowCount();
    table_->insertRow(row);
    auto* number = new QTableWidgetItem(QString::number(field + 1));
    number->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    number->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
    table_->setItem(row, 0, number);
    auto* key = new QTableWidgetItem(QString::fromLocal8Bit(format_.fields[size_t(field)].key.c_str()));
    if (!shown)
        key->setForeground(Qt::lightGray);
    table_->setItem(row, 1, key);
}

bool FieldSequenceDialog::Shown(int row) const { return table_->item(row, 0)->checkState() == Qt::Checked; }

int FieldSequenceDialog::CheckedCount() const
{
    int count = 0;
    for (int r = 0; r < table_->rowCount(); ++r)
        count += Shown(r) ? 1 : 0;
    return count;
}

void FieldSequenceDialog::SwapRows(int a, int b)
{
    const QSignalBlocker block(table_);
    for (int c = 0; c < 2; ++c) {
        QTableWidgetItem* itemA = table_->takeItem(a, c);
        QTableWidgetItem* itemB = table_->takeItem(b, c);
        table_->setItem(a, c, itemB);
        table_->setItem(b, c, itemA);
    }
}

void FieldSequenceDialog::MoveRow(int from, int to)
{
    for (; from < to; ++from)
        SwapRows(from, from + 1);
    for (; from > to; --from)
        SwapRows(from, from - 1);
    table_->setCurrentCell(to, 0);
}

void FieldSequenceDialog::onSequenceItemChanged(QTableWidgetItem* item)
{
    if (item->column() != 0)
        return;
    const bool shown = item->checkState() == Qt::Checked;
    {
        const QSignalBlocker block(table_);
        table_->item(item->row(), 1)->setForeground(shown ? palette().text().color() : QColor(Qt::lightGray));
    }
    // Checked rows stay together at the top.
    MoveRow(item->row(), shown ? CheckedCount() - 1 : table_->rowCount() - 1);
}

void FieldSequenceDialog::SequenceMoveFieldUp()
{
    const int row = table_->currentRow();
    if (row > 0 && Shown(row))
        MoveRow(row, row - 1);
}

void FieldSequenceDialog::SequenceMoveFieldDown()
{
    const int row = table_->currentRow();
    if (row >= 0 && Shown(row) && row + 1 < CheckedCount())
        MoveRow(row, row + 1);
}

void FieldSequenceDialog::SequenceMoveFieldTop()
{
    const int row = table_->currentRow();
    if (row >= 0 && Shown(row))
        MoveRow(row, 0);
}

void FieldSequenceDialog::SequenceMoveFieldBottom()
{
    const int row = table_->currentRow();
    if (row >= 0 && Shown(row))
        MoveRow(row, CheckedCount() - 1);
}

std::vector<int32_t> FieldSequenceDialog::Positions() const
{
    std::vector<int32_t> positions(format_.fields.size(), -1);
    for (int r = 0; r < table_->rowCount(); ++r)
        if (Shown(r))
            positions[size_t(table_->item(r, 0)->text().toInt() - 1)] = r;
    return positions;
}

void FieldSequenceDialog::SequenceOkEdit() { accept(); }
