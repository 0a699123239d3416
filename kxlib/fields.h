// The 25 record fields, their number display formats and the conversion of a
// number field's value to text. A field index 0..24 names a field everywhere.
#pragma once

#include <cstddef>
#include <cstdint>

enum FieldIndex : int32_t {
    FIELD_STIME = 0,
    FIELD_IP,
    FIELD_PROT,
    FIELD_HOST,
    FIELD_FLAGS,
    FIELD_TIME,
    FIELD_SEQ,
    FIELD_NODE,
    FIELD_PID,
    FIELD_PNAME,
    FIELD_TID,
    FIELD_TNAME,
    FIELD_LEVEL,
    FIELD_KXNAME,
    FIELD_KXKEY,
    FIELD_FILE,
    FIELD_LINE,
    FIELD_FUNC,
    FIELD_TEXT,
    FIELD_STR1,
    FIELD_NEST,
    FIELD_ETIME,
    FIELD_COUNT,
    FIELD_NUM1,
    FIELD_NUM2,
    FIELD_Nums
};

enum FieldKind : int32_t {
    FIELD_KIND_STRING = 0,
    FIELD_KIND_INT = 1,
    FIELD_KIND_INT64 = 2,
};

struct FieldDesc {
    int32_t kind;
    int32_t strSlot; // index in the record's string offset table, -1 for numbers
    int32_t width;   // bytes of the field's text in a record's number buffer
};

struct FieldRow {
    const char* key;
    const char* title;
    FieldDesc desc;
};

// Bytes of a number field's span in a record's number buffer: the longest
// text any value of the field's storage width has in any of the formats
// 1..13, plus the terminator.
// - 64 bits (read as i64): the latest instant, "294247-01-10 04:00:54.775807";
//   the others are shorter: "-106751990d 23:59:59.999999" (a negative
//   duration), "-9223372036854775808", "-922337203685477.5808".
constexpr int32_t FIELD_SPAN_I64 = 29;
// - 32 bits (zero-extended): "255.255.255.255"; as a time every value is a
//   duration below 72 minutes ("1:11:34.967295").
constexpr int32_t FIELD_SPAN_U32 = 16;
// - LEVEL, 8 bits sign-extended: -1 as an address, "255.255.255.255", and
//   "-0:00:00.000128".
constexpr int32_t FIELD_SPAN_I8 = 16;
// - 16 bits: "0:00:00.065535"; 8 bits: "0:00:00.000255".
constexpr int32_t FIELD_SPAN_U16 = 15;
constexpr int32_t FIELD_SPAN_U8 = 15;

inline constexpr FieldRow FieldTable[FIELD_Nums] = {
    {"STIME", "Server Time", {FIELD_KIND_INT64, -1, FIELD_SPAN_I64}},
    {"IP", "IP addr", {FIELD_KIND_INT, -1, FIELD_SPAN_U32}},
    {"PROT", "Protocol", {FIELD_KIND_INT, -1, FIELD_SPAN_U8}},
    {"HOST", "Host", {FIELD_KIND_STRING, 0, 14}},
    {"FLAGS", "Flags", {FIELD_KIND_INT, -1, FIELD_SPAN_U32}},
    {"TIME", "Time", {FIELD_KIND_INT64, -1, FIELD_SPAN_I64}},
    {"SEQ", "Seq#", {FIELD_KIND_INT, -1, FIELD_SPAN_U32}},
    {"NODE", "Node", {FIELD_KIND_STRING, 1, 14}},
    {"PID", "PID", {FIELD_KIND_INT64, -1, FIELD_SPAN_I64}},
    {"PNAME", "Process", {FIELD_KIND_STRING, 2, 14}},
    {"TID", "TID", {FIELD_KIND_INT64, -1, FIELD_SPAN_I64}},
    {"TNAME", "Thread", {FIELD_KIND_STRING, 3, 14}},
    {"LEVEL", "Level", {FIELD_KIND_INT, -1, FIELD_SPAN_I8}},
    {"KXNAME", "KX Name", {FIELD_KIND_STRING, 4, 14}},
    {"KXKEY", "KX Key", {FIELD_KIND_INT64, -1, FIELD_SPAN_I64}},
    {"FILE", "File", {FIELD_KIND_STRING, 5, 20}},
    {"LINE", "Line", {FIELD_KIND_INT, -1, FIELD_SPAN_U32}},
    {"FUNC", "Function", {FIELD_KIND_STRING, 6, 20}},
    {"TEXT", "Text", {FIELD_KIND_STRING, 7, 90}},
    {"STR1", "Str1", {FIELD_KIND_STRING, 8, 16}},
    {"NEST", "Nesting", {FIELD_KIND_INT, -1, FIELD_SPAN_U16}},
    {"ETIME", "Exec Time", {FIELD_KIND_INT, -1, FIELD_SPAN_U32}},
    {"COUNT", "Count", {FIELD_KIND_INT, -1, FIELD_SPAN_U16}},
    {"NUM1", "Num1", {FIELD_KIND_INT, -1, FIELD_SPAN_I64}},
    {"NUM2", "Num2", {FIELD_KIND_INT, -1, FIELD_SPAN_I64}},
};

// Bytes that the spans of all number fields take together.
constexpr int32_t FieldNumSpansTotal()
{
    int32_t total = 0;
    for (const FieldRow& row : FieldTable)
        if (row.desc.kind != FIELD_KIND_STRING)
            total += row.desc.width;
    return total;
}

// Number display formats, by the code that column preferences store.
enum NumFormat : uint32_t {
    NUMFMT_STR = 0,
    NUMFMT_INT,
    NUMFMT_HEX,
    NUMFMT_IP,
    NUMFMT_MINUTES,
    NUMFMT_SECONDS,
    NUMFMT_MILLISECONDS,
    NUMFMT_MICROSECONDS,
    NUMFMT_DECIMAL1,
    NUMFMT_DECIMAL2,
    NUMFMT_DECIMAL3,
    NUMFMT_DECIMAL4,
    NUMFMT_DECIMAL5,
    NUMFMT_DECIMAL6,
    NUMFMT_Nums
};

struct NumFormatRow {
    const char* key;
    const char* description;
};

extern const NumFormatRow NumFormatTable[NUMFMT_Nums];

// Room that any number text needs: the widest number field.
constexpr size_t FIELD_NUM_TEXT_MAX = 32;
static_assert(FIELD_SPAN_I64 <= int32_t(FIELD_NUM_TEXT_MAX), "every span fits a text buffer");

// Writes the value in format 1..13 into out (at least FIELD_NUM_TEXT_MAX
// bytes); any other format is an internal error that stops the program.
// Returns the number of characters written.
int fieldsConvertNum2Str(int64_t value, char* out, uint32_t format);

// fieldsConvertNum2Str straight into out when the text fits room bytes with
// its terminator: its length, or -1 with nothing written. The formats of
// most fields write their digits in place.
int fieldsRenderNum(int64_t value, char* out, int room, uint32_t format);

// A stored format that a number field cannot take (from an edited
// preference file, say) becomes the plain integer format.
uint32_t FieldValidNumFormat(uint32_t format);

// The index of the field with this key (exact, case-sensitive), or -1.
int32_t FieldIndexByKey(const char* key);

// "None" for a negative index, "INCORRECT VALUE" for 25 and above.
const char* FieldTitle(int32_t index);
const char* FieldKey(int32_t index);

inline bool FieldIsNumber(int32_t index)
{
    return index >= 0 && index < FIELD_Nums && FieldTable[index].desc.kind != FIELD_KIND_STRING;
}
