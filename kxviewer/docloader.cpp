#include "kxviewer/docloader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <new>
#include <vector>

#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QThread>

#include "kxlib/reader/filecsv.h"
#include "kxlib/reader/filekx.h"
#include "kxlib/reader/filekxd.h"
#include "kxlib/reader/filekxl.h"
#include "kxlib/reader/log2kxdmulti.h"
#include "kxlib/reader/pathtext.h"
#include "kxlib/table/kxtable.h"
#include "kxlib/table/kxtable_load.h"
#include "kxviewer/importformat.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/loadmemory.h"
#include "kxviewer/preftable.h"
#include "kxviewer/shellservices.h"
#include "utils/common/inifile.h"
#include "utils/osal/readpath.h"

namespace {

constexpr int32_t PROGRESS_STEPS = 100;
// The bar's share of each stage: reading the file fills it to here; the
// document's metadata and the table view take the rest, and it is full only
// when the document is about to show.
constexpr int32_t PROGRESS_READ_END = 90;
constexpr int32_t PROGRESS_METADATA = 93;
constexpr int32_t PROGRESS_VIEW = 96;
// Where the Outline made aside ends; the view's last steps follow.
constexpr int32_t PROGRESS_OUTLINE_END = 97;
const QString VIEW_STAGE = QStringLiteral("building the table view");
const QString METADATA_STAGE = QStringLiteral("reading its filter, bookmarks and selections");
// Files below about 10 MB load without a progress dialog.
constexpr int64_t PROGRESS_MIN_STEP = 100001;
// The longest the read loop keeps the event loop waiting when the bar has
// not moved (a busy machine, or a stage behind the reading); the clock is
// read every CLOCK_EVERY attempts and at every wait of the reading thread.
constexpr qint64 TURN_MS = 50;
constexpr int32_t CLOCK_EVERY = 64;

QString FromBytes(const char* text) { return QString::fromLocal8Bit(text); }
QString FromBytes(const std::string& text) { return QString::fromLocal8Bit(text.data(), int(text.size())); }

// Why the file at path cannot be read at all; empty when it can.
QString UnreadableReason(const char* path)
{
    std::string refusal;
    const int fd = ZmLib::OpenToRead(path, refusal);
    if (fd >= 0) {
        close(fd);
        return QString();
    }
    return FromBytes(refusal.empty() ? strerror(errno) : refusal.c_str());
}

// Counts as the user reads them: 98,112.
QString Grouped(uint64_t n) { return QLocale(QLocale::English, QLocale::UnitedStates).toString(qulonglong(n)); }

// The first attempts all failed, or the file could not be read before any
// record was.
bool LoadFailed(const KxLoadResult& result)
{
    return result.gaveUp || (result.inputFailed && result.attempts == result.errors);
}

// Why a load that did not fail kept only part of the file; empty when it
// read everything it was asked to.
QString IncompleteReason(const KxLoadResult& result)
{
    if (result.aborted)
        return QStringLiteral("Abort");
    if (result.readError != 0)
        return QStringLiteral("read error: ") + QString::fromLocal8Bit(strerror(result.readError));
    if (result.endedInside != 0)
        return QStringLiteral("file ends inside record #%1").arg(result.endedInside);
    return QString();
}

// The progress display of a load: shown for large unlimited loads (bytes:
// the file's size), reading fills its bar to readEnd.
struct ReadDisplay {
    KxvProgress* progress;
    int64_t bytes;
    int32_t readEnd;
    bool shown = false;
};

// Reads records straight into table slots (on worker threads as well); a
// bad record keeps its slot for the next attempt. With a progress display,
// Abort stops the load; the caller's own progress check, when there is one,
// runs first and may stop it too. size is in the reader's units
// (GetFileSize).
KxLoadResult RunReadLoop(KxReader& reader, KxTable& table, int64_t size, KxLoadOptions load, ReadDisplay* display)
{
    int32_t value = 0;
    QElapsedTimer sinceTurn;
    sinceTurn.start();
    int32_t last = -1;
    if (display != nullptr) {
        KxvProgress* progress = display->progress;
        const int32_t readEnd = display->readEnd;
        const bool large = load.maxRecords < 0 && display->bytes / PROGRESS_STEPS >= PROGRESS_MIN_STEP;
        const std::function<bool(int32_t, int64_t)> check = load.progress;
        // Worker threads fill the table's slots meanwhile: neither this nor
        // the events it lets run may touch the table, which no tab holds yet.
        load.progress = [&, progress, readEnd, large, check](int32_t attempts, int64_t consumed) {
            if (check && !check(attempts, consumed))
                return false;
            if (attempts == 1 && large) {
                progress->Show();
                // None can be shown without a window.
                display->shown = progress->IsVisible();
            }
            // The same count again: the reading thread waits.
            const bool waiting = attempts == last;
            last = attempts;
            const int32_t now = int32_t(std::min<int64_t>(consumed, size) * readEnd / std::max<int64_t>(size, 1));
            const bool due = (waiting || attempts % CLOCK_EVERY == 0) && sinceTurn.elapsed() >= TURN_MS;
            if ((now > value || due) && progress->IsVisible()) {
                value = std::max(value, now);
                progress->SetValue(value);
                KxvShell().ProcessEvents();
                sinceTurn.restart();
            }
            // Put away without Abort (Escape), the display still stops the load.
            return !progress->WasCanceled() && (!display->shown || progress->IsVisible());
        };
    }
    const KxLoadResult result = KxLoadRecords(reader, table, size, load);
    if (result.aborted)
        KX_WARNING(KxvTearoffChannel, "Importing canceled by user");
    return result;
}

} // namespace

