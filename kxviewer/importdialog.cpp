#include "kxviewer/importdialog.h"

#include <algorithm>

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "kxlib/fields.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/docloader.h"
#include "kxviewer/errorlabel.h"
#include "kxviewer/fieldsequencedialog.h"
#include "kxviewer/loadformatsdialog.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/reglineedit.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/treeeditdelegate.h"
#include "tearoffwidget/resources.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"

namespace {

const char* const RegexEntries[] = {
    ".* - any symbol zero or more times",
    ".+ - any symbol one or more times",
    "(.*?) - group of any number of chars, not greedy",
    "^(.{26}) - 26 symbols at a line beginning",
    "(.{26})$ - 26 symbols at a line end",
    "\\s*([\\w\\-]*) - number of spaces following by some identi-fier",
};
const char* const DelimiterEntries[] = {".", ";", "-", "~"};
const char FrameProblem[] = "QGroupBox{border:1px solid red}";
const char FrameNone[] = "QGroupBox{border:0}";

// Record count of a Try Test File run: enough to see whether the format cuts
// the lines right, without reading a large file.
constexpr int32_t TEST_RECORDS = 10;
// Loads with the format the dialog chose (the shell's worker mode 2).
constexpr int32_t IMPORT_MODE_CHOSEN = 2;

// Standard column widths in characters by field index; TIME as normalised.
constexpr int StandardWidths[FIELD_Nums] = {27, 16, 9, 13, 7, 18, 10, 13, 12, 15, 12, 15, 3,
                                            13, 12, 20, 4, 20, 90, 17, 7, 9, 5, 11, 11};

QString HeaderOf(int32_t field)
{
    if (field < 0)
        return QStringLiteral("None");
    if (field >= FIELD_Nums)
        return QStringLiteral("INCORRECT VALUE");
    return QString::fromLatin1(FieldKey(field));
}

QMessageBox::StandardButton Ask(QWidget* parent, const QString& text)
{
    return TearOffMain::Prompt().Question(parent, QStringLiteral("Question"), text,
                                          QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
}

} // namespace

ImportDialog::ImportDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Import dialog"));
    setObjectName(QStringLiteral("ImportDialog"));
    setStyleSheet(QStringLiteral("QToolTip { color: brown; background-color: white; border: 1px solid grey; }"));
    setMinimumWidth(680);
    BuildLayout();
    // Room for the whole name and extension columns from the first show.
    resize(std::max(width(), 900), std::max(height(), 640));
    SetView(this);
    FillFormatTree(-1);
}

ImportDialog::~ImportDialog() { SetView(nullptr); }

QPushButton* ImportDialog::AddButton(const QString& text, const char* slot)
{
    auto* button = new QPushButton(text, this);
    button->setAutoDefault(false);
    connect(button, SIGNAL(clicked()), this, slot);
    return button;
}

