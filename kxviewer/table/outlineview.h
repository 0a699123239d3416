// The Outline pane's table: a view over its own OutlineModel, with the line
// lookups the Outline commands need.
#pragma once

#include <functional>
#include <vector>

#include <QTableView>

#include "kxviewer/table/outlinebuilder.h"

class OutlineModel;

class OutlineView : public QTableView {
public:
    explicit OutlineView(QWidget* parent = nullptr);

    // Shows these lines instead of the old ones; the selection goes.
    void SetLines(std::vector<OutlineLine> lines, const QString& header);
    void SetNumberFont(const QFont& font);
    // Reads the TEXT of a row for the lines that show it.
    void SetRowText(std::function<QString(int32_t row)> rowText);
    // The text a line shows.
    QString Text(const OutlineLine& line) const;
    const std::vector<OutlineLine>& Lines() const;
    int LineCount() const;
    const OutlineLine& Line(int line) const;
    // The first line of a record row, lines being in row order; -1 when
    // none.
    int FindLine(int32_t row) const;
    // The current line; -1 when none.
    int CurrentLine() const;
    void SetCurrentLine(int line);
    // The selected lines in ascending order.
    std::vector<int> SelectedLines() const;

private:
    OutlineModel* model_;
};
