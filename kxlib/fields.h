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

extern const FieldRow FieldTable[FIELD_Nums];

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

// Writes the value in format 1..13 into out (at least FIELD_NUM_TEXT_MAX
// bytes); any other format is an internal error that stops the program.
// Returns the number of characters written.
int fieldsConvertNum2Str(int64_t value, char* out, uint32_t format);

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
