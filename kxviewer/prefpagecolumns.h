// The "Table Columns" preferences page: the default column list with its
// number formats, the default aux-tree levels and two export/time flags.
// The column and level dialogs write the defaults as soon as they are
// accepted.
#pragma once

#include <cstdint>

#include <QWidget>

class QCheckBox;
class QLabel;
class QTableWidget;

class PrefPageColumns : public QWidget {
    Q_OBJECT

public:
    explicit PrefPageColumns(QWidget* parent = nullptr);

    // The title an aux-tree label shows for a level field.
    static QString LevelTitle(int32_t field);

    QTableWidget* Columns;
    QLabel* Level1;
    QLabel* Level2;
    QCheckBox* TimeRollback;
    QCheckBox* ExportRowNumbers;

public slots:
    void editColumns();
    void editLevels();

private:
    void FillColumns();
    void ShowLevels();
};
