#include "utils/kx/kxdprot.h"

#include <cstring>

#include "utils/kx/kx.h"

namespace ZmLib {

namespace {

// The string area's last byte is kept for the final terminator.
constexpr uint32_t STR_LIMIT = KxProt::LEN_STRFIELDS - 1;

} // namespace

const char* KxProt::String(int slot) const
{
    if (slot < 0 || slot >= STR_SLOTS)
        return "";
    uint16_t offset = offsets[slot];
    if (offset >= LEN_STRFIELDS)
        return "";
    if (!memchr(strings + offset, 0, LEN_STRFIELDS - offset))
        return "";
    return strings + offset;
}

void KxProt::SwapHeader()
{
    FLAGS = __builtin_bswap32(FLAGS);
    TIME = __builtin_bswap64(TIME);
    PID = __builtin_bswap64(PID);
    TID = __builtin_bswap64(TID);
    KXKEY = __builtin_bswap64(KXKEY);
    SEQ = __builtin_bswap32(SEQ);
    LINE = __builtin_bswap32(LINE);
    for (uint16_t& offset : offsets)
        offset = __builtin_bswap16(offset);
    opt_len = __builtin_bswap16(opt_len);
    magic = MAGIC;
}

uint32_t KxProt::MessageLength() const
{
    return LEN_HEADER + (opt_len < LEN_STRFIELDS ? opt_len : LEN_STRFIELDS);
}

uint16_t KxProt::AppendRaw(uint32_t& pos, const char* text)
{
    if (pos >= LEN_STRFIELDS)
        return 0;
    uint32_t start = pos;
    while (*text && pos < LEN_STRFIELDS - 1)
        strings[pos++] = *text++;
    strings[pos++] = 0;
    return uint16_t(start);
}

bool KxdProt::IsNumberField(int field)
{
    switch (field) {
    case FLD_STIME:
    case FLD_IP:
    case FLD_PROT:
    case FLD_FLAGS:
    case FLD_TIME:
    case FLD_SEQ:
    case FLD_PID:
    case FLD_TID:
    case FLD_LEVEL:
    case FLD_KXKEY:
    case FLD_LINE:
    case FLD_NEST:
    case FLD_ETIME:
    case FLD_COUNT:
    case FLD_NUM1:
    case FLD_NUM2:
        return true;
    default:
        return false;
    }
}

int64_t KxdProt::GetIntValue(int field) const
{
    switch (field) {
    case FLD_STIME: return int64_t(STIME);
    case FLD_IP: return IP;
    case FLD_PROT: return PROT;
    case FLD_FLAGS: return msg.FLAGS;
    case FLD_TIME: return int64_t(msg.TIME);
    case FLD_SEQ: return msg.SEQ;
    case FLD_PID: return int64_t(msg.PID);
    case FLD_TID: return int64_t(msg.TID);
    case FLD_LEVEL: return msg.LEVEL;
    case FLD_KXKEY: return int64_t(msg.KXKEY);
    case FLD_LINE: return msg.LINE;
    case FLD_NEST: return NEST;
    case FLD_ETIME: return EXECTIME;
    case FLD_COUNT: return COUNT;
    case FLD_NUM1: return int64_t(NUM1);
    case FLD_NUM2: return int64_t(NUM2);
    default: return 0;
    }
}

void KxdProt::SetIntValue(int field, uint64_t value)
{
    switch (field) {
    case FLD_STIME: STIME = value; break;
    case FLD_IP: IP = uint32_t(value); break;
    case FLD_PROT: PROT = uint8_t(value); break;
    case FLD_FLAGS: msg.FLAGS = uint32_t(value); break;
    case FLD_TIME: msg.TIME = value; break;
    case FLD_SEQ: msg.SEQ = uint32_t(value); break;
    case FLD_PID: msg.PID = value; break;
    case FLD_TID: msg.TID = value; break;
    case FLD_LEVEL: msg.LEVEL = int8_t(uint8_t(value)); break;
    case FLD_KXKEY: msg.KXKEY = value; break;
    case FLD_LINE: msg.LINE = uint32_t(value); break;
    case FLD_NEST: NEST = uint16_t(value); break;
    case FLD_ETIME: EXECTIME = uint32_t(value); break;
    case FLD_COUNT: COUNT = uint16_t(value); break;
    case FLD_NUM1: NUM1 = value; break;
    case FLD_NUM2: NUM2 = value; break;
    default:
        KX_ERROR(KxSys, "Incorrect field enum value");
        ::abort();
    }
}

void KxdProt::SetStrings(const char* const strings[KxProt::STR_SLOTS], const uint16_t* lengths)
{
    char* area = msg.strings;
    area[0] = 0;
    area[1] = 0;
    uint32_t pos = 1;
    int slot = 0;
    for (; slot < KxProt::STR_SLOTS && pos < STR_LIMIT; ++slot) {
        if (!strings[slot]) {
            msg.offsets[slot] = 0;
            continue;
        }
        msg.offsets[slot] = uint16_t(pos);
        if (lengths) {
            uint32_t length = lengths[slot];
            if (pos + length < STR_LIMIT) {
                memcpy(area + pos, strings[slot], length);
                pos += length;
            }
        } else {
            const char* text = strings[slot];
            while (*text && pos < STR_LIMIT)
                area[pos++] = *text++;
        }
        area[pos++] = 0;
    }
    for (; slot < KxProt::STR_SLOTS; ++slot)
        msg.offsets[slot] = 0;
    msg.opt_len = uint16_t(pos);
}

} // namespace ZmLib
