// "Select formats to import": the formats of another formats file, one row
// per main format, marked Equal (grey, nothing to take), Overlap (red) or New
// (green); the checked rows are taken on "Import".
#pragma once

#include <vector>

#include <QDialog>

#include "kxviewer/formatcandidates.h"

class QCheckBox;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

class LoadFormatsDialog : public QDialog {
    Q_OBJECT
public:
    LoadFormatsDialog(QWidget* parent, const ImportFormatList& read, const std::vector<FormatCandidate>& candidates);

    // Per candidate: its row is checked. Rows without a check box are not.
    std::vector<bool> Taken() const;

private:
    void FillTable(const ImportFormatList& read, const std::vector<FormatCandidate>& candidates);
    void OnAllChanged(int state);
    void OnItemChanged(QTableWidgetItem* item);
    int CheckedCount() const;

    QCheckBox* all_ = nullptr;
    QTableWidget* table_ = nullptr;
    QPushButton* import_ = nullptr;
    // The state each checkable row was last given by a click of its own,
    // which the partially checked "All/None" gives back.
    std::vector<Qt::CheckState> stored_;
    int checkable_ = 0;
    // Set while "All/None" sets the rows, so that their own states stay.
    bool settingAll_ = false;
};

// Asks for a formats file, offers its formats and takes the chosen ones into
// ImportFormats, where nothing changes before "Import". True when "Import"
// was pressed: the list is then marked modified and the caller shows it again.
bool LoadFormatsFromFile(QWidget* parent);
