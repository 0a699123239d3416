#include "utils/common/textio.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "utils/kx/kx.h"

namespace ZmLib {

namespace {

// The string header of a TextBuf block. Appending raw bytes needs the
// length directly: a written piece may hold NUL bytes.
class TextBlock : public StrBase {
public:
    TextBlock(char* buffer, uint32_t capacity) : StrBase(buffer, capacity) {}

    void AppendBytes(const char* data, size_t count)
    {
        memcpy(data_ + length_, data, count);
        length_ += uint32_t(count);
        data_[length_] = 0;
    }
};

static_assert(sizeof(TextBlock) == sizeof(StrBase), "the block header is a plain StrBase");

} // namespace

char* TextFile::ReadLine()
{
    if (!File.IsOpen())
        return nullptr;
    char* buffer = StrBase::TempBuffer();
    return fgets(buffer, int(TEMP_STR_CAPACITY + 1), File.Handle);
}

int TextFile::Printf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = File.VPrintf(format, args);
    va_end(args);
    return n;
}

size_t TextFile::Write(const void* data, size_t count)
{
    return File.Write(data, count);
}

int TextFile::PutChar(char ch)
{
    return File.IsOpen() ? fputc(static_cast<unsigned char>(ch), File.Handle) : EOF;
}

void TextBuf::Construct(uint32_t capacity)
{
    KX_ASSERT(KxSys, !Buffer);
    void* block = ::operator new(sizeof(TextBlock) + size_t(capacity) + 1);
    char* chars = static_cast<char*>(block) + sizeof(TextBlock);
    Buffer = new (block) TextBlock(chars, capacity);
}

void TextBuf::Free()
{
    if (Buffer == nullptr)
        return;
    TextBlock* block = static_cast<TextBlock*>(Buffer);
    block->~TextBlock();
    ::operator delete(static_cast<void*>(block));
    Buffer = nullptr;
}

char* TextBuf::ReadLine()
{
    if (Buffer == nullptr)
        return nullptr;
    char* line = Buffer->Cursor();
    char* end = Buffer->Data() + Buffer->Length();
    if (line == nullptr || line >= end)
        return nullptr;
    char* lf = static_cast<char*>(memchr(line, '\n', size_t(end - line)));
    if (lf != nullptr) {
        *lf = 0;
        Buffer->SetCursor(lf + 1);
    } else {
        // The last line without a line end; the block's NUL ends it.
        Buffer->SetCursor(end);
    }
    return line;
}

// A piece is appended whole and only when length + count < capacity.
bool TextBuf::Append(const char* data, size_t count)
{
    if (Buffer == nullptr || count >= size_t(Buffer->Capacity()) - Buffer->Length())
        return false;
    static_cast<TextBlock*>(Buffer)->AppendBytes(data, count);
    return true;
}

int TextBuf::Printf(const char* format, ...)
{
    char* text = nullptr;
    va_list args;
    va_start(args, format);
    int n = StrBase::VFormatTemp(text, format, args);
    va_end(args);
    if (n < 0 || !Append(text, size_t(n)))
        return 0;
    return n;
}

size_t TextBuf::Write(const void* data, size_t count)
{
    if (data == nullptr || !Append(static_cast<const char*>(data), count))
        return 0;
    return count;
}

int TextBuf::PutChar(char ch)
{
    // One character may fill the block to its capacity.
    if (Buffer == nullptr || Buffer->Length() >= Buffer->Capacity())
        return EOF;
    static_cast<TextBlock*>(Buffer)->AppendBytes(&ch, 1);
    return static_cast<unsigned char>(ch);
}

} // namespace ZmLib
