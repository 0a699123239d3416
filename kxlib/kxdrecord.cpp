#include "kxlib/kxdrecord.h"

#include <cinttypes>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "kxlib/kxauxtree.h"
#include "kxlib/table/kxtids.h"
#include "kxlib/kxchannels.h"
#include "kxlib/table/kxtable.h"
#include "utils/common/convert.h"
#include "utils/common/strbase.h"
#include "utils/kx/kx.h"

namespace {

const char* const ErrorKindNames[KXERR_Nums] = {
    "NoErrors",
    "TidListBroken",
    "FuncStackOverflown",
    "FuncLeaveUnexpected",
    "FuncLeaveNameIncorrect",
    "TidTimeRollback",
    "TimeRollbackWarning",
};

constexpr uint32_t STR_LIMIT = ZmLib::KxProt::LEN_STRFIELDS - 1;

// Reports of the record processing name it as one step, however a load
// splits it.
constexpr const char* ReportName = "ProcessLine4Client";

} // namespace

const char* KxdErrorKindName(int32_t kind)
{
    if (kind < 0)
        return "None";
    if (kind >= int32_t(KXERR_Nums))
        return "INCORRECT VALUE";
    return ErrorKindNames[kind];
}

void KxCopyName(char* name, const char* text)
{
    int n = 0;
    while (n < KX_NAME_MAX && text[n] && text[n] != ',') {
        name[n] = text[n];
        ++n;
    }
    name[n] = 0;
}

bool KxParseNameAnnouncement(const char* text, char* name, uint64_t* id)
{
    const char* colon = strchr(text, ':');
    if (!colon)
        return false;
    const char* start = colon + 1;
    while (*start == ' ' || *start == '\t')
        ++start;
    const char* eq = strchr(start, '=');
    if (!eq)
        return false;
    // "%lli" without the scanning machinery: a missing number reads 0.
    *id = uint64_t(strtoll(eq + 1, nullptr, 0));
    KxCopyName(name, start);
    return true;
}


namespace {

// Offset of each number field's span in NumsBuf: the widths in field order.
struct SpanLayout {
    int offset[FIELD_Nums];
    int end;
    constexpr SpanLayout() : offset(), end(0)
    {
        for (int field = 0; field < FIELD_Nums; ++field) {
            offset[field] = end;
            if (FieldTable[field].desc.kind != FIELD_KIND_STRING)
                end += FieldTable[field].desc.width;
        }
    }
};

constexpr SpanLayout Spans;

} // namespace

void KxdMsg::ConvertNum2Str(bool reserve, const int32_t formats[FIELD_Nums], uint64_t timeBase)
{
    if (reserve)
        NumsBufFreePos = uint16_t(Spans.end);
    // With the area's last byte 0 every string in it is terminated: a slot's
    // text is found by its offset alone, without a search per field.
    const ZmLib::KxProt& msg = prot.msg;
    const bool terminated = msg.strings[ZmLib::KxProt::LEN_STRFIELDS - 1] == 0;
    for (int field = 0; field < FIELD_Nums; ++field) {
        const FieldDesc& desc = FieldTable[field].desc;
        if (desc.kind == FIELD_KIND_STRING) {
            const uint16_t offset = msg.offsets[desc.strSlot];
            SetText(field, terminated && offset < ZmLib::KxProt::LEN_STRFIELDS ? msg.strings + offset
                                                                                : prot.String(desc.strSlot));
        } else {
            RenderField(field, FieldValidNumFormat(uint32_t(formats[field])), timeBase);
        }
    }
}

void KxdMsg::RenderField(int field, uint32_t format, uint64_t timeBase)
{
    if (!FieldIsNumber(field)) {
        KX_ERROR(ZmLib::KxSys, "Internal error");
        abort();
    }
    // The spans are sized for the longest text of every format.
    int64_t value = prot.GetIntValue(field);
    if (field == FIELD_TIME && prot.msg.TIME + timeBase == 0)
        value = 0;
    if (fieldsRenderNum(value, NumsBuf + Spans.offset[field], FieldTable[field].desc.width,
                        format) < 0) {
        KX_ERROR(ZmLib::KxSys, "Internal error");
        abort();
    }
    textOff[field] = uint16_t(offsetof(KxdMsg, NumsBuf) + size_t(Spans.offset[field]));
}

int64_t KxdMsg::Int64(int field) const
{
    if (!FieldIsNumber(field)) {
        KX_ERROR(ZmLib::KxSys, "Incorrect integer value requiest for field #%d", field);
        return 0;
    }
    return prot.GetIntValue(field);
}

