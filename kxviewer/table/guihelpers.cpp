#include "kxviewer/table/guihelpers.h"

#include <cmath>

#include <QColor>
#include <QFontMetricsF>
#include <QRegularExpression>
#include <QStringList>
#include <QTreeWidget>

namespace {
constexpr int ElideLength = 40;
} // namespace

int CharactersWidth(const QFont& font, int characters)
{
    return int(std::ceil(QFontMetricsF(font).averageCharWidth() * characters));
}

QString ElideText(const QString& text)
{
    return text.length() > ElideLength ? text.left(ElideLength) + QStringLiteral("...") : text;
}

bool IsDarkColor(const QColor& color)
{
    const double luminance = 0.299 * color.red() + 0.587 * color.green() + 0.114 * color.blue();
    return 1.0 - luminance / 255.0 >= 0.5;
}

QTreeWidgetItem* TopLevelItemOf(QTreeWidget* tree, QTreeWidgetItem* item)
{
    while (item && tree->indexOfTopLevelItem(item) < 0)
        item = item->parent();
    return item;
}

uint64_t ParseRowNumber(const QString& text)
{
    QString number = text.trimmed();
    if (number.contains(QLatin1Char(')'))) {
        const QStringList sections = number.split(QRegularExpression(QStringLiteral("[()]")));
        number = sections.size() >= 2 ? sections[sections.size() - 2] : QString();
    }
    bool ok = false;
    const qulonglong value = number.toULongLong(&ok, 10);
    return ok ? value : 0;
}
