// The format tree of the import-format editor: filling it, and the buttons
// that create, copy, reorder and delete formats. Every operation edits
// ImportFormats and refills the tree. Display positions stay as the formats
// file needs them: sub-templates 0, the other formats 1..k, each once.
#include <algorithm>

#include <QTreeWidget>

#include "kxviewer/importdialog.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"

namespace {

const char NewSuffix[] = "(new)";

bool Yes(QWidget* parent, const QString& text)
{
    return TearOffMain::Prompt().Question(parent, QStringLiteral("Question"), text,
                                          QMessageBox::Yes | QMessageBox::No,
                                          QMessageBox::Yes) != QMessageBox::No;
}

std::string SubName(const std::string& main, int32_t number) { return main + " #" + std::to_string(number); }

// The name with its leading main name (and only that) followed by "(new)".
std::string RenamedCopy(const std::string& name, const std::string& main)
{
    if (name.compare(0, main.size(), main) == 0)
        return main + NewSuffix + name.substr(main.size());
    return name + NewSuffix;
}

// A sub-template in the tree: one with its number, or one named after its
// main format with no number behind the '#' (as a file may hold it), which
// the tree shows once, under its family, and deletes alone.
bool UnderItsMain(int32_t i)
{
    if (ImportFormatChecks::GetSubFormatNumber(i) >= 1)
        return true;
    const int32_t main = ImportFormatChecks::GetParentFormatIndex(i);
    if (main < 0 || main == i || ImportFormats[size_t(main)].IsSubTemplateName())
        return false;
    ImportFormatChecks::CollectSubFormats(main);
    return std::find(SubFormatList.begin(), SubFormatList.end(), i) != SubFormatList.end();
}

} // namespace

void ImportDialog::FillFormatTree(int32_t index, int column)
{
    tree_->blockSignals(true);
    tree_->clear();
    QTreeWidgetItem* selected = nullptr;
    for (size_t i = 0; i < ImportFormats.size(); ++i) {
        const int32_t at = int32_t(i);
        if (UnderItsMain(at))
            continue;
        const ImportFormat& format = ImportFormats[i];
        auto* item = new QTreeWidgetItem;
        item->setData(0, Qt::DisplayRole, format.visual);
        item->setData(0, Qt::UserRole, at);
        const bool builtIn = at < PredefinedFormatCount;
        item->setText(1, QString::fromLocal8Bit(format.name.c_str()) +
                             (builtIn ? QStringLiteral(" (predefined)") : QString()));
        if (builtIn) {
            QFont italic = item->font(1);
            italic.setItalic(true);
            item->setFont(1, italic);
        }
        item->setText(2, QString::fromLocal8Bit(format.extension.c_str()));
        item->setBackground(1, QColor(250, 250, 250));
        item->setBackground(2, QColor(250, 250, 250));
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        tree_->addTopLevelItem(item);
        if (at == index)
            selected = item;
        CollectSubFormats(at);
        const std::vector<int32_t> subs = SubFormatList;
        for (int32_t sub : subs) {
            auto* child = new QTreeWidgetItem(item);
            child->setData(0, Qt::DisplayRole, 0);
            child->setData(0, Qt::UserRole, sub);
            child->setText(1, QStringLiteral("   ") + QString::fromLocal8Bit(ImportFormats[sub].name.c_str()));
            child->setFlags(child->flags() | Qt::ItemIsEditable);
            if (sub == index)
                selected = child;
        }
    }
    tree_->sortItems(0, Qt::AscendingOrder);
    tree_->expandAll();
    if (selected == nullptr)
        selected = tree_->topLevelItem(0);
    tree_->blockSignals(false);
    if (selected != nullptr) {
        tree_->setCurrentItem(selected, column);
        LoadFormat(selected->data(0, Qt::UserRole).toInt());
    }
    tree_->setFocus();
}

void ImportDialog::ShiftVisualAfter(int32_t index)
{
    const int32_t visual = ImportFormats[index].visual;
    for (ImportFormat& format : ImportFormats)
        if (format.visual > visual)
            ++format.visual;
}

void ImportDialog::CloseVisualGap(int32_t visual)
{
    if (visual <= 0)
        return;
    for (ImportFormat& format : ImportFormats)
        if (format.visual > visual)
            --format.visual;
}

