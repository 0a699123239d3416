// Turns one file into a new record table: picks the reader by the file's
// type (a document, a raw record file, or an import format), builds the
// text-log templates of an import-format family, reads every record straight
// into the table's slots (on worker threads as well) while keeping the
// interface alive, gives up on files whose first ten records are all bad,
// attaches the companion table of a kxtcp file and restores a document's
// filter, bookmarks, selections and view settings. It talks to the shell
// only through KxvShell().
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <QFileInfo>
#include <QString>

#include "kxlib/fields.h"
#include "kxlib/table/prefkxtable.h"
#include "kxviewer/preftabtable.h"

class KxReader;
class KxvProgress;
class KxTable;
struct ImportFormat;

class DocLoader {
public:
    // The fields of a template family: key order of the lines, and each
    // field's column in the table view (negative: no column).
    struct ImportFields {
        int32_t count = 0;
        int32_t field[FIELD_Nums];
        int32_t visual[FIELD_Nums];
    };

    // Longest composed expression of a format.
    static constexpr size_t EXPRESSION_MAX = 1099;
    // The full bar stays up this long (ms), the event loop turning, so that
    // the window system shows it before the display goes.
    static constexpr int64_t FULL_SHOWN_MS = 50;

    // typeId: -1 document, -2 raw kx file, -3 raw kxd file, 0 and up an index
    // of ImportFormats.
    DocLoader(const QFileInfo& file, int32_t typeId);
    // Deletes the reader. The table belongs to whoever received it. The
    // status line of a load never reported says "Ready".
    ~DocLoader();
    DocLoader(const DocLoader&) = delete;
    DocLoader& operator=(const DocLoader&) = delete;

    // Reads the file into a new table (one reference, for the caller), or
    // null after reporting why. maxRecords < 0 reads everything; otherwise
    // at most that many read attempts are made, without a progress dialog.
    KxTable* Load(int32_t maxRecords);

    // A load that showed its progress keeps it on show after Load, for the
    // caller's last stage: building the table view, then the end (the bar
    // full, then gone). The destructor takes it away as well. Each step
    // turns the event loop and answers false once the user stopped the open
    // (Abort, or the display put away): the caller then drops what it built
    // and calls ReportCanceled.
    bool ShowViewStage();
    // A part of the caller's last stage is done: the bar moves on by one,
    // short of full.
    bool AdvanceViewStage();
    // The document's Outline, made aside, is done of total: the bar moves
    // within the Outline's share of the stage. The event loop turns with or
    // without a display.
    bool TurnViewStage(int32_t done, int32_t total);
    // The bar full and on screen a moment, then gone.
    bool EndProgress();
    // The open was stopped after its records were read: the display goes,
    // and the System Log and the status line say so.
    void ReportCanceled();

    // A caller that shows the table as a document reports the load itself,
    // once the document has its final name ("rec(1)" beside an open "rec").
    void ReportSuccessLater() { reportLater_ = true; }
    void ReportSuccess();

    // Reads a raw kx file without any dialog; with flaggedOnly, records whose
    // FLAGS are 0 are dropped. Null when it cannot be opened or read.
    static KxTable* LoadKxFileSilent(const char* path, bool flaggedOnly);

    // The whole-line expression of a format: its field expressions in order
    // followed by "\r?\n?"; fills out with the fields. False (reported) for
    // an unknown field key, more fields than record fields, or an empty
    // expression.
    static bool BuildImportRegex(const ImportFormat& format, ImportFields& out, std::string& expression);

    // Threads of the next loads, as KxLoadOptions::workers (0: one a
    // processor); text files are parsed on as many.
    void SetWorkers(int workers) { workers_ = workers; }
    // A caller that never shows the table's tree (kxfind) loads without it:
    // the tree is the load's only serial stage after the names.
    void SkipAuxTree() { auxTree_ = false; }

    // Sets the view preferences' column sequence from the import fields.
    void MoveFileds2Pref();

