#include "kxviewer/table/clearoutlinedialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "kxviewer/table/tabbase.h"

namespace {
constexpr int BUTTON_WIDTH = 100;
const char BorderlessGroup[] = "QGroupBox{border:0}";
} // namespace

ClearOutlineDialog::ClearOutlineDialog(TabBase& tab, QWidget* parent) : QDialog(parent), tab_(&tab)
{
    setWindowTitle(QStringLiteral("Choose clear"));
    auto* layout = new QVBoxLayout(this);
    auto* kinds = new QGroupBox(this);
    kinds->setStyleSheet(QString::fromLatin1(BorderlessGroup));
    auto* kindsLayout = new QVBoxLayout(kinds);
    selection_ = new QCheckBox(QStringLiteral("Selection"), kinds);
    bookmark_ = new QCheckBox(QStringLiteral("Bookmark"), kinds);
    selection_->setChecked(true);
    bookmark_->setChecked(true);
    kindsLayout->addWidget(selection_);
    kindsLayout->addWidget(bookmark_);
    auto* buttons = new QGroupBox(this);
    buttons->setStyleSheet(QString::fromLatin1(BorderlessGroup));
    auto* buttonsLayout = new QHBoxLayout(buttons);
    auto* ok = new QPushButton(QStringLiteral("Ok"), buttons);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), buttons);
    ok->setFixedWidth(BUTTON_WIDTH);
    cancel->setFixedWidth(BUTTON_WIDTH);
    buttonsLayout->addWidget(ok);
    buttonsLayout->addWidget(cancel);
    layout->addWidget(kinds);
    layout->addWidget(buttons);
    connect(ok, &QPushButton::pressed, this, &ClearOutlineDialog::OkPressed);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void ClearOutlineDialog::OkPressed()
{
    if (tab_)
        tab_->delete_outline_multiply(selection_->isChecked(), bookmark_->isChecked());
    accept();
}