void ImportDialog::BuildLayout()
{
    auto* grid = new QGridLayout(this);
    tree_ = new QTreeWidget(this);
    tree_->setColumnCount(3);
    tree_->setHeaderLabels({QString(), QStringLiteral("Format name"), QStringLiteral("Extension")});
    QFont bold = tree_->header()->font();
    bold.setBold(true);
    tree_->header()->setFont(bold);
    tree_->header()->setDefaultAlignment(Qt::AlignCenter);
    tree_->setColumnWidth(0, 40);
    tree_->setColumnWidth(1, 350);
    tree_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    tree_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tree_->setExpandsOnDoubleClick(false);
    delegate_ = new TreeEditDelegate(this);
    tree_->setItemDelegate(delegate_);
    tree_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    tree_->installEventFilter(this);
    grid->addWidget(tree_, 0, 0, 8, 10);
    connect(tree_, &QTreeWidget::itemClicked, this, &ImportDialog::onTreeItemClicked);
    connect(tree_, &QTreeWidget::currentItemChanged, this, &ImportDialog::onTreeCurrentItemChanged);
    connect(tree_, &QTreeWidget::itemChanged, this, &ImportDialog::onTreeItemChanged);

    createButton_ = AddButton(QStringLiteral("Create new"), SLOT(TreeAddNewImportData()));
    duplicateButton_ = AddButton(QStringLiteral("Duplicate"), SLOT(TreeDuplicateImportData()));
    addSubButton_ = AddButton(QStringLiteral("Add Sub-template"), SLOT(TreeAddSubData()));
    upButton_ = AddButton(QStringLiteral("Move Up"), SLOT(TreeImportUp()));
    downButton_ = AddButton(QStringLiteral("Move Down"), SLOT(TreeImportDown()));
    deleteButton_ = AddButton(QStringLiteral("Delete"), SLOT(TreeRemoveImportData()));
    sequenceButton_ = AddButton(QStringLiteral("View Sequence"), SLOT(ChooseFieldSequence()));
    tryButton_ = AddButton(QStringLiteral("Try Test File"), SLOT(TryTestFile()));
    errorBox_ = new QCheckBox(QStringLiteral("Consider As Error"), this);
    connect(errorBox_, &QCheckBox::stateChanged, this, &ImportDialog::JavaExceptionBoxChecked);
    int row = 0;
    for (QWidget* w : std::initializer_list<QWidget*>{createButton_, duplicateButton_, addSubButton_, upButton_,
                                                      downButton_, deleteButton_, sequenceButton_, tryButton_,
                                                      errorBox_})
        grid->addWidget(w, row++, 10);

    grid->addWidget(new QLabel(QStringLiteral("Test File:"), this), 8, 0);
    testFile_ = new QLineEdit(this);
    QAction* pick = testFile_->addAction(style()->standardIcon(QStyle::SP_FileIcon), QLineEdit::TrailingPosition);
    connect(pick, &QAction::triggered, this, &ImportDialog::SelectImportFile);
    grid->addWidget(testFile_, 8, 1, 1, 9);
    grid->addWidget(new QLabel(QStringLiteral("Expression:"), this), 9, 0);
    expression_ = new QLineEdit(this);
    expression_->setObjectName(QStringLiteral("RegularString"));
    expression_->setReadOnly(true);
    grid->addWidget(expression_, 9, 1, 1, 9);

    modeGroup_ = new QGroupBox(QStringLiteral("Expression mode"), this);
    auto* modeLayout = new QVBoxLayout(modeGroup_);
    modeButtons_ = new QButtonGroup(this);
    auto* one = new QRadioButton(QStringLiteral("One delimiter"), modeGroup_);
    auto* regex = new QRadioButton(QStringLiteral("Regular expression"), modeGroup_);
    modeButtons_->addButton(one, IMPORT_MODE_DELIMITED);
    modeButtons_->addButton(regex, IMPORT_MODE_REGEX);
    delimiter_ = new QLineEdit(QStringLiteral(";"), modeGroup_);
    delimiter_->setFixedWidth(22);
    QFont larger = delimiter_->font();
    larger.setPointSize(larger.pointSize() + 1);
    delimiter_->setFont(larger);
    auto* delimiterRow = new QHBoxLayout;
    delimiterRow->addWidget(one);
    delimiterRow->addWidget(delimiter_);
    modeLayout->addLayout(delimiterRow);
    modeLayout->addWidget(regex);
    // At least 130 pixels, and wide enough for its texts in the user's font.
    modeGroup_->setFixedWidth(std::max(130, modeGroup_->sizeHint().width()));
    connect(modeButtons_, &QButtonGroup::idClicked, this, &ImportDialog::onDelimitersClicked);
    connect(delimiter_, &QLineEdit::editingFinished, this, &ImportDialog::DlmtEditingFinished);
    grid->addWidget(modeGroup_, 9, 10, 3, 1);

    fields_ = new QTableWidget(0, 3, this);
    fields_->setHorizontalHeaderLabels({QStringLiteral("Field"), QString(), QStringLiteral("Expression")});
    fields_->setColumnWidth(0, 100);
    fields_->setColumnHidden(1, true);
    fields_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    fields_->setSelectionBehavior(QAbstractItemView::SelectRows);
    fields_->setSelectionMode(QAbstractItemView::SingleSelection);
    fields_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fields_->verticalHeader()->setFixedWidth(20);
    fields_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 7);
    grid->addWidget(fields_, 10, 0, 11, 9);
    fieldButtons_ = BuildFieldButtons();
    grid->addWidget(fieldButtons_, 14, 9, 6, 1);

    QPushButton* load = AddButton(QStringLiteral("Load Formats"), SLOT(LoadFormats()));
    QPushButton* help = AddButton(QStringLiteral("Help"), SLOT(ShowHelp()));
    QPushButton* ok = AddButton(QStringLiteral("Ok"), SLOT(OkEdit()));
    ok->setDefault(true);
    QPushButton* cancel = AddButton(QStringLiteral("Cancel"), SLOT(CancelEdit()));
    row = 16;
    for (QPushButton* b : {load, help, ok, cancel})
        grid->addWidget(b, row++, 10);
}

