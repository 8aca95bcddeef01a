// Fuzz entry: the configuration cache file reader.
#include <cstddef>
#include <cstdint>
#include <string>

#include "adkasa_sdk_ios/AdkasaData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto config = AdkasaData::unarchive(std::string(reinterpret_cast<const char*>(data), size));
    if (config) {
        if (!(config->updateCycleTime >= AdkasaData::kMinCycleTime)) __builtin_trap();
        for (const auto& ad : config->adList) {
            if (!ad) __builtin_trap();
            (void)ad->description();
        }
        // Archiving what was read and reading it again gives the same.
        auto again = AdkasaData::unarchive(config->archive());
        if (!again || again->archive() != config->archive()) __builtin_trap();
    }
    return 0;
}
