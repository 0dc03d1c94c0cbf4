// Colour text as found in the settings file and in presets.
#include "engine/RGB.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto color = lumora::RGB::fromHex(text);
    if (!color) {
        return 0;
    }
    // What was read writes back as six digits that read the same.
    const std::string hex = color->hex();
    const auto again = lumora::RGB::fromHex(hex);
    if (hex.size() != 6 || !again || !(*again == *color)) {
        std::abort();
    }
    return 0;
}
