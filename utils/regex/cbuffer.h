#pragma once

#include <climits>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

// Buffers of plain values used by the regular-expression engine. A CBufferRefT is a non-owning
// view; CBufferT owns and grows its storage.
template <class T>
class CBufferRefT {
    static_assert(std::is_trivially_copyable<T>::value, "buffers hold plain values only");

public:
    CBufferRefT() = default;
    CBufferRefT(const T* data, int size) : m_data(data), m_size(size) {}

    const T* GetData() const { return m_data; }
    int GetSize() const { return m_size; }
    const T& operator[](int index) const { return m_data[index]; }

protected:
    const T* m_data = nullptr;
    int m_size = 0;
};

template <class T>
class CBufferT : public CBufferRefT<T> {
    // Character buffers keep a NUL after their content so that they can be handed out as C strings.
    static constexpr int kTail = std::is_same<T, char>::value ? 1 : 0;

public:
    CBufferT() = default;
    CBufferT(const T* data, int size) { Append(data, size); }
    CBufferT(const CBufferT& other) : CBufferRefT<T>() { Append(other.m_data, other.m_size); }
    CBufferT& operator=(const CBufferT& other)
    {
        if (this != &other) {
            Truncate(0);
            Append(other.m_data, other.m_size);
        }
        return *this;
    }
    ~CBufferT() { ::operator delete(Data()); }

    void Swap(CBufferT& other)
    {
        std::swap(this->m_data, other.m_data);
        std::swap(this->m_size, other.m_size);
        std::swap(m_capacity, other.m_capacity);
    }

    using CBufferRefT<T>::operator[];
    T& operator[](int index) { return Data()[index]; }
    int GetCapacity() const { return m_capacity; }

    // The largest number of values a buffer can hold: its storage stays within INT_MAX bytes.
    static constexpr int kMaxCapacity = static_cast<int>(INT_MAX / sizeof(T));

    // The capacity a buffer of `capacity` takes to hold `need` values (terminator included):
    // at least 8, doubled, or rounded up when doubling is not enough, and never past
    // kMaxCapacity. -1 when `need` cannot be held at all.
    static long long CapacityFor(long long capacity, long long need)
    {
        if (need <= capacity)
            return capacity;
        if (need > kMaxCapacity)
            return -1;
        long long grown = capacity < 8 ? 8 : capacity;
        if (need > grown)
            grown *= 2;
        if (need > grown)
            grown = (need + 11) & ~7LL;
        return grown < kMaxCapacity ? grown : kMaxCapacity;
    }

    void Push(T value)
    {
        if (this->m_size + kTail >= m_capacity)
            GrowTo(static_cast<long long>(this->m_size) + 1);
        Data()[this->m_size++] = value;
        Terminate();
    }

    // Takes the last value; an empty buffer gives a value-initialised T.
    T Pop() { return this->m_size > 0 ? Data()[--this->m_size] : T(); }

    T& Top() { return Data()[this->m_size - 1]; }

    void Append(const T* values, int count)
    {
        if (count <= 0)
            return;
        GrowTo(static_cast<long long>(this->m_size) + count);
        std::memcpy(Data() + this->m_size, values, sizeof(T) * static_cast<size_t>(count));
        this->m_size += count;
        Terminate();
    }

    void Insert(int index, T value)
    {
        Push(value);
        T* data = Data();
        std::memmove(data + index + 1, data + index, sizeof(T) * static_cast<size_t>(this->m_size - 1 - index));
        data[index] = value;
    }

    // Extends the buffer to `size` values, filling the new ones with `fill`.
    void Grow(int size, const T& fill)
    {
        if (size <= this->m_size)
            return;
        GrowTo(size);
        for (int i = this->m_size; i < size; ++i)
            Data()[i] = fill;
        this->m_size = size;
        Terminate();
    }

    // Drops values beyond `size`; the storage is kept for reuse.
    void Truncate(int size)
    {
        if (size < this->m_size) {
            this->m_size = size < 0 ? 0 : size;
            Terminate();
        }
    }

private:
    T* Data() { return const_cast<T*>(this->m_data); }

    void Terminate()
    {
        if (kTail)
            Data()[this->m_size] = T();
    }

    // Every growth goes through here, in 64 bits, so no size overflows an int.
    void GrowTo(long long size)
    {
        if (size + kTail <= m_capacity)
            return;
        const long long capacity = CapacityFor(m_capacity, size + kTail);
        if (capacity < 0)
            throw std::bad_alloc();
        Reallocate(static_cast<int>(capacity));
    }

    void Reallocate(int capacity)
    {
        T* data = static_cast<T*>(::operator new(sizeof(T) * static_cast<size_t>(capacity)));
        if (this->m_data)
            std::memcpy(data, this->m_data, sizeof(T) * static_cast<size_t>(this->m_size + kTail));
        ::operator delete(Data());
        this->m_data = data;
        m_capacity = capacity;
    }

    int m_capacity = 0;
};

