// The rows of a table tab as the text export's lines (the titles' line
// first) or as CSV lines, in the record's own bytes. Files are written in
// blocks, so that memory stays the same whatever the table's size.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "kxviewer/table/rowformatter.h"

class ExportFile;
class KxTable;
class TabTable;

class TableTextWriter {
public:
    enum Format { TEXT, CSV };
    // Spans of rows {first, last}, in the order written.
    using Spans = std::vector<std::pair<int32_t, int32_t>>;

    TableTextWriter(const TabTable& tab, Format format);

    // The titles' line (none for CSV) and the lines of the spans.
    void AppendAll(std::string& out, const Spans& spans) const;
    // The same into the file; false at the first failed write.
    bool Write(ExportFile& file, const Spans& spans) const;

private:
    void AppendHeader(std::string& out) const;
    void AppendRow(std::string& out, int32_t row) const;

    KxTable& table_;
    Format format_;
    RowFormatter formatter_;
};
