// Import formats: how a text file is cut into records. The process-wide list
// starts with the built-in formats, the user's own follow. A family is a main
// format 'P' with its sub-templates 'P #1', 'P #2', ...; the checks decide
// whether a format may be saved (editor) or used (loader).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kxlib/fields.h"

struct ImportFormatField {
    std::string key;          // a record field key; "<not set>" or empty while none is chosen
    int32_t viewPosition = 0; // 0-based table column; negative: read, but no column
    std::string expression;   // mode 1: the pattern piece with its group; mode 0: the delimiter text

    bool operator==(const ImportFormatField& other) const
    {
        return key == other.key && viewPosition == other.viewPosition && expression == other.expression;
    }
};

enum ImportMode : int32_t {
    IMPORT_MODE_DELIMITED = 0,
    IMPORT_MODE_REGEX = 1,
};

struct ImportFormat {
    std::string name;
    std::string extension; // comma-separated file-name patterns
    std::string expression; // composed from the fields, see ComposeExpression
    bool JavaException = false; // "Consider As Error"
    std::string delimiter;       // only its first character counts
    int32_t mode = IMPORT_MODE_REGEX;
    bool enabled = true;
    int32_t visual = 0; // display order 1, 2, ...; 0 for a sub-template
    std::vector<ImportFormatField> fields;

    // Mode 0: the keys joined by the delimiter; mode 1: the field
    // expressions one after another.
    void ComposeExpression();
    // The file's rule for sub-templates: the name holds a '#'.
    bool IsSubTemplateName() const { return name.find('#') != std::string::npos; }

    // Compares what matters when formats of another file are offered:
    // name, extension, JavaException, delimiter, mode and the fields (their
    // expressions only outside mode 0); the fields match one to one, in any
    // order, so the answer is the same both ways.
    static bool IsSame(const ImportFormat& a, const ImportFormat& b);

    bool operator==(const ImportFormat& other) const;
};

using ImportFormatList = std::vector<ImportFormat>;

// A family holds at most this many templates, the main format included.
constexpr int32_t IMPORT_FAMILY_MAX = 8;
// At most one field per record field.
constexpr int32_t IMPORT_FIELDS_MAX = 25;
// The key of a field whose record field is not chosen yet.
extern const char IMPORT_KEY_NOT_SET[];

// The process-wide list: built-in formats first, user formats after.
extern ImportFormatList ImportFormats;
// Indices below this are built-in formats.
extern int32_t PredefinedFormatCount;
// Result of the last CollectSubFormats / GetSubFormatNumber.
extern std::vector<int32_t> SubFormatList;
// The message of the last failed check; empty when it passed.
extern std::string ImportErrorText;
// Set by every change made in the editor; cleared on load and save.
extern bool ImportFormatsModified;

// Where a check shows its problem in the editor.
enum ImportProblemPlace : int32_t {
    IMPORT_PROBLEM_TREE = 0,   // at the format tree (name, extension)
    IMPORT_PROBLEM_FIELDS = 1, // at the fields table
};

// The editor's side of the checks; without one the checks only set
// ImportErrorText.
class ImportCheckView {
public:
    virtual ~ImportCheckView() = default;
    // A new editor-side check starts: the problem on show goes.
    virtual void ClearProblem() = 0;
    // Format index failed with ImportErrorText.
    virtual void ShowProblem(int32_t index, ImportProblemPlace place) = 0;
};

// The checks and family look-ups on ImportFormats by index. The editor
// (ImportDialog) derives from this, so they read as ImportDialog::CheckFields.
class ImportFormatChecks {
public:
    // Sub-template number of format i; 0 for a main format with
    // sub-templates; -1 otherwise. SubFormatList holds format i's
    // sub-templates afterwards (or nothing).
    static int32_t GetSubFormatNumber(int32_t i);
    // Index of the main format of sub-template i; -1 when there is none.
    static int32_t GetParentFormatIndex(int32_t i);
    // Fills SubFormatList with format i's sub-templates, ascending by
    // number; returns their count.
    static int32_t CollectSubFormats(int32_t i);
    // Only the first '(' and the first ')' count. Sets ImportErrorText.
    static void CheckBrackets(const std::string& expression);
    // kind 1: a name, kind 2: an extension of format i. True when a problem
    // was found.
    static bool CheckNameAndExtension(const std::string& text, int32_t i, int32_t kind);
    // The editor's check of format i; true when it passes (also for an index
    // outside the list).
    static bool CheckFields(int32_t i);
    // The loader's check of format i; true when it may be used. A failure is
    // written to the system log.
    static bool CheckFormat(int32_t i);
    // The family that format i belongs to, as the loader reads it: the main
    // format first, then its sub-templates ascending by number. A
    // sub-template without a main format is a family of its own; an index
    // outside the list gives none.
    static std::vector<int32_t> FamilyOf(int32_t i);

    // The editor's limits. False when format i's family holds
    // IMPORT_FAMILY_MAX - 1 sub-templates already ("Maximum amount of
    // sub-templates (8) is reached" to the System Log and as a warning box),
    // or when format i has IMPORT_FIELDS_MAX fields already ("Max number of
    // fields archived!" as a warning box).
    static bool CanAddSubTemplate(int32_t i);
    static bool CanAddField(int32_t i);

    static void SetView(ImportCheckView* view);

    static constexpr int32_t CHECK_NAME = 1;
    static constexpr int32_t CHECK_EXTENSION = 2;
};