QWidget* ImportDialog::BuildFieldButtons()
{
    struct Entry {
        int icon;
        const char* slot;
        const char* tip;
        const char* sign;
    };
    const Entry entries[] = {{139, SLOT(AddNewFieldData()), "Add field", "+"},
                             {70, SLOT(DeleteFieldRow()), "Delete field", "-"},
                             {137, SLOT(MoveFieldUp()), "Move up", "^"},
                             {135, SLOT(MoveFieldDown()), "Move down", "v"},
                             {138, SLOT(MoveFieldTop()), "Move to top", "^^"},
                             {136, SLOT(MoveFieldBottom()), "Move to bottom", "vv"}};
    auto* group = new QGroupBox(this);
    group->setFlat(true);
    group->setStyleSheet(QStringLiteral("QGroupBox{border:0}"));
    auto* column = new QVBoxLayout(group);
    column->setContentsMargins(0, 0, 0, 0);
    for (const Entry& entry : entries) {
        QPushButton* button = AddButton(QString(), entry.slot);
        const QIcon icon(QString::fromLatin1(Resources::GetActionIconPath(entry.icon)));
        // An action without a picture of its own: a plain sign instead.
        if (icon.availableSizes().isEmpty())
            button->setText(QString::fromLatin1(entry.sign));
        else
            button->setIcon(icon);
        button->setToolTip(QString::fromLatin1(entry.tip));
        button->setObjectName(QString::fromLatin1(entry.tip));
        column->addWidget(button);
    }
    return group;
}

void ImportDialog::SetTestFile(const QString& path) { testFile_->setText(path); }

int32_t ImportDialog::CurrentFormat() const
{
    const QTreeWidgetItem* item = tree_->currentItem();
    return item != nullptr ? item->data(0, Qt::UserRole).toInt() : -1;
}

QTreeWidgetItem* ImportDialog::ItemOf(int32_t index) const
{
    for (QTreeWidgetItemIterator it(tree_); *it != nullptr; ++it)
        if ((*it)->data(0, Qt::UserRole).toInt() == index)
            return *it;
    return nullptr;
}

// ---- the editor of one format ----------------------------------------------

void ImportDialog::onTreeItemClicked(QTreeWidgetItem* item, int)
{
    if (item != nullptr)
        LoadFormat(item->data(0, Qt::UserRole).toInt());
}

void ImportDialog::onTreeCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous)
{
    quiet_ = false;
    if (previous != nullptr)
        StoreEditor(previous->data(0, Qt::UserRole).toInt());
    onTreeItemClicked(current, 1);
}

void ImportDialog::MarkTree()
{
    const int32_t current = CurrentFormat();
    announce_ = false;
    for (QTreeWidgetItemIterator it(tree_); *it != nullptr; ++it) {
        const int32_t index = (*it)->data(0, Qt::UserRole).toInt();
        announce_ = index == current;
        const bool good = CheckFields(index);
        const QColor background = good ? QColor(250, 250, 250) : QColor(255, 178, 178);
        tree_->blockSignals(true);
        (*it)->setBackground(1, background);
        (*it)->setBackground(2, background);
        tree_->blockSignals(false);
    }
    announce_ = true;
}

void ImportDialog::LoadFormat(int32_t index)
{
    if (index < 0 || size_t(index) >= ImportFormats.size())
        return;
    if (NewFormatIndex < 0)
        MarkTree();
    const ImportFormat& format = ImportFormats[index];
    fields_->setRowCount(0);
    fields_->setHorizontalHeaderLabels({QStringLiteral("Field"), QString(), QStringLiteral("Expression")});
    inOrder_ = true;
    for (size_t r = 0; r < format.fields.size(); ++r) {
        AddFieldRow(int(r), format.fields[r], format.mode == IMPORT_MODE_REGEX);
        inOrder_ = inOrder_ && format.fields[r].viewPosition == int32_t(r);
    }
    const QSignalBlocker blockBox(errorBox_);
    errorBox_->setChecked(format.JavaException);
    if (QAbstractButton* button = modeButtons_->button(format.mode))
        button->setChecked(true);
    delimiter_->setText(QString::fromLocal8Bit(format.delimiter.c_str()));
    RefillCombos();
    EnableEditor();
    FieldExpChanged();
}

