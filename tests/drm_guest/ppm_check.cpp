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
#include <string>
#include <vector>

namespace {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
};

// qemu's screen dumps: "P6", the width, the height and 255, each after one whitespace, then
// the pixels.
bool readPpm(const char* path, Image& image, std::string& error) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        error = "cannot open";
        return false;
    }
    int levels = 0;
    const bool header =
        std::fscanf(file, "P6 %d %d %d", &image.width, &image.height, &levels) == 3 &&
        std::fgetc(file) != EOF && image.width > 0 && image.height > 0 && image.width <= 8192 &&
        image.height <= 8192;
    if (header && levels == 255) {
        image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
        if (std::fread(image.rgb.data(), 1, image.rgb.size(), file) != image.rgb.size()) {
            error = "PPM cut short";
        }
    } else {
        error = header ? "PPM with " + std::to_string(levels) + " levels, expected 255"
                       : "not a binary PPM (P6)";
    }
    std::fclose(file);
    return error.empty();
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