DocLoader::DocLoader(const QFileInfo& file, int32_t typeId)
    : file_(file), typeId_(typeId), tabPrefs_(PrefTabTable::Default()), kxPrefs_(PrefKxTable::Default())
{
}

DocLoader::~DocLoader()
{
    // A load whose table the caller dropped unreported (to read the file
    // another way) must not leave the status line saying that it loads.
    if (loading_)
        EndStatus(QStringLiteral("Ready"));
}

void DocLoader::EndStatus(const QString& text)
{
    loading_ = false;
    KxvShell().ShowStatus(text, false);
}

void DocLoader::Fail(const QString& text)
{
    failure_ = text;
    KxvShell().AddToSystemLog(text);
    // The line says so while the box is up.
    EndStatus(text);
    KxvShell().Information(text, true);
}

bool DocLoader::FillFields(const ImportFormat& format, ImportFields& out)
{
    KxvShellServices& shell = KxvShell();
    out.count = 0;
    if (format.fields.size() > size_t(FIELD_Nums)) {
        const QString text = QString("Too many fields in import format \"%1\": %2, at most %3")
                                 .arg(FromBytes(format.name))
                                 .arg(format.fields.size())
                                 .arg(FIELD_Nums);
        shell.AddToSystemLog(text);
        shell.Information(text, true);
        return false;
    }
    for (const ImportFormatField& field : format.fields) {
        const int32_t index = FieldIndexByKey(field.key.c_str());
        if (index < 0) {
            const QString text = QString("Incorrect field name in ini-file: %1").arg(FromBytes(field.key));
            shell.AddToSystemLog(text);
            shell.Information(text, true);
            return false;
        }
        out.field[out.count] = index;
        out.visual[out.count] = field.viewPosition;
        ++out.count;
    }
    return true;
}

bool DocLoader::BuildImportRegex(const ImportFormat& format, ImportFields& out, std::string& expression)
{
    KxvShellServices& shell = KxvShell();
    expression.clear();
    if (!FillFields(format, out))
        return false;
    for (const ImportFormatField& field : format.fields)
        expression += field.expression;
    if (expression.size() > EXPRESSION_MAX) {
        // A pattern cut short would match something else.
        const QString text = QString("Expression of import format \"%1\" is longer than %2 characters")
                                 .arg(FromBytes(format.name))
                                 .arg(EXPRESSION_MAX);
        shell.AddToSystemLog(text);
        shell.Information(text, true);
        return false;
    }
    if (expression.empty()) {
        shell.AddToSystemLog("Expression is empty");
        shell.Information("Expression is empty", true);
        return false;
    }
    expression += "\\r?\\n?";
    return true;
}