char* KxdMsg::AppendString(int slot, const char* str)
{
    ZmLib::KxProt& msg = prot.msg;
    char* area = msg.strings;
    uint32_t pos = msg.opt_len;
    // A record from outside may carry any opt_len; a position that leaves no
    // room makes the string empty.
    if (pos >= STR_LIMIT || slot < 0 || slot >= ZmLib::KxProt::STR_SLOTS)
        return area;
    // Byte 0 is the empty string every empty slot points at.
    if (pos == 0) {
        area[0] = 0;
        pos = 1;
    }
    uint32_t room = STR_LIMIT - pos;
    uint32_t n = 0;
    while (n + 1 < room && str[n]) {
        area[pos + n] = str[n];
        ++n;
    }
    area[pos + n] = 0;
    msg.offsets[slot] = uint16_t(pos);
    msg.opt_len = uint16_t(pos + n + 1);
    return area + pos;
}

void KxdMsg::Copy(KxdMsg* dest, const KxdMsg* src)
{
    if (dest != src)
        memmove(static_cast<void*>(dest), static_cast<const void*>(src), sizeof(KxdMsg));
}

void KxdRecord::Reset()
{
    memset(static_cast<void*>(this), 0, sizeof(*this));
}

void KxdRecord::Move(KxdRecord* dest, const KxdRecord* src)
{
    KxdMsg::Copy(dest, src);
    dest->block = src->block;
    dest->bookmark = src->bookmark;
    dest->selRange = src->selRange;
    dest->errorKind = src->errorKind;
}

void KxdRecord::ProcessLine4Client(KxdRecord* record, bool copyMode)
{
    KxTable& table = *record->block->table;
    ProcessTimeBase(record, true);
    table.SettleRecordsBeforeTime();
    ProcessOwnTexts(record, copyMode, table.prefs_.formats, table.AbsoluteBase());
    ProcessInOrder(record, copyMode);
}

void KxdRecord::ProcessTimeBase(KxdRecord* record, bool inOrder)
{
    KxTable& table = *record->block->table;
    uint64_t& time = record->prot.msg.TIME;
    if (inOrder && table.recordCount_ == 1 && !table.relativeTimeBase_)
        table.timeStarted_ = false;
    // The first record with a time of its own starts the table's time; one
    // that got none from its line (a header, an unmatched line) holds 0 and
    // does not.
    if (inOrder && !table.timeStarted_ && time != 0) {
        table.timeStarted_ = true;
        if (table.timeNormalised_) {
            table.prefs_.Time0Index = int32_t(record->block->first + uint32_t(record - record->block->recs));
            // The records before it hold the start, 0, until
            // SettleRecordsBeforeTime.
            table.recordsBeforeTime_ = table.prefs_.Time0Index;
            table.prefs_.Time0 = time;
            char buffer[64];
            ZmLib::Time2Str(int64_t(table.prefs_.Time0), buffer, sizeof(buffer), 3);
            table.Trace(ZmLib::KX_LEVEL_NOTICE, ReportName, "Time0 set to %s", buffer);
        } else if (table.prefs_.Time0Index < 0) {
            table.prefs_.Time0 = time;
        }
    }
    // Records stored relative to the table's Time0 keep their TIME; those
    // before its first time stay at 0, its start, until they are settled.
    if (table.timeNormalised_ && !table.relativeTimeBase_ && table.timeStarted_)
        time -= table.prefs_.Time0;
}

void KxdRecord::ProcessOwnTexts(KxdRecord* record, bool copyMode, const int32_t formats[FIELD_Nums],
                                uint64_t timeBase)
{
    // Every text pointer into the string area must find its terminator there.
    record->prot.msg.strings[STR_LIMIT] = 0;
    record->ConvertNum2Str(!copyMode, formats, timeBase);
}

