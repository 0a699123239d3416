#include "kxviewer/table/guiicons.h"

#include <algorithm>
#include <array>

#include <QColor>
#include <QImage>
#include <QPainter>

#include "kxviewer/table/guihelpers.h"
#include "tearoffwidget/resources.h"

namespace {
// In the order of SharedPixmapId.
constexpr const char* SharedStems[] = {
    "navigate_check", "navigate_cross", "navigate_close", "type4_verify",   "type3_assert",  "type2_error",
    "type1_warning",  "type0_info",     "type5_funcs",    "type6_funce",    "arrow-turn-in", "arrow-turn-out",
    "arrow-in",       "arrow-out",      "line_selector",  "line0_exclamation",
};
static_assert(std::size(SharedStems) == SHARED_PIXMAP_COUNT, "one stem per shared pixmap");

constexpr int BookmarkActionId = 80;

std::array<QPixmap*, SHARED_PIXMAP_COUNT>& Shared()
{
    static std::array<QPixmap*, SHARED_PIXMAP_COUNT> pixmaps{};
    return pixmaps;
}

QString ResourcePath(const char* name, const char* extension)
{
    return QString::fromLatin1(Resources::GetIconPath(name, extension));
}

// Paints every pixel of exactly the marker colour in the new colour.
void Repaint(QImage& image, QRgb marker, const QColor& color)
{
    const QRgb target = color.rgba();
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (line[x] == marker)
                line[x] = target;
    }
}

QPixmap RecolouredBookmark(const QPixmap& source, const QColor& color)
{
    QImage image = source.toImage().convertToFormat(QImage::Format_ARGB32);
    // Markers are found on the original picture before any is repainted.
    QImage original = image;
    const QRgb markers[] = {BookmarkLightRed, BookmarkRed, BookmarkDarkRed};
    const QColor colours[] = {color.lighter(110), color, color.darker(110)};
    for (int y = 0; y < image.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(original.constScanLine(y));
        auto* to = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            for (int i = 0; i < 3; ++i)
                if (from[x] == markers[i])
                    to[x] = colours[i].rgba();
    }
    return QPixmap::fromImage(image);
}

QIcon TwoStateIcon(const QPixmap& pixmap)
{
    QIcon icon;
    icon.addPixmap(pixmap, QIcon::Selected, QIcon::On);
    icon.addPixmap(pixmap, QIcon::Normal, QIcon::Off);
    return icon;
}
} // namespace

void LoadSharedPixmaps()
{
    FreeSharedPixmaps();
    for (int i = 0; i < SHARED_PIXMAP_COUNT; ++i)
        Shared()[i] = LoadPixmapResource(SharedStems[i], Resources::IconExt);
    // Drawn again onto a transparent pixmap of its size.
    QPixmap*& exclamation = Shared()[PIX_LINE0_EXCLAMATION];
    auto* clean = new QPixmap(exclamation->size());
    clean->fill(Qt::transparent);
    {
        QPainter painter(clean);
        painter.drawPixmap(0, 0, *exclamation);
    }
    delete exclamation;
    exclamation = clean;
}

const QPixmap& SharedPixmap(SharedPixmapId id)
{
    static const QPixmap none;
    const QPixmap* pixmap = id >= 0 && id < SHARED_PIXMAP_COUNT ? Shared()[id] : nullptr;
    return pixmap ? *pixmap : none;
}

void FreeSharedPixmaps()
{
    for (QPixmap*& pixmap : Shared()) {
        delete pixmap;
        pixmap = nullptr;
    }
}

QIcon LoadIconResource(const char* name, const char* extension)
{
    return QIcon(ResourcePath(name, extension));
}

QPixmap* LoadPixmapResource(const char* name, const char* extension)
{
    return new QPixmap(ResourcePath(name, extension));
}

QIcon MakeColorSwatchIcon(const QColor& color)
{
    QPixmap pixmap(20, 10);
    pixmap.fill(color);
    {
        QPainter painter(&pixmap);
        painter.drawRect(0, 0, 19, 9);
    }
    return QIcon(pixmap);
}

QIcon MakeColorBarIcon(const QColor& color, const QString& iconPath)
{
    const QIcon icon(iconPath);
    const QSize size = icon.actualSize(QSize(32, 32), QIcon::Normal, QIcon::Off);
    QPixmap pixmap = icon.pixmap(size, QIcon::Normal, QIcon::Off)
                         .scaled(size.width(), size.height() + 4, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    {
        QPainter painter(&pixmap);
        painter.fillRect(0, size.height(), size.width(), pixmap.height() - size.height(), color);
    }
    return TwoStateIcon(pixmap);
}

QIcon MakeColoredIcon(const QColor& color, QPixmap& pixmap16)
{
    const QIcon bookmark(QString::fromLatin1(Resources::GetActionIconPath(BookmarkActionId)));
    pixmap16 = RecolouredBookmark(bookmark.pixmap(QSize(16, 16)), color);
    return TwoStateIcon(RecolouredBookmark(bookmark.pixmap(QSize(32, 32)), color));
}

QList<QIcon> LoadCheckIcons(const QColor& color)
{
    QList<QIcon> icons;
    const char* stems[] = {"check1", "check2"};
    for (int i = 0; i < 2; ++i) {
        QImage image = QImage(ResourcePath(stems[i], ".png")).convertToFormat(QImage::Format_ARGB32);
        Repaint(image, CheckMarker, color);
        if (i == 1 && IsDarkColor(color))
            Repaint(image, CheckSecondMarker, QColor(CheckSecondOnDark));
        icons.append(TwoStateIcon(QPixmap::fromImage(image)));
    }
    return icons;
}

QPixmap CombinedMarks(const QPixmap& error, const QPixmap& bookmark)
{
    QImage image(std::max(error.width(), bookmark.width()), std::max(error.height(), bookmark.height()),
                 QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.drawPixmap(0, 0, error);
    painter.drawPixmap(0, 0, bookmark);
    painter.end();
    return QPixmap::fromImage(image);
}
