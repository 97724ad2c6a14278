// Writes the icon of setup.exe from its pixel map (icon.txt): one 32 by 32
// image at 24 bits per pixel with a transparency mask, in the .ico format.
// Usage: mkicon icon.txt setup.ico

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

static const int SIZE = 32;
static const char TRANSPARENT = '.';

static void Put16(std::string &out, uint16_t v)
{
    out += char(v & 0xff);
    out += char(v >> 8);
}

static void Put32(std::string &out, uint32_t v)
{
    Put16(out, v & 0xffff);
    Put16(out, v >> 16);
}

static int Fail(const char *what, int line)
{
    std::fprintf(stderr, "mkicon: line %d: %s\n", line, what);
    return 1;
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: mkicon icon.txt setup.ico\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::perror(argv[1]);
        return 1;
    }

    // Comments, then the palette up to a blank line, then the rows.
    std::map<char, uint32_t> palette;
    std::vector<std::string> rows;
    std::string text;
    int number = 0;
    bool inPalette = true;
    while (std::getline(in, text)) {
        ++number;
        if (text.empty() ? !inPalette : text[0] == '#')
            continue;
        if (text.empty()) {
            inPalette = false;
        } else if (inPalette) {
            if (text.size() != 8 || text[1] != ' ' || text[0] == TRANSPARENT)
                return Fail("palette entries are a character, a blank and RRGGBB", number);
            palette[text[0]] = std::stoul(text.substr(2), nullptr, 16);
        } else {
            if (text.size() != SIZE)
                return Fail("every row has 32 pixels", number);
            for (char c : text)
                if (c != TRANSPARENT && !palette.count(c))
                    return Fail("pixel colour not in the palette", number);
            rows.push_back(text);
        }
    }
    if (rows.size() != SIZE)
        return Fail("the map needs 32 rows", number);

    const uint32_t maskStride = SIZE / 8;  // 32 bits a row: already a multiple of 4 bytes
    const uint32_t colourBytes = SIZE * SIZE * 3;
    const uint32_t imageBytes = 40 + colourBytes + maskStride * SIZE;

    std::string ico;
    Put16(ico, 0);            // reserved
    Put16(ico, 1);            // type: icon
    Put16(ico, 1);            // one image
    ico += char(SIZE);        // width
    ico += char(SIZE);        // height
    ico += char(0);           // no colour table
    ico += char(0);           // reserved
    Put16(ico, 1);            // planes
    Put16(ico, 24);           // bits per pixel
    Put32(ico, imageBytes);
    Put32(ico, 6 + 16);       // the image follows this one directory entry

    // BITMAPINFOHEADER: the height covers the colour image and the mask.
    Put32(ico, 40);
    Put32(ico, SIZE);
    Put32(ico, SIZE * 2);
    Put16(ico, 1);
    Put16(ico, 24);
    Put32(ico, 0);            // BI_RGB
    Put32(ico, colourBytes + maskStride * SIZE);
    for (int i = 0; i < 4; ++i)
        Put32(ico, 0);

    // Bitmaps are stored bottom row first; colours as blue, green, red.
    for (int y = SIZE - 1; y >= 0; --y)
        for (char c : rows[y]) {
            uint32_t rgb = c == TRANSPARENT ? 0 : palette[c];
            ico += char(rgb & 0xff);
            ico += char((rgb >> 8) & 0xff);
            ico += char(rgb >> 16);
        }
    for (int y = SIZE - 1; y >= 0; --y)
        for (uint32_t byte = 0; byte < maskStride; ++byte) {
            unsigned bits = 0;
            for (int bit = 0; bit < 8; ++bit)
                if (rows[y][byte * 8 + bit] == TRANSPARENT)
                    bits |= 0x80 >> bit;
            ico += char(bits);
        }

    std::ofstream out(argv[2], std::ios::binary);
    out << ico;
    if (!out.flush()) {
        std::perror(argv[2]);
        return 1;
    }
    return 0;
}