void KxdRecord::ProcessInOrder(KxdRecord* record, bool copyMode, bool addToAuxTree)
{
    KxTable& table = *record->block->table;
    ZmLib::KxdProt& prot = record->prot;
    uint32_t flags = prot.msg.FLAGS;
    // 3. Enter and leave records show the function name as their text.
    if (flags & (KXFLAGS_FUNC_ENTER | KXFLAGS_FUNC_LEAVE))
        record->SetText(FIELD_TEXT, record->Text(FIELD_FUNC));

    char name[KX_NAME_MAX + 1];
    uint64_t id = 0;
    // 4. and 5. Name announcements, parsed from the TEXT slot's own string.
    if ((flags & KXFLAGS_PROCESS_NAME) && KxParseNameAnnouncement(prot.String(ZmLib::KxdProt::SLOT_TEXT), name, &id))
        table.SetProcessName(id, name);
    if ((flags & KXFLAGS_THREAD_NAME) && KxParseNameAnnouncement(prot.String(ZmLib::KxdProt::SLOT_TEXT), name, &id))
        table.tids_.AddNewData(id, name);

    // 6. Process name.
    uint64_t pid = prot.msg.PID;
    if (!record->Text(FIELD_PNAME)[0]) {
        const char* known = table.ProcessName(pid);
        if (known) {
            record->SetText(FIELD_PNAME, record->AppendString(ZmLib::KxdProt::SLOT_PNAME, known));
        } else {
            record->SetText(FIELD_PNAME, record->Text(FIELD_PID));
            table.SetProcessName(pid, record->Text(FIELD_PID));
        }
    } else {
        table.SetProcessName(pid, record->Text(FIELD_PNAME));
    }

    // 7. Thread name and entry.
    uint64_t tid = prot.msg.TID;
    KxTidEntry* entry = nullptr;
    if (record->Text(FIELD_TNAME)[0]) {
        entry = table.tids_.AddNewData(tid, record->Text(FIELD_TNAME));
    } else {
        entry = table.tids_.Find(tid);
        if (entry) {
            record->SetText(FIELD_TNAME, record->AppendString(ZmLib::KxdProt::SLOT_TNAME, entry->name));
        } else {
            KxTidEntry* known = table.satellite_ ? table.satellite_->tids_.Find(tid) : nullptr;
            if (known)
                record->SetText(FIELD_TNAME, record->AppendString(ZmLib::KxdProt::SLOT_TNAME, known->name));
            else
                record->SetText(FIELD_TNAME, record->Text(FIELD_TID));
            entry = table.tids_.AddNewData(tid, record->Text(FIELD_TNAME));
        }
    }

    // 8. Version information.
    if (flags & KXFLAGS_VERINFO) {
        const char* colon = strchr(prot.String(ZmLib::KxdProt::SLOT_TEXT), ':');
        if (colon) {
            table.version_.Set(colon + 1);
            table.hasVersion_ = true;
            table.Trace(ZmLib::KX_LEVEL_NOTICE, ReportName, "Version found: %s", table.version_.c_str());
        } else {
            table.hasVersion_ = false;
            table.version_.Clear();
            table.Warning(ReportName, "KXFLAGS_VERINFO bit set, but no version found");
        }
    }

    // 9. Function nesting and presentation errors.
    if (!copyMode) {
        if (!entry) {
            prot.NEST = 0;
            record->errorKind = KXERR_TidListBroken;
        } else {
            if (flags & KXFLAGS_FUNC_LEAVE) {
                prot.NEST = uint16_t(entry->depth);
                record->errorKind = KxTids::FuncLeave(
                    *entry, record, FieldValidNumFormat(uint32_t(table.prefs_.formats[FIELD_ETIME])));
            } else if (flags & KXFLAGS_FUNC_ENTER) {
                record->errorKind = KxTids::FuncEnter(*entry, record);
                prot.NEST = uint16_t(entry->depth);
            } else {
                prot.NEST = uint16_t(entry->depth);
            }
            int64_t time = int64_t(prot.msg.TIME);
            if (entry->hasLast && time < entry->lastTime)
                record->errorKind = KXERR_TidTimeRollback;
            entry->hasLast = true;
            entry->lastTime = time;
        }
        // NEST was rendered before it was known.
        record->RenderField(FIELD_NEST, FieldValidNumFormat(uint32_t(table.prefs_.formats[FIELD_NEST])));
    }

    // 10. The aux tree.
    if (addToAuxTree)
        table.auxTree_.Add(record);
}

void KxdRecord::CopyInto(KxdRecord* dest, const KxdRecord* src, int64_t timeShift)
{
    KxdMsg::Copy(dest, src);
    dest->prot.msg.TIME += uint64_t(timeShift);
    // A name shown from its id alone lives in no string slot: the copy keeps
    // it as its own, since another table may name the same id otherwise.
    const std::pair<int, int> names[] = {{FIELD_PNAME, ZmLib::KxdProt::SLOT_PNAME},
                                         {FIELD_TNAME, ZmLib::KxdProt::SLOT_TNAME}};
    for (const auto& [field, slot] : names)
        if (!src->prot.String(slot)[0] && src->Text(field)[0])
            dest->AppendString(slot, src->Text(field));
}