void ImportDialog::AddFieldRow(int row, const ImportFormatField& field, bool checkBrackets)
{
    if (row >= IMPORT_FIELDS_MAX) {
        KxvShell().Information(QStringLiteral("Max number of fields archived!"), true);
        return;
    }
    fields_->insertRow(row);
    auto* combo = new QComboBox(fields_);
    combo->setStyleSheet(QStringLiteral("QComboBox{background-color:white}"));
    combo->addItem(QString::fromLatin1(IMPORT_KEY_NOT_SET));
    for (int32_t f = 0; f < FIELD_Nums; ++f)
        combo->addItem(QString::fromLatin1(FieldKey(f)));
    const int at = combo->findText(QString::fromLocal8Bit(field.key.c_str()));
    combo->setCurrentIndex(at < 0 ? 0 : at);
    connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &ImportDialog::FieldListIndexChanged);
    fields_->setCellWidget(row, 0, combo);
    fields_->setItem(row, 1, new QTableWidgetItem(QString::number(field.viewPosition)));

    auto* group = new QGroupBox(fields_);
    auto* line = new QHBoxLayout(group);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(0);
    auto* menuButton = new QPushButton(QStringLiteral("..."), group);
    menuButton->setFixedWidth(20);
    menuButton->setAutoDefault(false);
    menuButton->hide();
    connect(menuButton, &QPushButton::clicked, this, &ImportDialog::RegMenuButtonPressed);
    auto* edit = new RegLineEdit(menuButton, fields_, group);
    edit->setFrame(false);
    edit->setText(QString::fromLocal8Bit(field.expression.c_str()));
    edit->installEventFilter(this);
    connect(edit, &QLineEdit::textEdited, this, &ImportDialog::SomeTextEdited);
    line->addWidget(edit);
    line->addWidget(menuButton);
    group->setFixedHeight(int(fields_->verticalHeader()->defaultSectionSize() * 1.2));
    bool problem = false;
    if (checkBrackets) {
        const std::string pending = ImportErrorText;
        CheckBrackets(field.expression);
        problem = !ImportErrorText.empty();
        ImportErrorText = pending;
    }
    group->setStyleSheet(QString::fromLatin1(problem ? FrameProblem : FrameNone));
    fields_->setCellWidget(row, 2, group);
    RenumberRows();
}

void ImportDialog::RenumberRows()
{
    for (int r = 0; r < fields_->rowCount(); ++r) {
        fields_->cellWidget(r, 0)->setProperty("Index", r);
        for (QWidget* w : fields_->cellWidget(r, 2)->findChildren<QWidget*>())
            w->setProperty("Index", r);
        fields_->cellWidget(r, 2)->setProperty("Index", r);
    }
}

void ImportDialog::RefillCombos()
{
    for (int r = 0; r < fields_->rowCount(); ++r) {
        auto* combo = static_cast<QComboBox*>(fields_->cellWidget(r, 0));
        combo->setEnabled(CurrentFormat() >= PredefinedFormatCount);
    }
}

void ImportDialog::EnableEditor()
{
    const int32_t index = CurrentFormat();
    if (index < 0)
        return;
    const ImportFormat& format = ImportFormats[index];
    const bool editable = index >= PredefinedFormatCount;
    const int32_t sub = GetSubFormatNumber(index);
    const size_t family = FamilyOf(index).size();
    fieldButtons_->setEnabled(editable);
    for (int r = 0; r < fields_->rowCount(); ++r) {
        fields_->cellWidget(r, 0)->setEnabled(editable);
        fields_->cellWidget(r, 2)->setEnabled(editable && format.mode == IMPORT_MODE_REGEX);
    }
    deleteButton_->setEnabled(editable);
    errorBox_->setEnabled(editable);
    addSubButton_->setEnabled(editable && format.mode == IMPORT_MODE_REGEX);
    sequenceButton_->setEnabled(editable && sub < 1);
    modeGroup_->setEnabled(editable && family == 1);
    delimiter_->setEnabled(format.mode == IMPORT_MODE_DELIMITED);
    const bool lastSub = sub >= 1 && FamilyOf(index).back() == index;
    upButton_->setEnabled(format.visual != 1);
    downButton_->setEnabled(!(format.visual >= tree_->topLevelItemCount() || lastSub));
    QTableWidgetItem* header = fields_->horizontalHeaderItem(2);
    if (header != nullptr)
        header->setForeground(format.mode == IMPORT_MODE_DELIMITED ? QColor(Qt::gray) : QColor(Qt::black));
}

