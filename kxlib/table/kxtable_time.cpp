// Relative time of a table: TIME values shown as the distance from a chosen
// record, and back.
#include "kxlib/kxchannels.h"
#include "kxlib/table/kxtable.h"

namespace {

// Time0 as the TIME column shows it, for the logs.
void FormatTime0(uint64_t time0, const int32_t formats[FIELD_Nums], char* out)
{
    uint32_t format = FieldValidNumFormat(uint32_t(formats[FIELD_TIME]));
    fieldsConvertNum2Str(int64_t(time0), out, format);
}

} // namespace

void KxTable::ShiftTimes(int64_t delta)
{
    // The records changed: a save that wrote only the metadata would pair
    // the new Time0 with the old times.
    modified_ = true;
    const uint32_t format = FieldValidNumFormat(uint32_t(prefs_.formats[FIELD_TIME]));
    const uint64_t base = AbsoluteBase();
    for (KxTblock* block = firstBlock_; block; block = block->next) {
        for (uint32_t k = 0; k < block->count; ++k) {
            KxdRecord& record = block->recs[k];
            record.prot.msg.TIME += uint64_t(delta);
            record.RenderField(FIELD_TIME, format, base);
        }
    }
    // The rollback test compares arriving records with these; wrapping like
    // TIME itself, since times from files may be anything.
    for (int32_t pos = 0; pos < tids_.Count(); ++pos) {
        KxTidEntry* entry = tids_.At(pos);
        entry->lastTime = int64_t(uint64_t(entry->lastTime) + uint64_t(delta));
    }
}

bool KxTable::NormalizeTimeOn(int32_t row)
{
    if (recordCount_ > 0 && (row < 0 || row >= rowCount_)) {
        Warning(__func__, "NormalizeTimeOn: row %d outside 0..%d", row, rowCount_ - 1);
        return false;
    }
    const uint64_t base = AbsoluteBase();
    int32_t orig = recordCount_ > 0 ? OriginalIndex(row) : -1;
    // A row without a time stands at the table's start: its first row with
    // one.
    if (orig >= 0 && !HasTime(*GetRecordByOriginalIndex(orig))) {
        const int32_t timed = FirstTimedRecord();
        if (timed >= 0)
            orig = timed;
    }
    timeNormalised_ = true;
    prefs_.NormalizeTime = 1;
    // From now on records are moved by this table's own Time0.
    relativeTimeBase_ = false;
    if (recordCount_ == 0)
        return true;
    const uint64_t zero = GetRecordByOriginalIndex(orig)->prot.msg.TIME;
    prefs_.Time0Index = orig;
    prefs_.Time0 = base + zero;
    timeStarted_ = true;
    char text[FIELD_NUM_TEXT_MAX];
    FormatTime0(prefs_.Time0, prefs_.formats, text);
    Trace(2, __func__, "NormalizeTimeOn(%d) => Set Time0 = %s", row, text);
    ShiftTimes(int64_t(0 - zero));
    return true;
}

void KxTable::NormalizeTimeOff()
{
    // Adding Time0 to absolute times would corrupt them.
    if (!timeNormalised_)
        return;
    const uint64_t base = AbsoluteBase();
    timeNormalised_ = false;
    relativeTimeBase_ = false;
    prefs_.NormalizeTime = 0;
    prefs_.Time0Index = -1;
    if (recordCount_ == 0)
        return;
    ShiftTimes(int64_t(base));
    // The document's time is its first record's that has one.
    const int32_t timed = FirstTimedRecord();
    prefs_.Time0 = timed >= 0 ? GetRecordByOriginalIndex(timed)->prot.msg.TIME : 0;
    char text[FIELD_NUM_TEXT_MAX];
    FormatTime0(prefs_.Time0, prefs_.formats, text);
    Trace(2, __func__, "NormalizeTimeOff() => Set Time0 = %s", text);
}

bool KxTable::SetRelativeTimeBase(uint64_t time0, int32_t time0Index)
{
    if (recordCount_ > 0) {
        Warning(__func__, "SetRelativeTimeBase: the table already holds %d records", recordCount_);
        return false;
    }
    timeNormalised_ = true;
    relativeTimeBase_ = true;
    prefs_.NormalizeTime = 1;
    prefs_.Time0 = time0;
    prefs_.Time0Index = time0Index;
    timeStarted_ = true;
    return true;
}

int32_t KxTable::FirstTimedRecord()
{
    for (int32_t orig = 0; orig < recordCount_; ++orig)
        if (HasTime(*GetRecordByOriginalIndex(orig)))
            return orig;
    return -1;
}

void KxTable::SettleRecordsBeforeTime()
{
    // Their text, the start, stays what it is.
    const uint64_t base = AbsoluteBase();
    for (int32_t orig = 0; orig < recordsBeforeTime_ && orig < recordCount_; ++orig)
        GetRecordByOriginalIndex(orig)->prot.msg.TIME = 0 - base;
    recordsBeforeTime_ = 0;
}

uint64_t KxTable::AbsoluteBase() const { return timeNormalised_ && timeStarted_ ? prefs_.Time0 : 0; }

int64_t KxTable::TimeShiftInto(const KxTable& dest) const
{
    const uint64_t arriving = dest.relativeTimeBase_ ? dest.prefs_.Time0 : 0;
    return int64_t(AbsoluteBase() - arriving);
}

bool KxTable::HasTime(const KxdRecord& record) const { return record.prot.msg.TIME + AbsoluteBase() != 0; }
