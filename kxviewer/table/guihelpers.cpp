#include "kxviewer/table/guihelpers.h"

#include <cmath>
#include <cstring>

#include <QColor>
#include <QFontMetricsF>
#include <QRegularExpression>
#include <QStringList>
#include <QTreeWidget>

#include "kxviewer/shellservices.h"

namespace {
constexpr int ElideLength = 40;

// The printable ASCII characters, on which the effect of hinting is measured.
const QString& HintingSample()
{
    static const QString sample = [] {
        QString text;
        for (char c = ' '; c <= '~'; ++c)
            text += QLatin1Char(c);
        return text;
    }();
    return sample;
}

// The font's average character width as its text is drawn. Qt gives the
// average of the font's design, unhinted; full hinting rounds each advance
// to whole pixels, up or down (10 pixels for 9.6), so the average follows
// the ratio of the drawn width of the sample to its designed width.
qreal DrawnAverageCharWidth(const QFont& font)
{
    QFont designed(font);
    designed.setHintingPreference(QFont::PreferNoHinting);
    const QFontMetricsF metrics(font);
    return metrics.averageCharWidth() * metrics.horizontalAdvance(HintingSample()) /
           QFontMetricsF(designed).horizontalAdvance(HintingSample());
}
} // namespace

int CharactersWidth(const QFont& font, int characters)
{
    return int(std::ceil(DrawnAverageCharWidth(font) * characters));
}

QString ElideText(const QString& text)
{
    return text.length() > ElideLength ? text.left(ElideLength) + QStringLiteral("...") : text;
}

QString QuotedCondition(const char* key, const char* op, const QString& value)
{
    const bool single = value.contains(QLatin1Char('\''));
    if (single && value.contains(QLatin1Char('"'))) {
        KxvShell().ShowStatus(
            QStringLiteral("Value %1 holds both quote characters and cannot be searched for: item skipped").arg(value),
            true);
        return QString();
    }
    if (!single)
        return QString::fromLatin1(key) + QLatin1String(op) + QLatin1Char('\'') + value + QLatin1Char('\'');
    // Only a single-quoted text is exact under ==; a double-quoted one is a
    // wildcard pattern there, while != compares it exactly.
    const QString quoted = QLatin1Char('"') + value + QLatin1Char('"');
    if (std::strcmp(op, "==") == 0 && (value.contains(QLatin1Char('*')) || value.contains(QLatin1Char('?'))))
        return QStringLiteral("!(") + QString::fromLatin1(key) + QStringLiteral("!=") + quoted + QLatin1Char(')');
    return QString::fromLatin1(key) + QLatin1String(op) + quoted;
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