void ImportDialog::StoreEditor() { StoreEditor(CurrentFormat()); }

void ImportDialog::StoreEditor(int32_t index)
{
    if (index < PredefinedFormatCount || size_t(index) >= ImportFormats.size())
        return;
    ImportFormat& format = ImportFormats[index];
    format.expression = expression_->text().toLocal8Bit().toStdString();
    format.JavaException = errorBox_->isChecked();
    format.mode = modeButtons_->checkedId() < 0 ? format.mode : modeButtons_->checkedId();
    format.delimiter = delimiter_->text().toLocal8Bit().toStdString();
    format.fields.clear();
    for (int r = 0; r < fields_->rowCount(); ++r) {
        ImportFormatField field;
        field.key = static_cast<QComboBox*>(fields_->cellWidget(r, 0))->currentText().toStdString();
        field.viewPosition = fields_->item(r, 1)->text().toInt();
        field.expression =
            fields_->cellWidget(r, 2)->findChild<RegLineEdit*>()->text().toLocal8Bit().toStdString();
        format.fields.push_back(field);
    }
}

void ImportDialog::FieldExpChanged()
{
    const int32_t index = CurrentFormat();
    if (index < 0)
        return;
    ImportFormat composed = ImportFormats[index];
    composed.mode = modeButtons_->checkedId() < 0 ? composed.mode : modeButtons_->checkedId();
    composed.delimiter = delimiter_->text().toLocal8Bit().toStdString();
    composed.fields.clear();
    for (int r = 0; r < fields_->rowCount(); ++r)
        composed.fields.push_back(
            {static_cast<QComboBox*>(fields_->cellWidget(r, 0))->currentText().toStdString(), 0,
             fields_->cellWidget(r, 2)->findChild<RegLineEdit*>()->text().toLocal8Bit().toStdString()});
    composed.ComposeExpression();
    expression_->setText(QString::fromLocal8Bit(composed.expression.c_str()));
    expression_->setCursorPosition(0);
}

void ImportDialog::SomeTextEdited(const QString&)
{
    if (auto* edit = qobject_cast<QWidget*>(sender()))
        fields_->cellWidget(edit->property("Index").toInt(), 2)->setStyleSheet(QString::fromLatin1(FrameNone));
    FieldExpChanged();
    ImportFormatsModified = true;
}

void ImportDialog::FieldListIndexChanged(int)
{
    if (auto* combo = qobject_cast<QWidget*>(sender()))
        fields_->setCurrentCell(combo->property("Index").toInt(), 0);
    FieldExpChanged();
    ImportFormatsModified = true;
}

void ImportDialog::JavaExceptionBoxChecked(int) { ImportFormatsModified = true; }

void ImportDialog::AddNewFieldData()
{
    const int32_t index = CurrentFormat();
    if (index < PredefinedFormatCount)
        return;
    StoreEditor();
    if (!CanAddField(index))
        return;
    ImportFormatsModified = true;
    const int row = fields_->rowCount();
    const QString delimiter = delimiter_->text();
    AddFieldRow(row, {std::string(), int32_t(row),
                      modeButtons_->checkedId() == IMPORT_MODE_DELIMITED ? delimiter.toStdString() : std::string()},
                false);
    RefillCombos();
    EnableEditor();
    fields_->setCurrentCell(row, 0);
    fields_->scrollToItem(fields_->item(row, 1));
    FieldExpChanged();
}