void ImportDialog::TreeAddNewImportData()
{
    StoreEditor();
    ImportFormat format;
    format.mode = IMPORT_MODE_REGEX;
    format.visual = tree_->topLevelItemCount() + 1;
    ImportFormats.push_back(format);
    NewFormatIndex = int32_t(ImportFormats.size()) - 1;
    ImportFormatsModified = true;
    FillFormatTree(NewFormatIndex);
    tree_->editItem(tree_->currentItem(), 1);
}

void ImportDialog::TreeDuplicateImportData()
{
    const int32_t index = CurrentFormat();
    if (index < 0)
        return;
    StoreEditor();
    const int32_t sub = GetSubFormatNumber(index);
    if (sub >= 1) {
        TreeAddSubData(true);
        return;
    }
    ImportFormatsModified = true;
    const std::vector<int32_t> family = FamilyOf(index);
    const std::string main = ImportFormats[index].name;
    ShiftVisualAfter(index);
    const int32_t first = int32_t(ImportFormats.size());
    for (int32_t member : family) {
        ImportFormat copy = ImportFormats[member];
        copy.name = RenamedCopy(copy.name, main);
        ImportFormats.push_back(copy);
    }
    ImportFormats[first].visual = ImportFormats[index].visual + 1;
    FillFormatTree(first);
}

void ImportDialog::TreeAddSubData(bool copy)
{
    const int32_t index = CurrentFormat();
    if (index < PredefinedFormatCount)
        return;
    StoreEditor();
    if (!CanAddSubTemplate(index))
        return;
    const int32_t current = GetSubFormatNumber(index);
    const int32_t main = current >= 1 ? GetParentFormatIndex(index) : index;
    if (main < 0)
        return;
    ImportFormatsModified = true;
    const int32_t number = current >= 1 ? current + 1 : 1;
    const std::string mainName = ImportFormats[main].name;
    CollectSubFormats(main);
    const std::vector<int32_t> subs = SubFormatList;
    for (auto it = subs.rbegin(); it != subs.rend(); ++it) {
        const int32_t n = GetSubFormatNumber(*it);
        if (n >= number)
            ImportFormats[*it].name = SubName(mainName, n + 1);
    }
    ImportFormat added;
    if (copy) {
        added = ImportFormats[index];
    } else {
        added.extension = ImportFormats[main].extension;
        added.enabled = ImportFormats[main].enabled;
        added.mode = IMPORT_MODE_REGEX;
    }
    added.name = SubName(mainName, number);
    // A sub-template takes no place of its own in the display order.
    added.visual = 0;
    ImportFormats.push_back(added);
    FillFormatTree(int32_t(ImportFormats.size()) - 1);
}

void ImportDialog::TreeImportUp() { MoveEntry(-1); }

void ImportDialog::TreeImportDown() { MoveEntry(1); }

void ImportDialog::MoveEntry(int step)
{
    const int32_t index = CurrentFormat();
    if (index < 0)
        return;
    StoreEditor();
    if (GetSubFormatNumber(index) >= 1) {
        // Within a family the content moves: name and place change hands
        // with the neighbour in trial order (main format, #1, #2, ...).
        const std::vector<int32_t> family = FamilyOf(index);
        const auto at = std::find(family.begin(), family.end(), index) - family.begin() + step;
        if (at < 0 || size_t(at) >= family.size())
            return;
        const int32_t other = family[size_t(at)];
        std::swap(ImportFormats[index].name, ImportFormats[other].name);
        std::swap(ImportFormats[index].visual, ImportFormats[other].visual);
        ImportFormatsModified = true;
        FillFormatTree(other);
        return;
    }
    const int32_t visual = ImportFormats[index].visual;
    if (visual + step < 1 || visual + step > tree_->topLevelItemCount())
        return;
    for (ImportFormat& other : ImportFormats)
        if (other.visual == visual + step) {
            other.visual = visual;
            ImportFormats[index].visual = visual + step;
            ImportFormatsModified = true;
            break;
        }
    FillFormatTree(index);
}

