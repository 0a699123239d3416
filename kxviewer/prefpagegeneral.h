// The "General" preferences page: system panels, debug level, icon size,
// ini-file location, grid, the diff program, the save directory and start-up
// choices. The preferences dialog reads the controls back on Apply.
#pragma once

#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;

class PrefPageGeneral : public QWidget {
    Q_OBJECT

public:
    explicit PrefPageGeneral(QWidget* parent = nullptr);

    // The debug level the combo shows; "keep" is the preference's own level
    // when the combo cannot show it and the user left the combo alone.
    int DebugLevel(int keep) const;
    // The checked grid button, 0 to 3.
    int Grid() const;
    // Sets the location buttons from where the ini files are.
    void ShowIniLocation(bool inProgramDir);

    QCheckBox* SystemLog;
    QCheckBox* Debug;
    QComboBox* DebugLevelCombo;
    QCheckBox* CreateLogFile;
    QRadioButton* SmallIcons;
    QRadioButton* LargeIcons;
    QGroupBox* IniLocation;
    QRadioButton* IniHome;
    QRadioButton* IniProgram;
    QButtonGroup* GridButtons;
    QLineEdit* DiffProgram;
    QLineEdit* SaveDir;
    QCheckBox* OpenInSavedWindows;
    QCheckBox* AutoUpgrade;

public slots:
    void SelectDiffExe();
    void SelectDefaultDir();
};
