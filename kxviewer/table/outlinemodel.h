// The Outline's lines as an item model: the lines stay in one vector and
// the cells are read from it on demand, so a rebuild of tens of thousands
// of lines is one swap and one reset instead of an item per cell.
#pragma once

#include <functional>
#include <vector>

#include <QAbstractTableModel>
#include <QFont>

#include "kxviewer/table/outlinebuilder.h"

class OutlineModel : public QAbstractTableModel {
public:
    explicit OutlineModel(QObject* parent = nullptr);
    ~OutlineModel() override;

    // Replaces every line; header is the text cell's header.
    void SetLines(std::vector<OutlineLine> lines, const QString& header);
    const std::vector<OutlineLine>& Lines() const { return lines_; }
    void SetNumberFont(const QFont& font) { numberFont_ = font; }
    // Reads the TEXT of a row for the lines that show it.
    void SetRowText(std::function<QString(int32_t row)> rowText) { rowText_ = std::move(rowText); }
    // The text a line shows.
    QString Text(const OutlineLine& line) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QVariant NumberData(const OutlineLine& line, int role) const;
    QVariant TextData(const OutlineLine& line, int role) const;

    std::vector<OutlineLine> lines_;
    QString header_;
    QFont numberFont_;
    std::function<QString(int32_t row)> rowText_;
};
