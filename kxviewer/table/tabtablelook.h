// The fixed colours of the table view and its headers.
#pragma once

#include <QColor>

namespace TabTableLook {
constexpr QRgb HeaderBackground = qRgb(250, 250, 250);
constexpr QRgb GridLine = qRgba(200, 200, 200, 220);
constexpr QRgb CurrentRowFill = qRgba(0, 50, 150, 50);
constexpr QRgb CurrentRowFrame = qRgb(0, 0, 0);
constexpr QRgb ScrollBarCurrentRow = qRgb(0, 0, 255);
} // namespace TabTableLook
