#include "kxviewer/openfilekind.h"

#include <algorithm>
#include <set>

#include "kxviewer/importformat.h"
#include "kxviewer/kxvglobals.h"
#include "utils/common/convert.h"

namespace {

// "*.*" would hide the many Linux files without a suffix ("syslog", "messages").
const QString AllFiles = QStringLiteral("All files (*)");

QString FromBytes(const std::string& text) { return QString::fromLocal8Bit(text.data(), int(text.size())); }

// "KX Raw file (*.kx *.kxtcp *.kxudp)"
QString FileTypeEntry(const KxvFileType& type)
{
    QStringList patterns;
    for (const char* extension : type.extensions)
        if (extension != nullptr)
            patterns << QStringLiteral("*.") + QLatin1String(extension);
    return QLatin1String(type.name) + QStringLiteral(" (") + patterns.join(' ') + ')';
}

// "SysLog (*.log )": unlike a file type's entry, the blank before ')' stays.
QString FormatEntry(const ImportFormat& format)
{
    QString entry = FromBytes(format.name) + QStringLiteral(" (");
    for (const QString& pattern : OpenFileKind::Patterns(format))
        entry += QStringLiteral("*.") + pattern + ' ';
    return entry + ')';
}

bool FileTypeLists(const KxvFileType& type, const QString& suffix)
{
    for (const char* extension : type.extensions)
        if (extension != nullptr && suffix.compare(QLatin1String(extension), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool PatternsMatch(const ImportFormat& format, const QString& suffix)
{
    const QByteArray text = suffix.toLocal8Bit();
    for (const QString& pattern : OpenFileKind::Patterns(format))
        if (ZmLib::StrWildMatch(text.constData(), pattern.toLocal8Bit().constData(), false))
            return true;
    return false;
}

} // namespace

std::vector<int32_t> OpenFileKind::DisplayOrder()
{
    const int32_t count = int32_t(ImportFormats.size());
    std::vector<int32_t> order(size_t(count), 0);
    for (int32_t i = 0; i < count; ++i)
        order[size_t(i)] = i;
    auto place = [count](int32_t index) {
        const int32_t visual = ImportFormats[size_t(index)].visual;
        return visual >= 1 && visual <= count ? visual : index + 1;
    };
    std::stable_sort(order.begin(), order.end(), [&place](int32_t a, int32_t b) { return place(a) < place(b); });
    return order;
}

QStringList OpenFileKind::Patterns(const ImportFormat& format)
{
    QStringList patterns;
    for (const QString& piece : FromBytes(format.extension).split(',', Qt::SkipEmptyParts)) {
        const QString pattern = piece.trimmed();
        if (!pattern.isEmpty())
            patterns << pattern;
    }
    return patterns;
}

bool OpenFileKind::Offered(int32_t index)
{
    if (index < 0 || index >= int32_t(ImportFormats.size()) || !ImportFormats[size_t(index)].enabled)
        return false;
    return ImportFormatChecks::GetSubFormatNumber(index) < 1;
}

int32_t OpenFileKind::FormatForSuffix(const QString& suffix)
{
    for (int32_t index : DisplayOrder())
        if (Offered(index) && PatternsMatch(ImportFormats[size_t(index)], suffix))
            return index;
    return -1;
}

int32_t OpenFileKind::FormatNamed(const std::string& name)
{
    for (int32_t index = 0; index < int32_t(ImportFormats.size()); ++index)
        if (ImportFormats[size_t(index)].name == name && ImportFormatChecks::GetSubFormatNumber(index) < 1)
            return index;
    return -1;
}

QString OpenFileKind::Filter(const std::string& remembered, bool importOnly)
{
    const QString chosen = FromBytes(remembered);
    QStringList entries;
    QString first;
    auto add = [&](const QString& entry) {
        if (first.isEmpty() && entry == chosen)
            first = entry;
        else
            entries << entry;
    };
    // A format's "*" pattern gives "*.*", which is not every file here: the
    // entry for all files is always offered, first when only importing.
    if (importOnly)
        add(AllFiles);
    else
        for (const KxvFileType& type : FileTypes)
            add(FileTypeEntry(type));

    std::set<std::string> usedPatterns;
    for (int32_t index : DisplayOrder()) {
        if (!Offered(index))
            continue;
        const ImportFormat& format = ImportFormats[size_t(index)];
        if (!usedPatterns.insert(format.extension).second)
            continue;
        add(FormatEntry(format));
    }

    if (!importOnly)
        add(AllFiles);
    if (!first.isEmpty())
        entries.prepend(first);
    return entries.join(QStringLiteral(";;"));
}

std::string OpenFileKind::RememberedFilter(const QString& suffix, bool importOnly)
{
    if (!importOnly)
        for (const KxvFileType& type : FileTypes)
            if (FileTypeLists(type, suffix))
                return FileTypeEntry(type).toLocal8Bit().toStdString();
    const int32_t index = FormatForSuffix(suffix);
    if (index < 0)
        return std::string();
    return FormatEntry(ImportFormats[size_t(index)]).toLocal8Bit().toStdString();
}