    const QFileInfo& File() const { return file_; }
    int32_t TypeId() const { return typeId_; }
    KxTable* Table() const { return table_; }
    KxReader* Reader() const { return reader_.get(); }
    const ImportFields* Fields() const { return fields_.get(); }
    PrefTabTable& TabPrefs() { return tabPrefs_; }
    PrefKxTable& KxPrefs() { return kxPrefs_; }
    // Why the last load kept only the records read before it ended early
    // ("Abort", a read error, or where the file ended inside a record);
    // empty when the file was read whole or up to the asked limit.
    const QString& Incomplete() const { return incomplete_; }
    // The file had lines and the text-log format matched none of them.
    bool NoLineMatched() const;
    // Why the last Load gave no table, as the status line says it.
    QString Failure() const;
    // Says why the file cannot be read at all (a pipe, a socket, a device, a
    // file the user may not read) as a failed open says it, and answers
    // true; false, saying nothing, for a file that can be read.
    bool RefuseUnreadable();

private:
    // The format's field list; false (reported) for an unknown field key or
    // more fields than record fields.
    static bool FillFields(const ImportFormat& format, ImportFields& out);
    // Chooses and makes the reader; false (reported) when none can be made.
    bool MakeReader(const QString& path);
    bool MakeCsvReader(const ImportFormat& format, const QString& path);
    bool MakeLogReader(const QString& path);
    void MergeFields(const ImportFields& member);
    void LoadViewBlock();
    void AttachCompanion(const QString& path);
    KxTable* LoadTable(int32_t maxRecords, const QString& path);
    void ReportUnmatchedLines();
    // How many lines a text import refused, read as several rows, cut to fit
    // the record or with a time it could not read, with the first of each
    // (and why a delimited-text import refused it); stopped: the load gave
    // up after the lines it refused.
    void ReportLineFindings(bool stopped);
    // Names the stage on the progress display, with the bar at value, when
    // the display is on show; false once the user stopped the open.
    bool ShowStage(const QString& stage, int32_t value);
    // The bar at value and one turn of the event loop, when the display is
    // on show; false once the user stopped the open.
    bool Turn(int32_t value);
    // The display kept after the reading went without Abort finishing.
    bool Canceled() const;
    // The bar's values of the stages after the reading, for a document
    // (whose pinned phrases the Outline matches) or another file.
    void PlaceStages(bool document);
    // Ends a load stopped after the reading: reported, the table gone.
    KxTable* CancelLoad();
    QString StageLabel(const QString& stage) const;
    void Fail(const QString& text);
    // Ends what the status line says of the load.
    void EndStatus(const QString& text);
    // Why the reader could not open the file at path: what a document file
    // found wrong, else the system's reason it cannot be read.
    QString OpenFailure(const char* path) const;
    // Ends a load that cannot go on: the progress display and the table go.
    void DropTable();

    bool reportLater_ = false;
    QFileInfo file_;
    int32_t typeId_;
    KxTable* table_ = nullptr;
    std::unique_ptr<KxReader> reader_;
    std::unique_ptr<ImportFields> fields_;
    PrefTabTable tabPrefs_;
    PrefKxTable kxPrefs_;
    // PROT of every record read: 1 for kxtcp, 0 for the other raw kx files,
    // negative for files whose records keep their own.
    int32_t prot_ = -1;
    int workers_ = 0;
    bool auxTree_ = true;
    QString incomplete_;
    std::unique_ptr<KxvProgress> progress_;
    // Where the bar stands in the caller's last stage.
    int32_t viewValue_ = 0;
    // Where reading fills the bar to, and the values of the stages after it.
    int32_t readEnd_ = 0;
    int32_t metadataValue_ = 0;
    int32_t viewStart_ = 0;
    // The value last put on the bar.
    int32_t shownValue_ = -1;
    // The reason the last failure gave; the status line shows it.
    QString failure_;
    // The status line says the file is loading.
    bool loading_ = false;
};
