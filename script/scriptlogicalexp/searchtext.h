// A plain text looked for in raw memory, fast enough that a plain-word filter
// over a million records keeps pace with grep over the same records as text
// lines: 16 bytes at a time are compared with the text's first and last byte,
// and only the candidates are compared whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct KxdRecord;

class SearchText {
public:
    // matchCase false: ASCII letters match in either case, as ZmLib::StrIStr.
    void Set(const char* text, bool matchCase);

    // True when the text occurs in the size bytes at data. NULs are ordinary
    // bytes here, so an area of NUL-separated texts is scanned at once: the
    // text holds no NUL, so it is found exactly when one of them holds it.
    bool In(const char* data, size_t size) const;

private:
    bool SameAt(const char* at) const;

    // Folded to lower case without match case.
    std::string text_;
    bool matchCase_ = true;
    // OR-ed into a byte before it is compared with the first or last byte:
    // 0x20 folds a letter's case; 0 keeps any other byte exact.
    unsigned char firstFold_ = 0;
    unsigned char lastFold_ = 0;
};

// The first test of the simple search on a record. Field texts lie in the
// record's string area, or are number renderings in its number buffer; so
// one scan of the part of the string area that the texts use answers most
// records. Number texts are searched only when every byte of the text can
// occur in a number rendering.
class SearchRecordFilter {
public:
    void Set(const char* text, bool matchCase);
    // False only when no field text of the record holds the text; true when
    // one may (a text found, or one lying outside the areas).
    bool MayHold(const KxdRecord& record) const;
    // The fields whose texts may hold the text at all.
    const std::vector<int32_t>& Fields() const { return fields_; }
    // Where a field text holds the text; null when it does not.
    const char* Find(const char* value) const;
    // Whether a field text of the record holds the text.
    bool Holds(const KxdRecord& record) const;

private:
    std::string raw_;
    bool matchCase_ = true;
    SearchText text_;
    bool numbersMayHold_ = true;
    std::vector<int32_t> fields_;
};
