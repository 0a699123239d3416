// How the open road tells what a file is: the file-type table by suffix, the
// import formats by their file patterns in display order, and the open
// dialog's filter built from both. Reads the process-wide ImportFormats.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QString>
#include <QStringList>

struct ImportFormat;

class OpenFileKind {
public:
    // Every index of ImportFormats once, ordered by "Visual". Formats with
    // the same value keep their list order; a value outside 1..count stands
    // for the format's own place in the list.
    static std::vector<int32_t> DisplayOrder();
    // The format's "Extension" split at commas, each piece trimmed, empty
    // pieces left out.
    static QStringList Patterns(const ImportFormat& format);
    // Enabled and not a sub-template: the formats the open road uses.
    static bool Offered(int32_t index);
    // The first offered format in display order with a pattern that matches
    // the suffix (case ignored); -1 when none does.
    static int32_t FormatForSuffix(const QString& suffix);
    // The main format (not a sub-template) of that name, enabled or not; -1
    // when there is none.
    static int32_t FormatNamed(const std::string& name);
    // The open dialog's filter; the entry equal to remembered comes first.
    // importOnly leaves the file types out.
    static QString Filter(const std::string& remembered, bool importOnly);
    // The filter entry to remember after a file with this suffix was chosen;
    // empty when nothing lists the suffix.
    static std::string RememberedFilter(const QString& suffix, bool importOnly);
};
