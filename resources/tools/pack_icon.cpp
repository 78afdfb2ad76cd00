// Build-time helper: packs PNG pictures into one Windows icon file (.ico), each
// picture stored as a PNG entry, so the window icon keeps its usual container.
// Usage: vyr_pack_icon output.ico input.png...
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

bool readFile(const char *path, Bytes &out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

uint32_t bigEndian32(const Bytes &data, size_t at)
{
    return uint32_t(data[at]) << 24 | uint32_t(data[at + 1]) << 16 | uint32_t(data[at + 2]) << 8
           | uint32_t(data[at + 3]);
}

void putLittle(Bytes &out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// The IHDR chunk always follows the 8-byte signature; width and height open it.
bool isPng(const Bytes &data)
{
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    return data.size() > 24 && std::equal(signature, signature + 8, data.begin());
}

// An icon directory stores 256 as 0.
unsigned char iconDimension(uint32_t pixels)
{
    return pixels >= 256 ? 0 : static_cast<unsigned char>(pixels);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::cerr << "usage: vyr_pack_icon output.ico input.png...\n";
        return 2;
    }
    std::vector<Bytes> pictures;
    for (int i = 2; i < argc; ++i) {
        Bytes data;
        if (!readFile(argv[i], data) || !isPng(data)) {
            std::cerr << "not a PNG file: " << argv[i] << "\n";
            return 1;
        }
        pictures.push_back(std::move(data));
    }
    Bytes out;
    putLittle(out, 0, 2);
    putLittle(out, 1, 2);
    putLittle(out, uint32_t(pictures.size()), 2);
    uint32_t offset = uint32_t(6 + 16 * pictures.size());
    for (const Bytes &png : pictures) {
        out.push_back(iconDimension(bigEndian32(png, 16)));
        out.push_back(iconDimension(bigEndian32(png, 20)));
        putLittle(out, 0, 2); // no palette, reserved
        putLittle(out, 1, 2); // colour planes
        putLittle(out, 32, 2); // bits per pixel
        putLittle(out, uint32_t(png.size()), 4);
        putLittle(out, offset, 4);
        offset += uint32_t(png.size());
    }
    for (const Bytes &png : pictures)
        out.insert(out.end(), png.begin(), png.end());
    std::ofstream file(argv[1], std::ios::binary);
    file.write(reinterpret_cast<const char *>(out.data()), std::streamsize(out.size()));
    return file ? 0 : 1;
}
