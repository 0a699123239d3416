// The "Colorizing" preferences page: the colour scheme as a table of order
// numbers and colours. Edits stay in the table until Apply reads Colors().
#pragma once

#include <cstdint>
#include <vector>

#include <QColor>
#include <QWidget>

class QTableWidget;
class QTableWidgetItem;

class PrefPageColors : public QWidget {
    Q_OBJECT

public:
    static constexpr int COLUMN_NUM = 0;
    static constexpr int COLUMN_COLOR = 1;

    explicit PrefPageColors(QWidget* parent = nullptr);

    // The scheme in order-number order, whatever column the table is
    // sorted by.
    std::vector<QRgb> Colors() const;

    QTableWidget* Table;

public slots:
    void moveDown();
    void moveTop();
    void moveBottom();
    void moveUp();
    void Delete();
    void Insert();
    void onItemClicked(QTableWidgetItem* item);

private:
    // Moves need the rows in order-number order; false after telling the
    // user.
    bool SortedByNumber() const;
    // Moves the current colour to row to, shifting the colours between.
    void MoveCurrent(int to);
    int NumberAt(int row) const;
    QColor ColorAt(int row) const;
    void SetColor(int row, const QColor& color);
    void AddRow(int row, int number, const QColor& color);
};