void ImportDialog::TreeRemoveImportData()
{
    const int32_t index = CurrentFormat();
    if (index < PredefinedFormatCount)
        return;
    const QString name = QString::fromLocal8Bit(ImportFormats[index].name.c_str());
    const bool underMain = UnderItsMain(index);
    const int32_t sub = GetSubFormatNumber(index);
    quiet_ = true;
    if (sub == 0 && !underMain) {
        if (!Yes(this, QStringLiteral("Template \"%1\" has sub-templates. Delete all of them?").arg(name)))
            return;
        const int32_t visual = ImportFormats[index].visual;
        std::vector<int32_t> family = FamilyOf(index);
        std::sort(family.rbegin(), family.rend());
        for (int32_t member : family)
            ImportFormats.erase(ImportFormats.begin() + member);
        CloseVisualGap(visual);
        ImportFormatsModified = true;
        const auto next = std::find_if(ImportFormats.begin(), ImportFormats.end(),
                                       [&](const ImportFormat& f) { return f.visual == visual; });
        FillFormatTree(next == ImportFormats.end() ? -1 : int32_t(next - ImportFormats.begin()));
        return;
    }
    if (underMain) {
        if (!Yes(this, QStringLiteral("\"%1\" is sub-template. Delete it?").arg(name)))
            return;
        const int32_t main = GetParentFormatIndex(index);
        std::vector<int32_t> family = FamilyOf(index);
        const auto at = std::find(family.begin(), family.end(), index);
        const int32_t neighbour = at + 1 != family.end() ? *(at + 1) : *(at - 1);
        ImportFormats.erase(ImportFormats.begin() + index);
        const int32_t mainAfter = main > index ? main - 1 : main;
        const int32_t selectAfter = neighbour > index ? neighbour - 1 : neighbour;
        if (mainAfter >= 0) {
            CollectSubFormats(mainAfter);
            RenameSubTemplates(mainAfter, SubFormatList);
        }
        ImportFormatsModified = true;
        FillFormatTree(selectAfter);
        return;
    }
    if (!Yes(this, QStringLiteral("Delete template \"%1\"?").arg(name)))
        return;
    const int32_t visual = ImportFormats[index].visual;
    ImportFormats.erase(ImportFormats.begin() + index);
    CloseVisualGap(visual);
    ImportFormatsModified = true;
    int32_t select = -1;
    for (size_t i = 0; i < ImportFormats.size(); ++i)
        if (ImportFormats[i].visual == visual || (select < 0 && ImportFormats[i].visual == visual - 1))
            select = int32_t(i);
    FillFormatTree(select);
}

void ImportDialog::RenameSubTemplates(int32_t main, const std::vector<int32_t>& subs)
{
    const ImportFormat& parent = ImportFormats[main];
    for (size_t n = 0; n < subs.size(); ++n) {
        ImportFormat& format = ImportFormats[subs[n]];
        format.name = SubName(parent.name, int32_t(n) + 1);
        format.extension = parent.extension;
        format.enabled = parent.enabled;
    }
}

void ImportDialog::onTreeItemChanged(QTreeWidgetItem* item, int)
{
    const int32_t index = item->data(0, Qt::UserRole).toInt();
    if (index < 0 || size_t(index) >= ImportFormats.size())
        return;
    MarkTree();
    QString name = item->text(1).trimmed();
    const bool builtIn = index < PredefinedFormatCount;
    if (name.isEmpty() && !builtIn)
        return;
    // Found by the old main name, before it changes.
    const bool family = !builtIn && CollectSubFormats(index) > 0;
    const std::vector<int32_t> subs = SubFormatList;
    ImportFormat& format = ImportFormats[index];
    if (!builtIn)
        format.name = name.toLocal8Bit().toStdString();
    if (item->parent() == nullptr)
        format.extension = item->text(2).toLocal8Bit().toStdString();
    ImportFormatsModified = true;
    if (family && GetSubFormatNumber(index) < 1)
        RenameSubTemplates(index, subs);
    FillFormatTree(index);
}

void ImportDialog::FinishNaming()
{
    NewFormatIndex = -1;
    if (QTreeWidgetItem* item = tree_->currentItem())
        LoadFormat(item->data(0, Qt::UserRole).toInt());
}

void ImportDialog::DropNewFormat()
{
    if (NewFormatIndex < 0 || size_t(NewFormatIndex) + 1 != ImportFormats.size())
        return;
    ImportFormats.pop_back();
    NewFormatIndex = -1;
    FillFormatTree(-1);
    if (tree_->topLevelItemCount() > 0) {
        QTreeWidgetItem* last = tree_->topLevelItem(tree_->topLevelItemCount() - 1);
        tree_->setCurrentItem(last, 1);
    }
}
