#include "kxviewer/loadmemory.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "kxlib/kxdrecord.h"

namespace {

std::function<int64_t()>& AvailableSource()
{
    static std::function<int64_t()> source;
    return source;
}

int64_t ReadMemAvailable()
{
    // The kernel's own file, no path a user could put anything at.
    FILE* file = fopen("/proc/meminfo", "r");
    if (file == nullptr)
        return -1;
    char line[256];
    long long kib = -1;
    while (fgets(line, sizeof line, file) != nullptr)
        if (sscanf(line, "MemAvailable: %lld kB", &kib) == 1)
            break;
    fclose(file);
    return kib < 0 ? -1 : int64_t(kib) * 1024;
}

} // namespace

int64_t LoadMemory::Available()
{
    const std::function<int64_t()>& source = AvailableSource();
    return source ? source() : ReadMemAvailable();
}

void LoadMemory::SetAvailableSource(std::function<int64_t()> source) { AvailableSource() = std::move(source); }

int64_t LoadMemory::Needed(int64_t records, int64_t consumed, int64_t size)
{
    // The records of the first part stand for the rest: a text log's lines
    // at its start are as long as later ones, and every record takes a whole
    // slot whatever its length, texts included. A record begun counts whole.
    if (records <= 0 || consumed <= 0)
        return 0;
    const double whole = std::ceil(double(records) * double(size) / double(consumed));
    return int64_t(whole) * int64_t(sizeof(KxdRecord));
}

QString LoadMemory::Shortage(const QString& file, int64_t needed, int64_t available)
{
    if (available < 0 || needed <= available)
        return QString();
    return QStringLiteral("Opening file \"%1\" needs about %2 of memory, but only %3 is available.\n"
                          "Open it anyway?")
        .arg(file, Size(needed), Size(available));
}

QString LoadMemory::Size(int64_t bytes)
{
    static const char* const units[] = {"bytes", "KB", "MB", "GB", "TB"};
    double value = double(bytes);
    size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(units)) {
        value /= 1024;
        ++unit;
    }
    if (unit == 0)
        return QStringLiteral("%1 bytes").arg(bytes);
    return QStringLiteral("%1 %2").arg(value, 0, 'f', value < 10 ? 1 : 0).arg(QLatin1String(units[unit]));
}
