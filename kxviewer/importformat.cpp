#include "kxviewer/importformat.h"

#include <algorithm>
#include <climits>
#include <utility>

#include <QString>

#include "kxviewer/shellservices.h"
#include "utils/common/strbase.h"

const char IMPORT_KEY_NOT_SET[] = "<not set>";

std::vector<int32_t> SubFormatList;
std::string ImportErrorText;
bool ImportFormatsModified = false;

namespace {

ImportCheckView* checkView = nullptr;

bool ValidIndex(int32_t i) { return i >= 0 && size_t(i) < ImportFormats.size(); }

// The decimal number at the start of text (after blanks), clamped to
// int32_t; 0 when there is none.
int32_t LeadingNumber(const std::string& text)
{
    size_t p = 0;
    while (p < text.size() && ZmLib::AsciiIsSpace(text[p]))
        ++p;
    bool negative = false;
    if (p < text.size() && (text[p] == '-' || text[p] == '+'))
        negative = text[p++] == '-';
    int64_t value = 0;
    for (; p < text.size() && ZmLib::AsciiIsDigit(text[p]); ++p)
        if (value <= INT32_MAX)
            value = value * 10 + (text[p] - '0');
    if (value > INT32_MAX)
        value = INT32_MAX;
    return int32_t(negative ? -value : value);
}

std::string TrimSpace(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && ZmLib::AsciiIsSpace(text[begin]))
        ++begin;
    while (end > begin && ZmLib::AsciiIsSpace(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

void Fail(const char* message) { ImportErrorText = message; }

void ShowProblem(int32_t i, ImportProblemPlace place)
{
    if (checkView)
        checkView->ShowProblem(i, place);
}

bool IsFieldKey(const std::string& key)
{
    return !key.empty() && key != IMPORT_KEY_NOT_SET && FieldIndexByKey(key.c_str()) >= 0;
}

// Digits, and only digits, after the last '#': a sub-template's number.
bool EndsInNumber(const std::string& name)
{
    const size_t hash = name.rfind('#');
    if (hash == std::string::npos || hash + 1 >= name.size())
        return false;
    for (size_t p = hash + 1; p < name.size(); ++p)
        if (!ZmLib::AsciiIsDigit(name[p]))
            return false;
    return true;
}

// A sub-template never fails the '#' check: one with display order 0 (as
// every list read from the file numbers them), or one named after another
// format without '#', " #" and a number. Without its number a name is no
// sub-template's: the tree could not tell it from its main format.
bool IsSubTemplate(const std::string& name, int32_t i)
{
    if (!EndsInNumber(name))
        return false;
    if (ValidIndex(i) && ImportFormats[i].visual == 0)
        return true;
    size_t hash = name.find(" #");
    if (hash == std::string::npos || hash + 2 >= name.size())
        return false;
    for (size_t p = hash + 2; p < name.size(); ++p)
        if (!ZmLib::AsciiIsDigit(name[p]))
            return false;
    std::string parent = name.substr(0, hash);
    for (size_t j = 0; j < ImportFormats.size(); ++j)
        if (int32_t(j) != i && ImportFormats[j].name == parent && !ImportFormats[j].IsSubTemplateName())
            return true;
    return false;
}

void LogRejected(const std::string& prefix, const std::string& detail)
{
    KxvShell().AddToSystemLog(QString::fromLocal8Bit((prefix + ImportErrorText + detail).c_str()));
}

} // namespace

void ImportFormat::ComposeExpression()
{
    expression.clear();
    for (size_t k = 0; k < fields.size(); ++k) {
        if (mode == IMPORT_MODE_DELIMITED) {
            if (k > 0)
                expression += delimiter;
            expression += fields[k].key;
        } else {
            expression += fields[k].expression;
        }
    }
}

bool ImportFormat::IsSame(const ImportFormat& a, const ImportFormat& b)
{
    if (a.name != b.name || a.extension != b.extension || a.JavaException != b.JavaException ||
        a.delimiter != b.delimiter || a.mode != b.mode || a.fields.size() != b.fields.size())
        return false;
    // Each field of b stands for one field of a only, so that a repeated
    // field cannot hide one that the other format has and this one lacks.
    std::vector<bool> used(b.fields.size(), false);
    for (const ImportFormatField& fa : a.fields) {
        size_t k = 0;
        while (k < b.fields.size() &&
               (used[k] || fa.key != b.fields[k].key || fa.viewPosition != b.fields[k].viewPosition ||
                (a.mode != IMPORT_MODE_DELIMITED && fa.expression != b.fields[k].expression)))
            ++k;
        if (k == b.fields.size())
            return false;
        used[k] = true;
    }
    return true;
}

bool ImportFormat::operator==(const ImportFormat& other) const
{
    return name == other.name && extension == other.extension && expression == other.expression &&
           JavaException == other.JavaException && delimiter == other.delimiter && mode == other.mode &&
           enabled == other.enabled && visual == other.visual && fields == other.fields;
}

void ImportFormatChecks::SetView(ImportCheckView* view) { checkView = view; }

int32_t ImportFormatChecks::GetSubFormatNumber(int32_t i)
{
    SubFormatList.clear();
    if (!ValidIndex(i) || ImportFormats[i].name.empty())
        return -1;
    const std::string& name = ImportFormats[i].name;
    size_t hash = name.find('#');
    if (hash != std::string::npos && hash >= 1)
        return LeadingNumber(name.substr(hash + 1));
    return CollectSubFormats(i) > 0 ? 0 : -1;
}

int32_t ImportFormatChecks::GetParentFormatIndex(int32_t i)
{
    if (!ValidIndex(i))
        return -1;
    const std::string& name = ImportFormats[i].name;
    size_t hash = name.find('#');
    if (hash == std::string::npos)
        return -1;
    std::string parent = TrimSpace(name.substr(0, hash == 0 ? 0 : hash - 1));
    for (size_t j = 0; j < ImportFormats.size(); ++j)
        if (ImportFormats[j].name == parent)
            return int32_t(j);
    return -1;
}

int32_t ImportFormatChecks::CollectSubFormats(int32_t i)
{
    SubFormatList.clear();
    if (!ValidIndex(i) || ImportFormats[i].name.empty())
        return 0;
    const std::string& main = ImportFormats[i].name;
    std::vector<std::pair<int32_t, int32_t>> found; // number, index
    for (size_t j = 0; j < ImportFormats.size(); ++j) {
        const std::string& name = ImportFormats[j].name;
        size_t hash = name.find('#');
        if (int32_t(j) == i || hash == std::string::npos || hash < 1)
            continue;
        if (name.compare(0, hash - 1, main) == 0)
            found.emplace_back(LeadingNumber(name.substr(hash + 1)), int32_t(j));
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const std::pair<int32_t, int32_t>& a, const std::pair<int32_t, int32_t>& b) {
                         return a.first < b.first;
                     });
    for (const auto& entry : found)
        SubFormatList.push_back(entry.second);
    return int32_t(SubFormatList.size());
}

std::vector<int32_t> ImportFormatChecks::FamilyOf(int32_t i)
{
    if (!ValidIndex(i))
        return {};
    int32_t main = GetParentFormatIndex(i);
    if (main < 0)
        main = i;
    CollectSubFormats(main);
    std::vector<int32_t> family{main};
    family.insert(family.end(), SubFormatList.begin(), SubFormatList.end());
    return family;
}

void ImportFormatChecks::CheckBrackets(const std::string& expression)
{
    ImportErrorText.clear();
    size_t open = expression.find('(');
    size_t close = expression.find(')');
    if (open == std::string::npos)
        Fail("No left Bracket");
    else if (close == std::string::npos)
        Fail("No right Bracket");
    else if (close < open)
        Fail("Bad bracket sequence");
}

bool ImportFormatChecks::CheckNameAndExtension(const std::string& text, int32_t i, int32_t kind)
{
    ImportErrorText.clear();
    if (text.empty()) {
        Fail(kind == CHECK_NAME ? "Name is empty" : "Extension is empty");
    } else if (kind == CHECK_NAME) {
        if (text.find('#') != std::string::npos && !IsSubTemplate(text, i)) {
            Fail("Name could not contain # symbol");
        } else {
            for (size_t j = 0; j < ImportFormats.size(); ++j)
                if (int32_t(j) != i && ImportFormats[j].name == text) {
                    Fail("Name duplicate");
                    break;
                }
        }
    }
    if (ImportErrorText.empty())
        return false;
    ShowProblem(i, IMPORT_PROBLEM_TREE);
    return true;
}

bool ImportFormatChecks::CheckFields(int32_t i)
{
    ImportErrorText.clear();
    if (!ValidIndex(i))
        return true;
    if (checkView)
        checkView->ClearProblem();
    const ImportFormat& format = ImportFormats[i];
    if (i < PredefinedFormatCount)
        return !CheckNameAndExtension(format.extension, i, CHECK_EXTENSION);
    if (CheckNameAndExtension(format.name, i, CHECK_NAME) ||
        CheckNameAndExtension(format.extension, i, CHECK_EXTENSION))
        return false;

    if (format.fields.empty())
        Fail("Must be at least one field");
    for (size_t k = 0; k < format.fields.size() && ImportErrorText.empty(); ++k) {
        const ImportFormatField& field = format.fields[k];
        if (!IsFieldKey(field.key)) {
            Fail("Need select field");
            break;
        }
        for (size_t m = 0; m < format.fields.size(); ++m)
            if (m != k && format.fields[m].key == field.key) {
                Fail("Field names duplicated");
                break;
            }
        if (ImportErrorText.empty() && format.mode != IMPORT_MODE_DELIMITED)
            CheckBrackets(field.expression);
    }
    if (ImportErrorText.empty())
        return true;
    ShowProblem(i, IMPORT_PROBLEM_FIELDS);
    return false;
}

bool ImportFormatChecks::CheckFormat(int32_t i)
{
    ImportErrorText.clear();
    if (!ValidIndex(i))
        return false;
    const ImportFormat& format = ImportFormats[i];
    std::string prefix = "Import : " + format.name + " - ";
    if (format.fields.empty()) {
        Fail("Must be at least one field");
        LogRejected(prefix, "");
        return false;
    }
    for (const ImportFormatField& field : format.fields) {
        CheckBrackets(field.expression);
        if (!ImportErrorText.empty()) {
            LogRejected(prefix, " - field RegExp: " + field.expression);
            return false;
        }
        if (field.key.empty() || FieldIndexByKey(field.key.c_str()) < 0) {
            Fail("Need select field");
            LogRejected(prefix, " - field: " + field.key);
            return false;
        }
    }
    return true;
}

bool ImportFormatChecks::CanAddSubTemplate(int32_t i)
{
    std::vector<int32_t> family = FamilyOf(i);
    if (family.size() < size_t(IMPORT_FAMILY_MAX))
        return true;
    QString text = QString("Maximum amount of sub-templates (%1) is reached").arg(IMPORT_FAMILY_MAX);
    KxvShell().AddToSystemLog(text);
    KxvShell().Information(text, true);
    return false;
}

bool ImportFormatChecks::CanAddField(int32_t i)
{
    if (!ValidIndex(i) || ImportFormats[i].fields.size() < size_t(IMPORT_FIELDS_MAX))
        return true;
    KxvShell().Information("Max number of fields archived!", true);
    return false;
}
