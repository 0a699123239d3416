#include "kxviewer/prefpagefonts.h"

#include <QFontDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVariant>

#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"

namespace {

constexpr const char* IndexProperty = "Index";
constexpr const char* Sample = "ABCDEFGHIKLMNOPQRSTUVWXYZ1234567890absdefghiklmnopqrstuvwxyz";

QString Describe(const QFont& font)
{
    const QFontInfo info(font);
    return info.family() + QLatin1Char(',') + QString::number(info.pointSize());
}

} // namespace

PrefPageFonts::PrefPageFonts(QWidget* parent) : QWidget(parent)
{
    auto* page = new QVBoxLayout(this);
    for (int i = 0; i < FONT_Nums; ++i) {
        auto* group = new QGroupBox(QString::fromLatin1(PrefGlobal::FontKeys[i]));
        auto* layout = new QVBoxLayout(group);
        auto* name = new QLabel;
        auto* change = new QPushButton(QStringLiteral("Change font"));
        change->setProperty(IndexProperty, i);
        change->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        connect(change, &QPushButton::clicked, this, &PrefPageFonts::ChooseFont);
        auto* sample = new QLabel(QString::fromLatin1(Sample));
        layout->addWidget(name);
        layout->addWidget(change);
        layout->addWidget(sample);
        Labels << name << sample;
        ShowFont(i);
        page->addWidget(group);
    }
    page->addStretch();
}

void PrefPageFonts::ShowFont(int index)
{
    const QFont& font = PrefGlobal::Fonts[index];
    Labels[2 * index]->setFont(font);
    Labels[2 * index]->setText(Describe(font));
    Labels[2 * index + 1]->setFont(font);
}

void PrefPageFonts::ChooseFont()
{
    const int index = sender()->property(IndexProperty).toInt();
    // The table and the System Log line up columns of text.
    const bool fixed = index == FONT_TABLE_VIEW || index == FONT_SYSTEM_LOG;
    bool ok = false;
    const QFont font = TearOffMain::Prompt().Font(&ok, PrefGlobal::Fonts[index], KxvShell().MainWidget(),
                                                  QString::fromLatin1(PrefGlobal::FontKeys[index]),
                                                  fixed ? QFontDialog::MonospacedFonts : QFontDialog::ScalableFonts);
    if (!ok)
        return;
    PrefGlobal::Fonts[index] = font;
    ShowFont(index);
}
