// Icons and pixmaps taken from the embedded resources, and the icons painted
// at run time from a colour.
#pragma once

#include <QColor>
#include <QIcon>
#include <QList>
#include <QPixmap>

// The sixteen pixmaps shared for the whole run, by index.
enum SharedPixmapId : int {
    PIX_NAVIGATE_CHECK,
    PIX_NAVIGATE_CROSS,
    PIX_NAVIGATE_CLOSE,
    PIX_TYPE4_VERIFY,
    PIX_TYPE3_ASSERT,
    PIX_TYPE2_ERROR,
    PIX_TYPE1_WARNING,
    PIX_TYPE0_INFO,
    PIX_TYPE5_FUNCS,
    PIX_TYPE6_FUNCE,
    PIX_ARROW_TURN_IN,
    PIX_ARROW_TURN_OUT,
    PIX_ARROW_IN,
    PIX_ARROW_OUT,
    PIX_LINE_SELECTOR,
    PIX_LINE0_EXCLAMATION,
    SHARED_PIXMAP_COUNT
};

// The error mark with the bookmark drawn over it on a transparent ground:
// the one picture of a bookmarked row with a presentation error.
QPixmap CombinedMarks(const QPixmap& error, const QPixmap& bookmark);

// Loads the shared pixmaps (the main window's constructor does it once).
void LoadSharedPixmaps();
// One shared pixmap; a null pixmap before LoadSharedPixmaps.
const QPixmap& SharedPixmap(SharedPixmapId id);
// Frees them (before the application object goes).
void FreeSharedPixmaps();

// An icon or a new heap pixmap (owned by the caller) from ":Res/" + name +
// extension.
QIcon LoadIconResource(const char* name, const char* extension);
QPixmap* LoadPixmapResource(const char* name, const char* extension);

// A 20 x 10 icon filled with the colour and outlined in the default pen.
QIcon MakeColorSwatchIcon(const QColor& color);
// The icon at up to 32 x 32 with a 4-pixel colour bar under it.
QIcon MakeColorBarIcon(const QColor& color, const QString& iconPath);
// The bookmark action's icon with its three reds replaced by the colour
// lightened, the colour and the colour darkened: once at 16 x 16 into
// pixmap16, once at up to 32 x 32 for the result.
QIcon MakeColoredIcon(const QColor& color, QPixmap& pixmap16);
// The check marks "check1" and "check2" painted in the colour.
QList<QIcon> LoadCheckIcons(const QColor& color);

// Marker colours of the pictures that the recolouring looks for.
constexpr QRgb BookmarkLightRed = 0xFFFE3F3F;  // (254, 63, 63)
constexpr QRgb BookmarkRed = 0xFFC14D4D;       // (193, 77, 77)
constexpr QRgb BookmarkDarkRed = 0xFFB40505;   // (180, 5, 5)
constexpr QRgb CheckMarker = 0xFFFFF200;       // (255, 242, 0)
constexpr QRgb CheckSecondMarker = 0xFF8C0005; // (140, 0, 5)
constexpr QRgb CheckSecondOnDark = 0xFFFF6A6A; // (255, 106, 106)
