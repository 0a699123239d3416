#include "kxviewer/table/outlineview.h"

#include <algorithm>

#include <QItemSelectionModel>

#include "kxviewer/table/outlinemodel.h"

OutlineView::OutlineView(QWidget* parent) : QTableView(parent), model_(new OutlineModel(this))
{
    setModel(model_);
}

void OutlineView::SetLines(std::vector<OutlineLine> lines, const QString& header)
{
    model_->SetLines(std::move(lines), header);
}

void OutlineView::SetNumberFont(const QFont& font)
{
    model_->SetNumberFont(font);
}

void OutlineView::SetRowText(std::function<QString(int32_t row)> rowText) { model_->SetRowText(std::move(rowText)); }

QString OutlineView::Text(const OutlineLine& line) const { return model_->Text(line); }

const std::vector<OutlineLine>& OutlineView::Lines() const
{
    return model_->Lines();
}

int OutlineView::LineCount() const
{
    return int(model_->Lines().size());
}

const OutlineLine& OutlineView::Line(int line) const
{
    return model_->Lines().at(size_t(line));
}

int OutlineView::FindLine(int32_t row) const
{
    const std::vector<OutlineLine>& lines = model_->Lines();
    const auto found = std::lower_bound(lines.begin(), lines.end(), row,
                                        [](const OutlineLine& line, int32_t wanted) { return line.row < wanted; });
    return found != lines.end() && found->row == row ? int(found - lines.begin()) : -1;
}

int OutlineView::CurrentLine() const
{
    return currentIndex().isValid() ? currentIndex().row() : -1;
}

void OutlineView::SetCurrentLine(int line)
{
    setCurrentIndex(model_->index(line, 0));
}

std::vector<int> OutlineView::SelectedLines() const
{
    std::vector<int> lines;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        lines.push_back(index.row());
    std::sort(lines.begin(), lines.end());
    return lines;
}
