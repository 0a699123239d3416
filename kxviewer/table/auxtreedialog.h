// The chooser of the two fields the aux tree groups records by: for one
// table (from "Select Levels") or for the default of new tables.
#pragma once

#include <cstdint>

#include <QDialog>

class KxTable;
class QCheckBox;
class QComboBox;
class QPushButton;

class AuxTreeDialog : public QDialog {
    Q_OBJECT

public:
    // levels: the caller's first and second level (two values, -1 for
    // none), written on "Ok" when changed. table: null for the default.
    AuxTreeDialog(int32_t* levels, QWidget* parent, KxTable* table);

    // The two levels the widgets show, as "Ok" reads them.
    void GetLevels(int32_t* first, int32_t* second) const;

public slots:
    void PressedOk();
    void PressedSwap();
    void PressedSetDefault();
    void OnFirstBoxChanged(int state);
    void OnSecondBoxChanged(int state);

private:
    int32_t* levels_;
    int32_t first_;
    int32_t second_;
    QCheckBox* firstBox_;
    QCheckBox* secondBox_;
    QComboBox* firstCombo_;
    QComboBox* secondCombo_;
    QPushButton* swap_;
    // The second box's state while the first is off.
    bool secondWasChecked_ = false;
};