void DocLoader::MoveFileds2Pref()
{
    tabPrefs_.ClearColumns();
    if (!fields_)
        return;
    // Columns in ascending view position; fields that share a position keep
    // their line order, and positions left free leave no empty column.
    std::vector<std::pair<int32_t, int32_t>> placed;
    for (int32_t k = 0; k < fields_->count; ++k) {
        const int32_t v = fields_->visual[k];
        if (v >= 0 && v < FIELD_Nums)
            placed.emplace_back(v, k);
    }
    std::stable_sort(placed.begin(), placed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& p : placed)
        tabPrefs_.AddColumn(fields_->field[p.second]);
}

void DocLoader::MergeFields(const ImportFields& member)
{
    if (fields_->count == 0) {
        *fields_ = member;
        return;
    }
    for (int32_t k = 0; k < member.count; ++k) {
        const int32_t* begin = fields_->field;
        const int32_t* end = begin + fields_->count;
        if (std::find(begin, end, member.field[k]) != end || fields_->count >= FIELD_Nums)
            continue;
        fields_->field[fields_->count] = member.field[k];
        fields_->visual[fields_->count] = fields_->count;
        ++fields_->count;
    }
}

bool DocLoader::MakeCsvReader(const ImportFormat& format, const QString& path)
{
    // Lines are cut at the delimiter: there is no expression to build.
    ImportFields columns;
    if (!FillFields(format, columns))
        return false;
    if (columns.count == 0) {
        Fail(QString("Import format \"%1\" has no fields").arg(FromBytes(format.name)));
        return false;
    }
    const char separator = format.delimiter.empty() ? 0 : format.delimiter[0];
    reader_ = std::make_unique<FileCsv>(QFile::encodeName(path).constData(), columns.count, columns.field, separator);
    // The columns shown are the format's own, in its view order, as for a text log.
    fields_ = std::make_unique<ImportFields>(columns);
    MoveFileds2Pref();
    return true;
}

bool DocLoader::MakeLogReader(const QString& path)
{
    auto reader = std::make_unique<Log2KxdMulti>(QFile::encodeName(path).constData());
    fields_ = std::make_unique<ImportFields>();
    for (int32_t index : ImportFormatChecks::FamilyOf(typeId_)) {
        const ImportFormat& member = ImportFormats[size_t(index)];
        if (!member.enabled || !ImportFormatChecks::CheckFormat(index))
            continue;
        ImportFields own;
        std::string expression;
        if (!BuildImportRegex(member, own, expression)) {
            fields_.reset();
            return false;
        }
        // Each template maps its groups with its own fields, in its own order.
        if (reader->AddTemplate(expression.c_str(), own.field, own.count, member.JavaException))
            MergeFields(own);
    }
    if (reader->TemplateCount() == 0) {
        Fail(QString("Import format \"%1\" has no usable template").arg(FromBytes(ImportFormats[size_t(typeId_)].name)));
        fields_.reset();
        return false;
    }
    reader_ = std::move(reader);
    MoveFileds2Pref();
    return true;
}

bool DocLoader::MakeReader(const QString& path)
{
    const QByteArray bytes = QFile::encodeName(path);
    switch (typeId_) {
    case FILE_TYPE_KXD:
        reader_ = std::make_unique<FileKxd>(bytes.constData());
        return true;
    case FILE_TYPE_KX:
        reader_ = std::make_unique<FileKx>(bytes.constData());
        prot_ = file_.suffix() == "kxtcp" ? 1 : 0;
        return true;
    case FILE_TYPE_KXL:
        reader_ = std::make_unique<FileKxl>(bytes.constData());
        return true;
    default:
        break;
    }
    if (typeId_ < 0 || size_t(typeId_) >= ImportFormats.size()) {
        Fail("Unknown import type for file " + path);
        return false;
    }
    const ImportFormat& format = ImportFormats[size_t(typeId_)];
    return format.mode == IMPORT_MODE_DELIMITED ? MakeCsvReader(format, path) : MakeLogReader(path);
}

