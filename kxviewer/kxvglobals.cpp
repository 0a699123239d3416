#include "kxviewer/kxvglobals.h"

#include <QFontDatabase>

#include "utils/common/strbase.h"

namespace {

ImportFormat MakeSysLogTemplate()
{
    ImportFormat format;
    format.name = "SysLog";
    format.extension = "log";
    format.expression = "()";
    format.JavaException = false;
    format.mode = IMPORT_MODE_REGEX;
    format.enabled = true;
    format.visual = 1;
    for (const KxvTemplateField& field : SysLogFields)
        format.fields.push_back({field.key, field.viewPosition, field.expression});
    return format;
}

} // namespace

const ImportFormatList& DefaultImportTemplates()
{
    static const ImportFormatList templates{MakeSysLogTemplate()};
    return templates;
}

// The built-in head is made first, the list copies it, and the count of
// built-in formats is taken from the list (definition order within this
// file is initialisation order).
ImportFormatList ImportFormats = DefaultImportTemplates();
int32_t PredefinedFormatCount = int32_t(ImportFormats.size());

QDateTime StartupTime()
{
    static const QDateTime start = QDateTime::currentDateTime();
    return start;
}

namespace {
// Taken when the program starts, not when first asked.
const QDateTime startupTimeTaken = StartupTime();
} // namespace

int32_t FileTypeBySuffix(const char* suffix, bool* found)
{
    if (found)
        *found = false;
    if (!suffix)
        return 0;
    for (const KxvFileType& type : FileTypes)
        for (const char* ext : type.extensions)
            if (ext && ZmLib::StrICmp(ext, suffix) == 0) {
                if (found)
                    *found = true;
                return type.typeId;
            }
    return 0;
}

QFont DefaultFont(int32_t index)
{
    if (index < 0 || index >= FONT_DEFAULT_COUNT)
        return QFont();
    const KxvFontDefault& def = FontDefaults[index];
    QFont font = QFontDatabase::systemFont(def.fixed ? QFontDatabase::FixedFont : QFontDatabase::GeneralFont);
    font.setPointSize(def.pointSize);
    font.setWeight(QFont::Normal);
    return font;
}

namespace KxvLook {

QColor DialogBackground() { return QColor(240, 240, 240); }

QColor GraphBackground(int32_t shade)
{
    static const int GREYS[] = {192, 128, 64};
    int grey = GREYS[shade < 0 ? 0 : shade > 2 ? 2 : shade];
    return QColor(grey, grey, grey);
}

QColor GraphAccent() { return QColor(244, 177, 41); }
QColor GraphMarker() { return QColor(Qt::red); }

QPen GraphDashedPen() { return QPen(QBrush(Qt::white), 1, Qt::DashLine, Qt::SquareCap, Qt::BevelJoin); }

QPen GraphElementPen() { return QPen(QBrush(QColor(0, 0, 0, 192)), 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin); }

QColor GraphSlider() { return QColor(Qt::darkGray).lighter(170); }
QColor SystemLogCurrentLine() { return QColor(Qt::yellow).lighter(160); }
QColor SystemLogTimeBackground() { return QColor(250, 250, 250); }
QColor TableCellBackground() { return QColor(250, 250, 250); }
QColor TableHeaderBackground() { return QColor(200, 200, 200, 220); }

} // namespace KxvLook

void KxvCopyInformation::Clear()
{
    if (source)
        source->Release();
    source = nullptr;
    runs.clear();
    mode = SELECTED;
}

KxvCopyInformation KxvGlobals::CopyInformation;
