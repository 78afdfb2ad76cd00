#include "nn/FlatTable.h"

#include <cstring>

namespace nn {

FlatTable FlatTable::root(const uint8_t* data, size_t size, const char* identifier)
{
    if (size < 8 || std::memcmp(data + 4, identifier, 4) != 0)
        throw FlatError(std::string("not a flatbuffer with identifier ") + identifier);
    uint32_t offset;
    std::memcpy(&offset, data, 4);
    return FlatTable(data, size, offset);
}

FlatTable::FlatTable(const uint8_t* data, size_t size, size_t pos)
    : data_(data), size_(size), pos_(pos), vtable_(0), vtableLength_(0)
{
    const int64_t vtable = static_cast<int64_t>(pos) - read<int32_t>(pos);
    if (vtable < 0 || static_cast<uint64_t>(vtable) + 4 > size)
        throw FlatError("table points outside the file");
    vtable_ = static_cast<size_t>(vtable);
    vtableLength_ = read<uint16_t>(vtable_);
    need(vtable_, vtableLength_);
}

void FlatTable::need(size_t at, size_t length) const
{
    if (at > size_ || length > size_ - at)
        throw FlatError("file truncated or offset out of range");
}

uint16_t FlatTable::fieldOffset(int slot) const
{
    const size_t entry = 4 + 2 * static_cast<size_t>(slot);
    if (entry + 2 > vtableLength_)
        return 0;
    return read<uint16_t>(vtable_ + entry);
}

size_t FlatTable::follow(size_t at) const
{
    return at + read<uint32_t>(at);
}

FlatTable FlatTable::table(int slot) const
{
    const uint16_t offset = fieldOffset(slot);
    if (!offset)
        throw FlatError("required table missing");
    return FlatTable(data_, size_, follow(pos_ + offset));
}

size_t FlatTable::vectorStart(int slot, size_t& count, size_t elementSize) const
{
    count = 0;
    const uint16_t offset = fieldOffset(slot);
    if (!offset)
        return 0;
    const size_t at = follow(pos_ + offset);
    count = read<uint32_t>(at);
    if (count > size_ / elementSize)
        throw FlatError("vector longer than the file");
    need(at + 4, count * elementSize);
    return at + 4;
}

size_t FlatTable::vectorLength(int slot) const
{
    size_t count = 0;
    vectorStart(slot, count, 1);
    return count;
}

std::string FlatTable::string(int slot) const
{
    size_t length = 0;
    const uint8_t* text = bytes(slot, length);
    return text ? std::string(reinterpret_cast<const char*>(text), length) : std::string();
}

FlatTable FlatTable::tableAt(int slot, size_t index) const
{
    size_t count = 0;
    const size_t start = vectorStart(slot, count, 4);
    if (index >= count)
        throw FlatError("vector index out of range");
    return FlatTable(data_, size_, follow(start + 4 * index));
}

const uint8_t* FlatTable::bytes(int slot, size_t& length) const
{
    const size_t start = vectorStart(slot, length, 1);
    return start ? data_ + start : nullptr;
}

} // namespace nn