void DocLoader::LoadViewBlock()
{
    const FileKxl& kxl = static_cast<const FileKxl&>(*reader_);
    std::vector<char> text(kxl.IniText(), kxl.IniText() + kxl.IniSize() + 1);
    ZmLib::IniBase ini;
    ini.ReadFromText(text.data(), kxl.IniSize());
    PrefTable::Load(false, ini, tabPrefs_, kxPrefs_);
}

void DocLoader::AttachCompanion(const QString& path)
{
    if (file_.suffix() != "kxtcp")
        return;
    QString companion = path;
    companion.replace(companion.size() - 3, 2, "ud");
    KxTable* satellite = LoadKxFileSilent(QFile::encodeName(companion).constData(), true);
    if (satellite == nullptr)
        return;
    table_->SatelliteSet(satellite);
    table_->SetVersionText(satellite->VersionText());
    satellite->Release();
}

void DocLoader::ReportUnmatchedLines()
{
    const auto* log = dynamic_cast<const Log2KxdMulti*>(reader_.get());
    if (log == nullptr)
        return;
    const QString head = QStringLiteral("Import \"%1\": ").arg(file_.fileName());
    // Lines, as the other findings count them: a line of several rows is one.
    const QString lines = Grouped(log->Lines());
    const QString format = FromBytes(ImportFormats[size_t(typeId_)].name);
    if (log->Unmatched() > 0)
        KxvShell().AddToSystemLog(head + QStringLiteral("%1 of %2 lines matched no template of \"%3\"")
                                             .arg(Grouped(log->Unmatched()), lines, format));
    for (int32_t k = 0; k < log->TemplateCount(); ++k) {
        const Log2KxdMulti::Skips skips = log->SkippedBy(k);
        if (skips.lines > 0)
            KxvShell().AddToSystemLog(
                head + QStringLiteral("%1 of %2 lines skipped by template %3 of \"%4\": %5 groups for %6 fields")
                           .arg(Grouped(skips.lines), lines, QString::number(k + 1), format,
                                QString::number(skips.groups), QString::number(skips.fields)));
    }
}

QString DocLoader::OpenFailure(const char* path) const
{
    if (const auto* document = dynamic_cast<const FileKxl*>(reader_.get()))
        if (!document->Failure().empty())
            return FromBytes(document->Failure());
    if (const auto* file = dynamic_cast<const File2Kxd*>(reader_.get()))
        if (!file->Refusal().empty())
            return FromBytes(file->Refusal());
    // Else they only fail to open a file that cannot be read.
    const QString why = UnreadableReason(path);
    return why.isEmpty() ? QStringLiteral("it cannot be read as this kind of file") : why;
}

bool DocLoader::NoLineMatched() const
{
    const auto* log = dynamic_cast<const Log2KxdMulti*>(reader_.get());
    return log != nullptr && log->Accepted() > 0 && log->Matched() == 0;
}

void DocLoader::ReportLineFindings(bool stopped)
{
    const auto* text = dynamic_cast<const Text2Kxd*>(reader_.get());
    if (text == nullptr)
        return;
    const QString head = QStringLiteral("Import \"%1\": ").arg(file_.fileName());
    const QString lines = Grouped(text->Lines());
    const QString format = FromBytes(ImportFormats[size_t(typeId_)].name);
    // "3 of 60 lines ...; line 7"
    const auto counted = [&](const Text2Kxd::Finding& found, const QString& what) {
        return head + QStringLiteral("%1 of %2 lines %3; line %4").arg(Grouped(found.count), lines, what,
                                                                          Grouped(found.line));
    };
    const Text2Kxd::Finding& refused = text->Refused();
    if (refused.count > 0) {
        // A load that gave up read only the lines it refused.
        QString line = stopped ? head + QStringLiteral("stopped after %1 lines refused by \"%2\"; line %3")
                                            .arg(Grouped(refused.count), format, Grouped(refused.line))
                               : counted(refused, QStringLiteral("refused by \"%1\"").arg(format));
        const auto* csv = dynamic_cast<const FileCsv*>(text);
        const std::string why = csv != nullptr ? csv->Explain(csv->RowText(refused)) : std::string();
        if (!why.empty())
            line += QStringLiteral(", ") + FromBytes(why);
        KxvShell().AddToSystemLog(line);
    }
    const Text2Kxd::Finding& longLines = text->LongLines();
    if (longLines.count > 0)
        KxvShell().AddToSystemLog(counted(
            longLines,
            QStringLiteral("longer than %1 bytes read as several rows").arg(Grouped(Text2Kxd::LINE_LENGTH_MAX))));
    const Text2Kxd::Finding& cut = text->CutLines();
    if (cut.count > 0)
        KxvShell().AddToSystemLog(counted(cut, QStringLiteral("with a field cut to fit the record")) +
                                  QStringLiteral(", field %1").arg(FieldKey(cut.note.cutField)));
    const Text2Kxd::Finding& badTimes = text->BadTimeLines();
    if (badTimes.count > 0) {
        const std::string row = text->RowText(badTimes);
        const std::string time = row.substr(std::min<size_t>(badTimes.note.badTimeStart, row.size()),
                                            badTimes.note.badTimeLength);
        KxvShell().AddToSystemLog(counted(badTimes, QStringLiteral("with a time that could not be read, stored as 0")) +
                                  QStringLiteral(", TIME: \"%1\"").arg(FromBytes(time)));
    }
}

