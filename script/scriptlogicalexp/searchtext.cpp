#include "script/scriptlogicalexp/searchtext.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "kxlib/kxdrecord.h"
#include "utils/common/strbase.h"

namespace {

bool IsLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The bytes that the number formats write: decimals, "0x" and upper-case
// hexadecimal digits, dotted addresses, dates and times, fixed decimals,
// and '#' for a number that does not fit its span.
bool NumberByte(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || c == 'x' || c == '-' || c == ':' || c == '.' ||
           c == ' ' || c == '#';
}

bool Inside(const char* p, const char* area, size_t size)
{
    const auto at = reinterpret_cast<uintptr_t>(p);
    const auto begin = reinterpret_cast<uintptr_t>(area);
    return at >= begin && at - begin < size;
}

} // namespace

void SearchText::Set(const char* text, bool matchCase)
{
    text_ = text ? text : "";
    matchCase_ = matchCase;
    firstFold_ = lastFold_ = 0;
    if (matchCase_ || text_.empty())
        return;
    for (char& c : text_)
        c = ZmLib::AsciiLower(c);
    firstFold_ = IsLetter(static_cast<unsigned char>(text_.front())) ? 0x20 : 0;
    lastFold_ = IsLetter(static_cast<unsigned char>(text_.back())) ? 0x20 : 0;
}

bool SearchText::SameAt(const char* at) const
{
    if (matchCase_)
        return std::memcmp(at, text_.data(), text_.size()) == 0;
    for (size_t k = 0; k < text_.size(); ++k)
        if (ZmLib::AsciiLower(at[k]) != text_[k])
            return false;
    return true;
}

bool SearchText::In(const char* data, size_t size) const
{
    const size_t length = text_.size();
    if (length == 0)
        return true;
    if (size < length)
        return false;
    const auto first = static_cast<unsigned char>(text_.front());
    size_t i = 0;
#if defined(__SSE2__)
    // Both loads of a block stay inside the data: the last byte read is
    // data[i + length - 1 + 15].
    const __m128i wantFirst = _mm_set1_epi8(char(first));
    const __m128i wantLast = _mm_set1_epi8(text_.back());
    const __m128i foldFirst = _mm_set1_epi8(char(firstFold_));
    const __m128i foldLast = _mm_set1_epi8(char(lastFold_));
    for (; i + length + 15 <= size; i += 16) {
        const __m128i a = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i)), foldFirst);
        const __m128i b =
            _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + length - 1)), foldLast);
        auto mask = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, wantFirst), _mm_cmpeq_epi8(b, wantLast))));
        for (; mask; mask &= mask - 1)
            if (SameAt(data + i + unsigned(__builtin_ctz(mask))))
                return true;
    }
#endif
    for (; i + length <= size; ++i)
        if ((static_cast<unsigned char>(data[i]) | firstFold_) == first && SameAt(data + i))
            return true;
    return false;
}

void SearchRecordFilter::Set(const char* text, bool matchCase)
{
    raw_ = text ? text : "";
    matchCase_ = matchCase;
    text_.Set(text, matchCase);
    numbersMayHold_ = true;
    for (const char* p = text ? text : ""; *p; ++p) {
        const char upper = (*p >= 'a' && *p <= 'z') ? char(*p - 'a' + 'A') : *p;
        const bool possible = NumberByte(*p) || (!matchCase && (NumberByte(upper) || NumberByte(ZmLib::AsciiLower(*p))));
        numbersMayHold_ = numbersMayHold_ && possible;
    }
    fields_.clear();
    for (int32_t field = 0; field < FIELD_Nums; ++field)
        if (numbersMayHold_ || !FieldIsNumber(field))
            fields_.push_back(field);
}

bool SearchRecordFilter::MayHold(const KxdRecord& record) const
{
    const char* strings = record.prot.msg.strings;
    const size_t stringsSize = sizeof(record.prot.msg.strings);
    const char* numbers = record.NumsBuf;
    const size_t numbersSize = sizeof(record.NumsBuf);
    // The text that starts last in the string area ends where the used part
    // ends: a text starting before it either ends before it or runs into it.
    const char* last = nullptr;
    bool inNumbers = false;
    for (int32_t field : fields_) {
        const char* t = record.Text(field);
        // The number buffer holds nothing but number renderings.
        if (Inside(t, numbers, numbersSize)) {
            inNumbers = true;
            continue;
        }
        if (!Inside(t, strings, stringsSize))
            return true;
        if (!last || t > last)
            last = t;
    }
    if (numbersMayHold_ && inNumbers && (numbers[numbersSize - 1] != '\0' || text_.In(numbers, numbersSize)))
        return true;
    if (!last)
        return false;
    const auto* end = static_cast<const char*>(std::memchr(last, 0, size_t(strings + stringsSize - last)));
    return !end || text_.In(strings, size_t(end - strings));
}

const char* SearchRecordFilter::Find(const char* value) const
{
    return matchCase_ ? std::strstr(value, raw_.c_str()) : ZmLib::StrIStr(value, raw_.c_str());
}

bool SearchRecordFilter::Holds(const KxdRecord& record) const
{
    if (!MayHold(record))
        return false;
    for (int32_t field : fields_)
        if (Find(record.Text(field)))
            return true;
    return false;
}
