#include "kxviewer/prefpageconnect.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "kxviewer/prefdata.h"

PrefPageConnect::PrefPageConnect(QWidget* parent) : QWidget(parent)
{
    auto* page = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Connection settings"));
    auto* grid = new QGridLayout(group);
    const std::string address = PrefGlobal::ConnectionIps.empty() ? std::string() : PrefGlobal::ConnectionIps.front();
    const std::pair<QLineEdit**, std::pair<const char*, const std::string*>> rows[] = {
        {&Address, {"Ip address", &address}},
        {&FirstPort, {"First port", &PrefGlobal::FirstPort}},
        {&SecondPort, {"Second port", &PrefGlobal::SecondPort}}};
    int row = 0;
    for (const auto& [edit, look] : rows) {
        *edit = new QLineEdit(QString::fromLocal8Bit(look.second->c_str()));
        grid->addWidget(new QLabel(QString::fromLatin1(look.first)), row, 0);
        grid->addWidget(*edit, row, 1);
        ++row;
    }
    page->addWidget(group);
    page->addStretch();
}