void DocLoader::ReportSuccess()
{
    const QString name = FromBytes(table_->Name());
    const QString count = incomplete_.isEmpty()
                              ? QStringLiteral("%1 rows").arg(table_->RecordCount())
                              : QStringLiteral("%1 records read; the load was incomplete: %2 (partial)")
                                    .arg(QString::number(table_->RecordCount()), incomplete_);
    QString text;
    if (typeId_ < 0) {
        text = QString("Document \"%1\" opened: %2").arg(name, count);
    } else {
        const ImportFormat& format = ImportFormats[size_t(typeId_)];
        text = QString("Document \"%1\" imported by format \"%2.%3\": %4")
                   .arg(name, FromBytes(format.name), FromBytes(format.extension), count);
    }
    KxvShell().AddToSystemLog(text);
    EndStatus(text);
}

KxTable* DocLoader::Load(int32_t maxRecords)
{
    KxvShellServices& shell = KxvShell();
    const QString path = file_.absoluteFilePath();
    shell.AddToSystemLog("Loading file: " + path);
    shell.ShowStatus("Loading file: " + path, false);
    loading_ = true;
    shell.ProcessEvents();
    failure_.clear();
    incomplete_.clear();
    KxTable* table = nullptr;
    try {
        table = LoadTable(maxRecords, path);
    } catch (const std::bad_alloc&) {
        // The table's storage could not grow: what was read goes, so that the
        // documents already open keep their memory.
        DropTable();
        Fail(QStringLiteral("Not enough memory to open file \"%1\": the load was stopped").arg(path));
    }
    // The status line must not go on saying that the file is loading.
    if (table == nullptr && loading_)
        EndStatus(Failure());
    return table;
}

bool DocLoader::RefuseUnreadable()
{
    const QString path = file_.absoluteFilePath();
    const QString why = UnreadableReason(QFile::encodeName(path).constData());
    if (why.isEmpty())
        return false;
    Fail("Error opening file \"" + path + "\": " + why);
    return true;
}

QString DocLoader::Failure() const
{
    return failure_.isEmpty() ? "Cannot open file: " + file_.absoluteFilePath() : failure_;
}