void ImportDialog::DeleteFieldRow()
{
    const int row = fields_->currentRow();
    if (row < 0 || CurrentFormat() < PredefinedFormatCount)
        return;
    quiet_ = true;
    const int removed = fields_->item(row, 1)->text().toInt();
    fields_->removeRow(row);
    // A hidden field (negative position) took no column: the others keep
    // theirs.
    if (removed >= 0)
        for (int r = 0; r < fields_->rowCount(); ++r) {
            const int position = fields_->item(r, 1)->text().toInt();
            if (position > removed)
                fields_->item(r, 1)->setText(QString::number(position - 1));
        }
    RenumberRows();
    ImportFormatsModified = true;
    const int next = std::min(row, fields_->rowCount() - 1);
    if (next >= 0) {
        fields_->setCurrentCell(next, 1);
        fields_->cellWidget(next, 2)->findChild<RegLineEdit*>()->setFocus();
    }
    FieldExpChanged();
}

void ImportDialog::SwapRows(int a, int b)
{
    auto* comboA = static_cast<QComboBox*>(fields_->cellWidget(a, 0));
    auto* comboB = static_cast<QComboBox*>(fields_->cellWidget(b, 0));
    const QSignalBlocker blockA(comboA);
    const QSignalBlocker blockB(comboB);
    const int keyA = comboA->currentIndex();
    comboA->setCurrentIndex(comboB->currentIndex());
    comboB->setCurrentIndex(keyA);
    RegLineEdit* editA = fields_->cellWidget(a, 2)->findChild<RegLineEdit*>();
    RegLineEdit* editB = fields_->cellWidget(b, 2)->findChild<RegLineEdit*>();
    const QString textA = editA->text();
    editA->setText(editB->text());
    editB->setText(textA);
    const QString frameA = fields_->cellWidget(a, 2)->styleSheet();
    fields_->cellWidget(a, 2)->setStyleSheet(fields_->cellWidget(b, 2)->styleSheet());
    fields_->cellWidget(b, 2)->setStyleSheet(frameA);
    const QString positionA = fields_->item(a, 1)->text();
    fields_->item(a, 1)->setText(fields_->item(b, 1)->text());
    fields_->item(b, 1)->setText(positionA);
    if (inOrder_)
        for (int r = 0; r < fields_->rowCount(); ++r)
            fields_->item(r, 1)->setText(QString::number(r));
    ImportFormatsModified = true;
}

void ImportDialog::MoveFieldUp()
{
    const int row = fields_->currentRow();
    if (row <= 0)
        return;
    quiet_ = true;
    SwapRows(row, row - 1);
    fields_->setCurrentCell(row - 1, 0);
    FieldExpChanged();
}

void ImportDialog::MoveFieldDown()
{
    const int row = fields_->currentRow();
    if (row < 0 || row + 1 >= fields_->rowCount())
        return;
    quiet_ = true;
    SwapRows(row, row + 1);
    fields_->setCurrentCell(row + 1, 0);
    FieldExpChanged();
}

void ImportDialog::MoveFieldTop()
{
    while (fields_->currentRow() > 0)
        MoveFieldUp();
}

void ImportDialog::MoveFieldBottom()
{
    while (fields_->currentRow() >= 0 && fields_->currentRow() + 1 < fields_->rowCount())
        MoveFieldDown();
}

void ImportDialog::onDelimitersClicked(int id)
{
    const int32_t index = CurrentFormat();
    if (index < PredefinedFormatCount)
        return;
    StoreEditor();
    ImportFormats[index].mode = id;
    ImportFormatsModified = true;
    delimiter_->setEnabled(id == IMPORT_MODE_DELIMITED);
    FieldExpChanged();
    EnableEditor();
}

void ImportDialog::DlmtEditingFinished()
{
    QString text = delimiter_->text().trimmed().left(1);
    if (text.isEmpty())
        text = QStringLiteral(" ");
    delimiter_->setText(text);
    const int32_t index = CurrentFormat();
    if (index >= PredefinedFormatCount)
        ImportFormats[index].delimiter = text.toLocal8Bit().toStdString();
    for (int r = 0; r < fields_->rowCount(); ++r)
        fields_->cellWidget(r, 2)->findChild<RegLineEdit*>()->setText(text);
    FieldExpChanged();
    ImportFormatsModified = true;
}

void ImportDialog::ShowHelp() { KxvShell().ShowHelpPage(QStringLiteral("importformats.html")); }

