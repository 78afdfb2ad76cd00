#pragma once
// Bounds-checked access to one table of a flatbuffer. Every read checks the buffer size, so a
// truncated or malformed file raises FlatError inside the reader instead of reading past the
// end; TfliteModel::load turns that into an error text.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace nn {

struct FlatError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class FlatTable {
public:
    // The root table of a buffer whose file identifier (bytes 4..7) must equal identifier.
    static FlatTable root(const uint8_t* data, size_t size, const char* identifier);

    bool has(int slot) const { return fieldOffset(slot) != 0; }
    template <typename T> T scalar(int slot, T fallback) const;
    FlatTable table(int slot) const;  // throws when absent
    std::string string(int slot) const;  // empty when absent

    // Vectors: element count, scalar elements, table elements.
    size_t vectorLength(int slot) const;
    template <typename T> std::vector<T> scalarVector(int slot) const;
    FlatTable tableAt(int slot, size_t index) const;
    // Start and length of a vector of bytes, checked to lie inside the buffer.
    const uint8_t* bytes(int slot, size_t& length) const;

private:
    FlatTable(const uint8_t* data, size_t size, size_t pos);
    uint16_t fieldOffset(int slot) const;
    size_t vectorStart(int slot, size_t& count, size_t elementSize) const;  // 0 when absent
    size_t follow(size_t at) const;  // target of the uoffset stored at `at`
    void need(size_t at, size_t length) const;
    template <typename T> T read(size_t at) const;

    const uint8_t* data_;
    size_t size_;
    size_t pos_;
    size_t vtable_;
    uint16_t vtableLength_;
};

template <typename T> T FlatTable::read(size_t at) const
{
    need(at, sizeof(T));
    T value;
    for (size_t i = 0; i < sizeof(T); ++i)
        reinterpret_cast<uint8_t*>(&value)[i] = data_[at + i];  // files are little-endian, as is x86
    return value;
}

template <typename T> T FlatTable::scalar(int slot, T fallback) const
{
    const uint16_t offset = fieldOffset(slot);
    return offset ? read<T>(pos_ + offset) : fallback;
}

template <typename T> std::vector<T> FlatTable::scalarVector(int slot) const
{
    size_t count = 0;
    const size_t start = vectorStart(slot, count, sizeof(T));
    std::vector<T> values(count);
    for (size_t i = 0; i < count; ++i)
        values[i] = read<T>(start + i * sizeof(T));
    return values;
}

} // namespace nn
