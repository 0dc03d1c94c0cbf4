#include "RGB.h"

#include <cstdint>
#include <cstdio>

namespace lumora {
namespace {

// Non-finite or out-of-range channels never reach here from the program, but must not fail.
int toByte(double channel) {
    if (!(channel >= 0.0)) {
        return 0;
    }
    if (channel >= 1.0) {
        return 255;
    }
    return static_cast<int>(channel * 255.0 + 0.5);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::string RGB::hex() const {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X%02X", toByte(r), toByte(g), toByte(b));
    return text;
}

std::optional<RGB> RGB::fromHex(std::string_view text) {
    if (text.size() != 6) {
        return std::nullopt;
    }
    // The grammar of an unsigned base-16 integer: one optional sign, then digits only. A
    // minus sign is only harmless in front of zero.
    std::size_t pos = 0;
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        pos = 1;
    }
    std::uint32_t n = 0;
    for (; pos < text.size(); ++pos) {
        const int digit = hexDigit(text[pos]);
        if (digit < 0) {
            return std::nullopt;
        }
        n = n * 16 + static_cast<std::uint32_t>(digit);
    }
    if (negative && n != 0) {
        return std::nullopt;
    }
    return RGB{static_cast<double>((n >> 16) & 0xFF) / 255.0,
               static_cast<double>((n >> 8) & 0xFF) / 255.0, static_cast<double>(n & 0xFF) / 255.0};
}

} // namespace lumora