void ImportDialog::RegMenuButtonPressed()
{
    auto* button = qobject_cast<QPushButton*>(sender());
    if (button == nullptr)
        return;
    QMenu menu(button);
    menu.setFont(QFont(QFontDatabase::systemFont(QFontDatabase::FixedFont).family(), 9));
    const bool regex = modeButtons_->checkedId() == IMPORT_MODE_REGEX;
    if (regex)
        for (const char* entry : RegexEntries)
            menu.addAction(QString::fromLatin1(entry));
    else
        for (const char* entry : DelimiterEntries)
            menu.addAction(QString::fromLatin1(entry));
    QAction* chosen = menu.exec(button->mapToGlobal(button->rect().bottomRight()));
    if (chosen == nullptr)
        return;
    RegLineEdit* edit = button->parentWidget()->findChild<RegLineEdit*>();
    if (regex)
        edit->insert(chosen->text().left(chosen->text().lastIndexOf(QStringLiteral(" - "))));
    else
        edit->setText(chosen->text());
    edit->setFocus();
    SomeTextEdited(edit->text());
}

bool ImportDialog::eventFilter(QObject* object, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (qobject_cast<RegLineEdit*>(object) != nullptr && (key == Qt::Key_Return || key == Qt::Key_Enter))
            return true;
        if (object == tree_ && key == Qt::Key_Delete) {
            TreeRemoveImportData();
            return true;
        }
    }
    return QDialog::eventFilter(object, event);
}

// ---- checks and messages ---------------------------------------------------

void ImportDialog::ShowProblem(int32_t, ImportProblemPlace place)
{
    QWidget* at = place == IMPORT_PROBLEM_TREE ? static_cast<QWidget*>(tree_) : static_cast<QWidget*>(fields_);
    messagePoint_ = at->mapToGlobal(QPoint(0, 0));
    if (!announce_)
        return;
    KxvShell().ShowStatus(QString::fromLocal8Bit(ImportErrorText.c_str()));
    CallToolTipByTimer();
}

void ImportDialog::CallToolTipByTimer()
{
    if (quiet_ || !isActiveWindow() || ImportErrorText.empty())
        return;
    auto* label = new ErrorLabel(3000, this);
    label->ShowMessage(QString::fromLocal8Bit(ImportErrorText.c_str()), messagePoint_);
}

bool ImportDialog::ValidateAll()
{
    StoreEditor();
    announce_ = true;
    quiet_ = false;
    for (int t = 0; t < tree_->topLevelItemCount(); ++t) {
        QTreeWidgetItem* top = tree_->topLevelItem(t);
        std::vector<QTreeWidgetItem*> items{top};
        for (int c = 0; c < top->childCount(); ++c)
            items.push_back(top->child(c));
        for (QTreeWidgetItem* item : items) {
            const int32_t index = item->data(0, Qt::UserRole).toInt();
            announce_ = false;
            if (CheckFields(index))
                continue;
            announce_ = true;
            const std::string problem = ImportErrorText;
            FillFormatTree(index);
            ImportErrorText = problem;
            CheckFields(index);
            tree_->setFocus();
            return false;
        }
    }
    announce_ = true;
    return true;
}

