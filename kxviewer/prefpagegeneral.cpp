#include "kxviewer/prefpagegeneral.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

#include "kxviewer/prefdata.h"
#include "kxviewer/preftabtable.h"
#include "kxviewer/shellservices.h"
#include "tearoffwidget/resources.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"

namespace {

constexpr int ICON_SAMPLE_ACTION = 8;
constexpr int DEBUG_LEVEL_MIN = -1;
constexpr const char* DebugLevelTexts[] = {"-1 Disabled", " 0 Minimum prints", " 1 Level",
                                           " 2 Level",    " 3 Level",          " 4 Level"};
constexpr int DEBUG_LEVEL_COUNT = int(sizeof(DebugLevelTexts) / sizeof(DebugLevelTexts[0]));
constexpr const char* GridTexts[] = {"No grid", "Both lines", "Horizontal lines", "Vertical lines"};

QCheckBox* CheckBox(const char* text, bool checked)
{
    auto* box = new QCheckBox(QString::fromLatin1(text));
    box->setChecked(checked);
    return box;
}

QRadioButton* IconChoice(const char* text, int size, QHBoxLayout* row)
{
    auto* button = new QRadioButton(QString::fromLatin1(text));
    auto* picture = new QLabel;
    picture->setPixmap(QIcon(QString::fromLatin1(Resources::GetActionIconPath(ICON_SAMPLE_ACTION))).pixmap(size, size));
    row->addWidget(picture);
    row->addWidget(button);
    row->addSpacing(20);
    return button;
}

// A line edit with a folder action at its end, in its own group.
QLineEdit* FolderField(const char* title, const std::string& text, QVBoxLayout* page, QWidget* owner,
                       void (PrefPageGeneral::*slot)(), PrefPageGeneral* receiver)
{
    auto* group = new QGroupBox(QString::fromLatin1(title));
    auto* layout = new QHBoxLayout(group);
    auto* edit = new QLineEdit(QString::fromLocal8Bit(text.c_str()));
    QAction* action = edit->addAction(owner->style()->standardIcon(QStyle::SP_DirIcon), QLineEdit::TrailingPosition);
    QObject::connect(action, &QAction::triggered, receiver, slot);
    layout->addWidget(edit);
    page->addWidget(group);
    return edit;
}

} // namespace

PrefPageGeneral::PrefPageGeneral(QWidget* parent) : QWidget(parent)
{
    auto* page = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    auto* panels = new QGroupBox(QStringLiteral("System Panel"));
    auto* panelsLayout = new QVBoxLayout(panels);
    SystemLog = CheckBox("System Log", PrefGlobal::PanelSystemLog);
    Debug = CheckBox("Debug", PrefGlobal::PanelDebug);
    panelsLayout->addWidget(SystemLog);
    panelsLayout->addWidget(Debug);
    top->addWidget(panels);

    auto* debug = new QGroupBox(QStringLiteral("Debug Level"));
    auto* debugLayout = new QVBoxLayout(debug);
    DebugLevelCombo = new QComboBox;
    for (const char* text : DebugLevelTexts)
        DebugLevelCombo->addItem(QString::fromLatin1(text));
    // A hand-edited level the list has no entry for shows no entry at all,
    // so that an untouched combo does not stand for a level of its own.
    const int index = PrefGlobal::DebugLevel - DEBUG_LEVEL_MIN;
    DebugLevelCombo->setCurrentIndex(index >= 0 && index < DEBUG_LEVEL_COUNT ? index : -1);
    CreateLogFile = CheckBox("Create Log file", PrefGlobal::CreateLogFile);
    debugLayout->addWidget(DebugLevelCombo);
    debugLayout->addWidget(CreateLogFile);
    top->addWidget(debug);
    page->addLayout(top);

    auto* icons = new QGroupBox(QStringLiteral("Icons size"));
    auto* iconsLayout = new QHBoxLayout(icons);
    SmallIcons = IconChoice("Small icons", 16, iconsLayout);
    LargeIcons = IconChoice("Large icons", 32, iconsLayout);
    iconsLayout->addStretch();
    (PrefGlobal::LargeIcons ? LargeIcons : SmallIcons)->setChecked(true);
    page->addWidget(icons);

    IniLocation = new QGroupBox(QStringLiteral("Ini-file location"));
    auto* iniLayout = new QHBoxLayout(IniLocation);
    IniHome = new QRadioButton(QStringLiteral("Users home directory"));
    IniProgram = new QRadioButton(QStringLiteral(" Program directory"));
    iniLayout->addWidget(IniHome);
    iniLayout->addWidget(IniProgram);
    iniLayout->addStretch();
    ShowIniLocation(PrefGlobal::IniInProgramDir);
    IniLocation->setEnabled(!PrefGlobal::IniDir.empty());
    page->addWidget(IniLocation);

    auto* grid = new QGroupBox(QStringLiteral("Grid"));
    auto* gridLayout = new QGridLayout(grid);
    GridButtons = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        auto* button = new QRadioButton(QString::fromLatin1(GridTexts[i]));
        GridButtons->addButton(button, i);
        gridLayout->addWidget(button, i % 2, i / 2);
    }
    if (QAbstractButton* current = GridButtons->button(PrefTabTable::Default().Grid))
        current->setChecked(true);
    page->addWidget(grid);

    DiffProgram =
        FolderField("Diff application", PrefGlobal::CompareProgramm, page, this, &PrefPageGeneral::SelectDiffExe, this);
    SaveDir = FolderField("Default save directory", PrefGlobal::DefaultSaveDir, page, this,
                          &PrefPageGeneral::SelectDefaultDir, this);

    auto* misc = new QGroupBox(QStringLiteral("Misc"));
    auto* miscLayout = new QVBoxLayout(misc);
    OpenInSavedWindows = CheckBox("On startup: auto-open documents from last session", PrefGlobal::OpenInSavedWindows);
    AutoUpgrade = CheckBox("Automatically check updates", PrefGlobal::AutoUpgrade);
    miscLayout->addWidget(OpenInSavedWindows);
    miscLayout->addWidget(AutoUpgrade);
    page->addWidget(misc);
    page->addSpacing(12);
    page->addStretch();
}

int PrefPageGeneral::DebugLevel(int keep) const
{
    const int index = DebugLevelCombo->currentIndex();
    return index < 0 ? keep : index + DEBUG_LEVEL_MIN;
}

int PrefPageGeneral::Grid() const
{
    const int checked = GridButtons->checkedId();
    return checked < 0 ? PrefTabTable::Default().Grid : checked;
}

void PrefPageGeneral::ShowIniLocation(bool inProgramDir)
{
    IniHome->setChecked(!inProgramDir);
    IniProgram->setChecked(inProgramDir);
}

void PrefPageGeneral::SelectDiffExe()
{
    const QString path = TearOffMain::Prompt().OpenFileName(KxvShell().MainWidget(), QStringLiteral("Diff Application"),
                                                            QDir::currentPath(), QString());
    if (!path.isEmpty())
        DiffProgram->setText(path);
}

void PrefPageGeneral::SelectDefaultDir()
{
    const QString path = TearOffMain::Prompt().ExistingDirectory(
        KxvShell().MainWidget(), QStringLiteral("Default save directory"), SaveDir->text());
    if (!path.isEmpty())
        SaveDir->setText(path);
}
