// Compares a screen dump (binary PPM) with the test picture the guest drew.
//
//   lumora_ppm_check SHOT.ppm WIDTH HEIGHT FRAME
//
// WIDTH x HEIGHT is the screen qemu was asked for. A screen taller than wide is a portrait
// panel: the landscape picture is turned so that screen (column, row) shows picture
// (x = row, y = depth - 1 - column). Exit 0 when every pixel matches, 1 on a mismatch, 2 when
// the dump cannot be read.

#include "tests/drm_guest/Pattern.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
};

// Reads the next header number, skipping whitespace and # comments.
bool readNumber(const std::vector<unsigned char>& data, std::size_t& at, int& value) {
    while (at < data.size()) {
        if (data[at] == '#') {
            while (at < data.size() && data[at] != '\n')
                ++at;
        } else if (data[at] == ' ' || data[at] == '\t' || data[at] == '\r' || data[at] == '\n') {
            ++at;
        } else {
            break;
        }
    }
    long number = 0;
    std::size_t digits = 0;
    while (at < data.size() && data[at] >= '0' && data[at] <= '9' && digits < 9) {
        number = number * 10 + (data[at] - '0');
        ++at;
        ++digits;
    }
    value = static_cast<int>(number);
    return digits > 0;
}

bool readPpm(const char* path, Image& image, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open";
        return false;
    }
    std::vector<unsigned char> data((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
    if (data.size() < 2 || data[0] != 'P' || data[1] != '6') {
        error = "not a binary PPM (P6)";
        return false;
    }
    std::size_t at = 2;
    int maxValue = 0;
    if (!readNumber(data, at, image.width) || !readNumber(data, at, image.height) ||
        !readNumber(data, at, maxValue) || at >= data.size()) {
        error = "broken PPM header";
        return false;
    }
    if (maxValue != 255) {
        error = "PPM with " + std::to_string(maxValue) + " levels, expected 255";
        return false;
    }
    ++at; // the single whitespace byte before the pixels
    const auto size = static_cast<std::size_t>(image.width) * image.height * 3;
    if (data.size() - at < size) {
        error = "PPM cut short";
        return false;
    }
    image.rgb.assign(data.begin() + static_cast<std::ptrdiff_t>(at),
                     data.begin() + static_cast<std::ptrdiff_t>(at + size));
    return true;
}

bool parseInt(const char* text, int& value) {
    char* end = nullptr;
    long number = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || number < 0 || number > 100000)
        return false;
    value = static_cast<int>(number);
    return true;
}

struct Point {
    int x = 0;
    int y = 0;
};

// The picture position that screen (column, row) shows; a portrait screen is turned.
Point pictureAt(int column, int row, int width, int height) {
    if (height > width)
        return {row, width - 1 - column};
    return {column, row};
}

std::uint32_t pixelAt(const Image& image, int column, int row) {
    const unsigned char* p = &image.rgb[(static_cast<std::size_t>(row) * image.width + column) * 3];
    return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | std::uint32_t{p[2]};
}

} // namespace

int main(int argc, char** argv) {
    int width = 0, height = 0, frame = 0;
    if (argc != 5 || !parseInt(argv[2], width) || !parseInt(argv[3], height) ||
        !parseInt(argv[4], frame)) {
        std::fprintf(stderr, "usage: lumora_ppm_check SHOT.ppm WIDTH HEIGHT FRAME\n");
        return 2;
    }
    Image image;
    std::string error;
    if (!readPpm(argv[1], image, error)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
        return 2;
    }
    if (image.width != width || image.height != height) {
        std::fprintf(stderr, "%s: screen is %d x %d, expected %d x %d\n", argv[1], image.width,
                     image.height, width, height);
        return 1;
    }

    long mismatches = 0;
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const auto [x, y] = pictureAt(column, row, width, height);
            const std::uint32_t want = lumora::drm_guest::patternPixel(x, y, frame);
            const std::uint32_t got = pixelAt(image, column, row);
            if (got == want)
                continue;
            if (++mismatches <= 10)
                std::fprintf(stderr,
                             "%s: screen (%d, %d) = picture (%d, %d): want #%06x, got #%06x\n",
                             argv[1], column, row, x, y, static_cast<unsigned>(want),
                             static_cast<unsigned>(got));
        }
    }
    if (mismatches > 0) {
        std::fprintf(stderr, "%s: %ld of %d pixels wrong (frame %d, %s)\n", argv[1], mismatches,
                     width * height, frame, height > width ? "portrait" : "landscape");
        return 1;
    }
    std::printf("%s: all %d pixels match frame %d (%s)\n", argv[1], width * height, frame,
                height > width ? "portrait" : "landscape");
    return 0;
}