void ImportDialog::CloseEditors()
{
    // An editor holding a refused text keeps mouse and keyboard: let go.
    for (QLineEdit* editor : tree_->viewport()->findChildren<QLineEdit*>()) {
        editor->releaseMouse();
        editor->releaseKeyboard();
        emit delegate_->closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
    tree_->setFocus();
}

// ---- leaving ---------------------------------------------------------------

bool ImportDialog::SaveAndHide()
{
    ChosenFormat = CurrentFormat();
    CloseEditors();
    if (!PrefGlobal::SaveFormats())
        return false;
    hide();
    return true;
}

void ImportDialog::ReloadAndHide()
{
    PrefGlobal::LoadFormats(PrefGlobal::IniFormats.Ini, ImportFormats, false, false);
    FillFormatTree(-1);
    hide();
}

void ImportDialog::OkEdit()
{
    if (ValidateAll())
        SaveAndHide();
}

void ImportDialog::CancelEdit()
{
    CloseEditors();
    ChosenFormat = CHOSEN_NONE;
    quiet_ = true;
    if (!ImportFormatsModified) {
        hide();
        return;
    }
    if (Ask(this, QStringLiteral("Discard all changes?")) == QMessageBox::Yes)
        ReloadAndHide();
}

void ImportDialog::closeEvent(QCloseEvent* event)
{
    if (ImportFormatsModified && Ask(this, QStringLiteral("Save changes?")) == QMessageBox::Yes) {
        if (!ValidateAll() || !SaveAndHide())
            event->ignore();
        return;
    }
    ImportFormatsModified = false;
    CloseEditors();
    ChosenFormat = CHOSEN_NONE;
    quiet_ = true;
    ReloadAndHide();
}

void ImportDialog::hideEvent(QHideEvent* event)
{
    CloseEditors();
    QDialog::hideEvent(event);
    // A modal run ends only when the dialog's result is set.
    if (ChosenFormat == CHOSEN_NONE)
        setResult(QDialog::Rejected);
    else
        setResult(QDialog::Accepted);
}

void ImportDialog::reject() { close(); }

// ---- test file -------------------------------------------------------------

void ImportDialog::SelectImportFile()
{
    const QString path = KxvShell().OpenFileName();
    if (!path.isEmpty())
        testFile_->setText(path);
}

void ImportDialog::LoadFormats()
{
    // The formats taken from the other file join the list the tree shows.
    if (ValidateAll() && LoadFormatsFromFile(this))
        FillFormatTree(CurrentFormat());
}

void ImportDialog::TryTestFile()
{
    if (!ValidateAll())
        return;
    const QString path = testFile_->text();
    if (path.isEmpty()) {
        KxvShell().Information(QStringLiteral("Test file is not set"), true);
        return;
    }
    ChosenFormat = CurrentFormat();
    std::unique_ptr<DocLoader> loader = KxvShell().ImportFile(path, TEST_RECORDS, IMPORT_MODE_CHOSEN);
    if (!loader)
        return;
    KxTable* table = loader->Table();
    const PrefTabTable prefs = loader->TabPrefs();
    const QString title = loader->File().filePath();
    // The loader going takes "Loading file" off the status line: a try
    // opens no document.
    loader.reset();
    ShowTestResult(table, prefs, title);
}

void ImportDialog::ShowTestResult(KxTable* table, const PrefTabTable& prefs, const QString& title)
{
    QDialog result(this);
    result.setWindowTitle(title);
    result.setFixedHeight(400);
    result.setMinimumWidth(800);
    auto* layout = new QVBoxLayout(&result);
    auto* view = new QTableWidget(table->RowCount(), prefs.columnCount, &result);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->verticalHeader()->setDefaultSectionSize(view->font().pointSize() * 12 / 5);
    const int average = view->fontMetrics().averageCharWidth();
    for (int c = 0; c < prefs.columnCount; ++c) {
        const int32_t field = prefs.columns[c];
        view->setHorizontalHeaderItem(c, new QTableWidgetItem(HeaderOf(field)));
        const int width = field >= 0 && field < FIELD_Nums ? StandardWidths[field] : 10;
        view->setColumnWidth(c, std::max(40, average * width));
        for (int row = 0; row < table->RowCount(); ++row) {
            const char* text = field >= 0 && field < FIELD_Nums ? table->GetRecord(row)->Text(field) : nullptr;
            view->setItem(row, c, new QTableWidgetItem(QString::fromLocal8Bit(text != nullptr ? text : "")));
        }
    }
    view->resizeColumnsToContents();
    view->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(view);
    TearOffMain::Prompt().Exec(&result);
    // The records are read only while the result is on show.
    table->Release();
}

void ImportDialog::ChooseFieldSequence()
{
    if (!ValidateAll())
        return;
    const int32_t index = CurrentFormat();
    if (index < PredefinedFormatCount)
        return;
    ImportFormat& format = ImportFormats[index];
    FieldSequenceDialog sequence(format, this);
    sequence.move(sequenceButton_->mapToGlobal(QPoint(0, -sequenceButton_->height() / 2)));
    if (TearOffMain::Prompt().Exec(&sequence) != QDialog::Accepted)
        return;
    const std::vector<int32_t> positions = sequence.Positions();
    inOrder_ = true;
    for (size_t f = 0; f < positions.size() && int(f) < fields_->rowCount(); ++f) {
        format.fields[f].viewPosition = positions[f];
        fields_->item(int(f), 1)->setText(QString::number(positions[f]));
        inOrder_ = inOrder_ && positions[f] == int32_t(f);
    }
    ImportFormatsModified = true;
}
