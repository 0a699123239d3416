#include "kxviewer/loadformatsdialog.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"

namespace {

const QColor EQUAL_COLOR(200, 200, 200);
const QColor OVERLAP_COLOR(255, 150, 150);
const QColor NEW_COLOR(150, 230, 150);

QColor StateColor(CandidateState state)
{
    switch (state) {
    case CandidateState::Equal:
        return EQUAL_COLOR;
    case CandidateState::Overlap:
        return OVERLAP_COLOR;
    case CandidateState::New:
        break;
    }
    return NEW_COLOR;
}

// A two-blank box filled with the colour, then its caption.
void AddLegend(QHBoxLayout* row, const QColor& color, const QString& caption)
{
    auto* box = new QLabel(QStringLiteral("  "));
    box->setAutoFillBackground(true);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Window, color);
    box->setPalette(palette);
    row->addWidget(box);
    row->addWidget(new QLabel(caption));
}

QString FromBytes(const std::string& text) { return QString::fromLocal8Bit(text.c_str(), int(text.size())); }

} // namespace

LoadFormatsDialog::LoadFormatsDialog(QWidget* parent, const ImportFormatList& read,
                                     const std::vector<FormatCandidate>& candidates)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Select formats to import"));
    setFixedSize(450, 400);

    all_ = new QCheckBox(QStringLiteral("All/None"));
    all_->setObjectName(QStringLiteral("AllNone"));
    all_->setTristate(true);
    auto* legend = new QHBoxLayout;
    legend->addWidget(all_);
    legend->addStretch();
    AddLegend(legend, EQUAL_COLOR, QStringLiteral("Equal"));
    AddLegend(legend, OVERLAP_COLOR, QStringLiteral("Overlap"));
    AddLegend(legend, NEW_COLOR, QStringLiteral("New"));

    table_ = new QTableWidget(this);
    table_->setObjectName(QStringLiteral("ImportTable"));
    FillTable(read, candidates);

    import_ = new QPushButton(QStringLiteral("Import"));
    import_->setObjectName(QStringLiteral("ImportButton"));
    import_->setFixedWidth(100);
    import_->setEnabled(checkable_ > 0);
    all_->setEnabled(checkable_ > 0);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("CancelButton"));
    cancel->setFixedWidth(100);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(import_);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(legend);
    layout->addWidget(table_);
    layout->addLayout(buttons);

    all_->setCheckState(CheckedCount() == checkable_ && checkable_ > 0 ? Qt::Checked : Qt::Unchecked);
    connect(all_, &QCheckBox::stateChanged, this, &LoadFormatsDialog::OnAllChanged);
    connect(table_, &QTableWidget::itemChanged, this, &LoadFormatsDialog::OnItemChanged);
    connect(import_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void LoadFormatsDialog::FillTable(const ImportFormatList& read, const std::vector<FormatCandidate>& candidates)
{
    table_->setColumnCount(2);
    table_->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Extension")});
    table_->setColumnWidth(0, 230);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(font().pointSize() * 12 / 5);
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table_->setRowCount(int(candidates.size()));
    stored_.assign(candidates.size(), Qt::Unchecked);
    for (size_t row = 0; row < candidates.size(); ++row) {
        const FormatCandidate& candidate = candidates[row];
        const ImportFormat& format = read[size_t(candidate.index)];
        QString name = FromBytes(format.name);
        if (!candidate.subTemplates.empty())
            name += QStringLiteral(" (%1 subs)").arg(candidate.subTemplates.size());
        auto* nameItem = new QTableWidgetItem(name);
        auto* extensionItem = new QTableWidgetItem(FromBytes(format.extension));
        for (QTableWidgetItem* item : {nameItem, extensionItem}) {
            item->setTextAlignment(Qt::AlignCenter);
            item->setFlags(Qt::ItemIsEnabled);
            item->setBackground(StateColor(candidate.state));
            item->setToolTip(FromBytes(candidate.refusal));
        }
        if (candidate.Checkable()) {
            stored_[row] = candidate.checked ? Qt::Checked : Qt::Unchecked;
            nameItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            nameItem->setCheckState(stored_[row]);
            ++checkable_;
        }
        table_->setItem(int(row), 0, nameItem);
        table_->setItem(int(row), 1, extensionItem);
    }
    if (!candidates.empty())
        table_->setCurrentCell(0, 0);
}

std::vector<bool> LoadFormatsDialog::Taken() const
{
    std::vector<bool> taken;
    for (int row = 0; row < table_->rowCount(); ++row) {
        const QTableWidgetItem* item = table_->item(row, 0);
        taken.push_back((item->flags() & Qt::ItemIsUserCheckable) && item->checkState() == Qt::Checked);
    }
    return taken;
}

int LoadFormatsDialog::CheckedCount() const
{
    int checked = 0;
    for (bool taken : Taken())
        checked += taken ? 1 : 0;
    return checked;
}

void LoadFormatsDialog::OnAllChanged(int state)
{
    settingAll_ = true;
    for (int row = 0; row < table_->rowCount(); ++row) {
        QTableWidgetItem* item = table_->item(row, 0);
        if (item->flags() & Qt::ItemIsUserCheckable)
            item->setCheckState(state == Qt::PartiallyChecked ? stored_[size_t(row)] : Qt::CheckState(state));
    }
    settingAll_ = false;
}

void LoadFormatsDialog::OnItemChanged(QTableWidgetItem* item)
{
    if (settingAll_ || item->column() != 0 || !(item->flags() & Qt::ItemIsUserCheckable))
        return;
    stored_[size_t(item->row())] = item->checkState();
    const int checked = CheckedCount();
    const QSignalBlocker blocker(all_);
    all_->setCheckState(checked == checkable_ ? Qt::Checked : checked > 0 ? Qt::PartiallyChecked : Qt::Unchecked);
}

bool LoadFormatsFromFile(QWidget* parent)
{
    const QString path =
        TearOffMain::Prompt().OpenFileName(parent, QStringLiteral("Open File to Import Formats"), QDir::currentPath(),
                                           QStringLiteral("ini files (*.ini);;All files (*)"));
    if (path.isEmpty())
        return false;
    const QFileInfo file(path);
    QDir::setCurrent(file.absolutePath());

    ImportFormatList read;
    {
        ZmLib::IniFile ini;
        if (!ini.Open(QFile::encodeName(path).constData(), nullptr, nullptr) && !ini.Refusal().empty()) {
            const QString why = QString::fromLocal8Bit(ini.Refusal().c_str());
            KxvShell().AddToSystemLog(why);
            KxvShell().Information(why, true);
            return false;
        }
        PrefGlobal::LoadFormats(ini.Ini, read, true, false);
        // The other file is only read: closing must never write it back.
        ini.Ini.SetModified(false);
    }
    const std::vector<FormatCandidate> candidates = BuildFormatCandidates(ImportFormats, PredefinedFormatCount, read);
    if (candidates.empty()) {
        KxvShell().Information(QStringLiteral("No formats to import"), true);
        return false;
    }
    LoadFormatsDialog dialog(parent, read, candidates);
    if (TearOffMain::Prompt().Exec(&dialog) != QDialog::Accepted)
        return false;
    TakeFormatCandidates(ImportFormats, read, candidates, dialog.Taken());
    ImportFormatsModified = true;
    return true;
}