KxTable* DocLoader::LoadTable(int32_t maxRecords, const QString& path)
{
    KxvShellServices& shell = KxvShell();
    const QByteArray bytes = QFile::encodeName(path);
    if (!PathFits(bytes.constData())) {
        Fail(QString("File path too long, at most %1 characters: \"%2\"")
                 .arg(ZmLib::TEMP_STR_CAPACITY)
                 .arg(FromBytes(PathForMessage(bytes.constData()))));
        return nullptr;
    }
    if (!MakeReader(path))
        return nullptr;
    if (auto* text = dynamic_cast<Text2Kxd*>(reader_.get()))
        text->SetWorkers(workers_);
    if (reader_->Open() != 0) {
        Fail("Error opening file \"" + path + "\": " + OpenFailure(bytes.constData()));
        return nullptr;
    }
    const bool document = typeId_ == FILE_TYPE_KXL;
    if (document)
        LoadViewBlock();
    const int64_t size = reader_->GetFileSize();
    // A document's size is its record count: whether the display shows is
    // decided from the bytes of every file alike.
    const int64_t fileBytes = document ? QFileInfo(path).size() : size;
    PlaceStages(document);
    table_ = new KxTable(bytes.constData(), QFile::encodeName(file_.completeBaseName()).constData(), kxPrefs_);
    if (!auxTree_)
        table_->AuxTree().Reset(-1, -1);
    // A document saved with normalised time holds times relative to Time0.
    if (document && kxPrefs_.NormalizeTime)
        table_->SetRelativeTimeBase(kxPrefs_.Time0, kxPrefs_.Time0Index);
    progress_ = shell.CreateProgress("Opening file " + FromBytes(table_->Name()), "Abort", 0, PROGRESS_STEPS);
    // Wide enough from the start: a window that grows while shown is laid
    // out again only when the window system answers, after the stage.
    progress_->FitLabel(StageLabel(document ? METADATA_STAGE : VIEW_STAGE));
    if (typeId_ == FILE_TYPE_KX)
        AttachCompanion(path);
    KxLoadOptions options;
    options.maxRecords = maxRecords;
    options.prot = prot_;
    options.workers = workers_;
    bool memoryRefused = false;
    if (maxRecords < 0)
        options.progress = [this, size, checked = false, &memoryRefused](int32_t attempts, int64_t consumed) mutable {
            if (checked || consumed < LoadMemory::SAMPLE_BYTES)
                return true;
            checked = true;
            const QString question = LoadMemory::Shortage(
                file_.fileName(), LoadMemory::Needed(attempts, consumed, size), LoadMemory::Available());
            memoryRefused = !question.isEmpty() && !KxvShell().Ask(question);
            return !memoryRefused;
        };
    ReadDisplay display{progress_.get(), fileBytes, readEnd_};
    const KxLoadResult result = RunReadLoop(*reader_, *table_, size, options, &display);
    if (memoryRefused) {
        DropTable();
        failure_ = QStringLiteral("Opening file \"%1\" cancelled: not enough memory").arg(path);
        shell.AddToSystemLog(failure_);
        return nullptr;
    }
    ReportUnmatchedLines();
    ReportLineFindings(result.gaveUp);
    if (LoadFailed(result)) {
        DropTable();
        Fail("Too many errors while reading " + path);
        return nullptr;
    }
    // Only a display on show goes on to the caller's stage; one that never
    // showed, or whose Abort stopped the reading, is done. An Abort that came
    // once every record was read cancels the open.
    if (!result.aborted && display.shown && Canceled())
        return CancelLoad();
    if (!progress_->IsVisible() || progress_->WasCanceled()) {
        progress_->Close();
        progress_.reset();
    }
    if (document && !ShowStage(METADATA_STAGE, metadataValue_))
        return CancelLoad();
    if (document && !static_cast<FileKxl&>(*reader_).ReadMetadata(*table_))
        shell.AddToSystemLog(QString("Document \"%1\": part of its filter, bookmarks or selections was damaged "
                                     "and has been skipped")
                                 .arg(FromBytes(table_->Name())));
    table_->SetModified(false);
    incomplete_ = IncompleteReason(result);
    if (!reportLater_)
        ReportSuccess();
    return table_;
}

void DocLoader::DropTable()
{
    if (progress_)
        progress_->Cancel();
    progress_.reset();
    if (table_ != nullptr)
        table_->Release();
    table_ = nullptr;
}

QString DocLoader::StageLabel(const QString& stage) const
{
    return "Opening file " + FromBytes(table_->Name()) + ": " + stage;
}

