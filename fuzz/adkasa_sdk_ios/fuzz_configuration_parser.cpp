// Fuzz entry: the getinfo configuration parser.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "adkasa_sdk_ios/AdkasaData.h"
#include "adkasa_sdk_ios/AdkasaEnvironment.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        // A saved device id, so that parsing never writes the defaults file.
        auto path = std::filesystem::temp_directory_path() / "adkasa-fuzz-config" / "defaults.ini";
        auto defaults = std::make_shared<KelpaPlatform::NSUserDefaults>(path.string());
        defaults->setString("AdkasaSDK_Device_Id", "fuzz-device");
        AdkasaEnvironment::shared().userDefaults = defaults;
        return true;
    }();
    (void)ready;
    AdkasaData config;
    if (config.parseJsonData(std::string(reinterpret_cast<const char*>(data), size))) {
        // What the views read must hold for any input.
        if (!(config.updateCycleTime >= AdkasaData::kMinCycleTime)) __builtin_trap();
        if (!config.bgColor.empty() && config.bgColor.size() != 6) __builtin_trap();
        for (const auto& ad : config.adList) {
            if (!ad) __builtin_trap();
            (void)ad->weightForLang(1);
            (void)ad->description();
        }
        // What is cached (all within the bound) reads back.
        std::string archived = config.archive();
        if (archived.size() <= AdkasaData::kMaxArchiveBytes && !AdkasaData::unarchive(archived)) __builtin_trap();
    }
    return 0;
}
