// The JSON preset list stored under "presets".
#include "settings/Preset.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto presets = lumora::Preset::decodeList(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (!presets) {
        return 0;
    }
    // A list that was read is written and read back unchanged.
    const auto json = lumora::Preset::encodeList(*presets);
    if (!json) {
        std::abort();
    }
    const auto again = lumora::Preset::decodeList(*json);
    if (!again || *again != *presets) {
        std::abort();
    }
    return 0;
}