void DocLoader::PlaceStages(bool document)
{
    readEnd_ = PROGRESS_READ_END;
    metadataValue_ = PROGRESS_METADATA;
    viewStart_ = PROGRESS_VIEW;
    // The Outline of a document matches each pinned phrase over every row,
    // which takes about half as long as reading the rows: the bar gives it
    // that share, between the start of the view's stage and its Outline's
    // end.
    const int32_t pinned =
        document && tabPrefs_.outline[JUMP_HIGHLIGHT] ? std::clamp(tabPrefs_.pinnedCount, 0, PINNED_MAX) : 0;
    if (pinned == 0)
        return;
    readEnd_ = PROGRESS_READ_END * 2 / (2 + pinned);
    metadataValue_ = readEnd_ + 1;
    viewStart_ = readEnd_ + 2;
}

bool DocLoader::Canceled() const
{
    // However the display went (Abort, Escape, the title bar's close), the
    // user wants the open to stop.
    return progress_ && (progress_->WasCanceled() || !progress_->IsVisible());
}

bool DocLoader::Turn(int32_t value)
{
    if (!progress_)
        return true;
    if (Canceled())
        return false;
    if (value != shownValue_)
        progress_->SetValue(value);
    shownValue_ = value;
    KxvShell().ProcessEvents();
    return !Canceled();
}

bool DocLoader::ShowStage(const QString& stage, int32_t value)
{
    if (!progress_)
        return true;
    // A display put away has cancelled the load.
    if (!progress_->IsVisible())
        return false;
    progress_->SetLabel(StageLabel(stage));
    return Turn(value);
}

bool DocLoader::ShowViewStage()
{
    viewValue_ = viewStart_;
    return ShowStage(VIEW_STAGE, viewValue_);
}

bool DocLoader::AdvanceViewStage()
{
    viewValue_ = std::min(std::max(viewValue_, viewStart_) + 1, PROGRESS_STEPS - 1);
    return Turn(viewValue_);
}

bool DocLoader::TurnViewStage(int32_t done, int32_t total)
{
    // Without a display the window goes on answering all the same.
    if (!progress_) {
        KxvShell().ProcessEvents();
        return true;
    }
    // From where the tab's step left the bar.
    const int32_t from = viewStart_ + 1;
    const int32_t to = std::max(from, PROGRESS_OUTLINE_END);
    const int64_t share = total > 0 ? int64_t(std::clamp(done, 0, total)) * (to - from) / total : 0;
    viewValue_ = std::max(viewValue_, from + int32_t(share));
    return Turn(viewValue_);
}

bool DocLoader::EndProgress()
{
    if (!progress_)
        return true;
    // Full once the document that came of it shows, and on screen so: the
    // event loop turns while the full bar stands, and Abort still counts.
    bool goOn = Turn(PROGRESS_STEPS);
    QElapsedTimer shown;
    shown.start();
    while (goOn && shown.elapsed() < FULL_SHOWN_MS) {
        QThread::msleep(FULL_SHOWN_MS / 10);
        goOn = Turn(PROGRESS_STEPS);
    }
    progress_->Close();
    progress_.reset();
    return goOn;
}

void DocLoader::ReportCanceled()
{
    if (progress_)
        progress_->Close();
    progress_.reset();
    failure_ = QStringLiteral("Opening file \"%1\" cancelled").arg(file_.absoluteFilePath());
    KxvShell().AddToSystemLog(failure_);
    EndStatus(failure_);
}

KxTable* DocLoader::CancelLoad()
{
    ReportCanceled();
    DropTable();
    return nullptr;
}

KxTable* DocLoader::LoadKxFileSilent(const char* path, bool flaggedOnly)
{
    if (!PathFits(path)) {
        KX_ERROR(KxvTearoffChannel, "Path too long, at most %u characters: \"%s\"", ZmLib::TEMP_STR_CAPACITY,
                 PathForMessage(path).c_str());
        return nullptr;
    }
    FileKx reader(path);
    if (reader.Open() != 0) {
        KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, "Satellite file not found");
        return nullptr;
    }
    KxTable* table = new KxTable(path, "", PrefKxTable::Default());
    KxLoadOptions options;
    options.flaggedOnly = flaggedOnly;
    if (LoadFailed(RunReadLoop(reader, *table, reader.GetFileSize(), options, nullptr))) {
        KxvShell().AddToSystemLog(QString("Too many errors while reading ") + FromBytes(path));
        table->Release();
        return nullptr;
    }
    table->SetModified(false);
    return table;
}
