// Fuzz entry: the outside networks' answers and the tags they are read
// from. The first byte picks the parser; the rest is the input.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "adkasa_sdk_ios/ADKSGameFeatAPIManger.h"
#include "adkasa_sdk_ios/ADKSInMobiAPIManager.h"
#include "adkasa_sdk_ios/ADKSIpApiManager.h"
#include "adkasa_sdk_ios/ADKSLeadboltAPIManager.h"
#include "adkasa_sdk_ios/ADKSPatterns.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 4) {
    case 0: {  // a Leadbolt feed answer into a fixed ad
        const std::string tag = "<p>a</p><leadbolt>width:\"50\" height:\"50\"</leadbolt><p>b</p>";
        auto block = adks::leadboltBlock(tag);
        std::string icons = ADKSLeadboltAPIManager::pageForAnswer(tag, block, true, input);
        if (!icons.empty() && icons.compare(0, 8, "<p>a</p>") != 0) __builtin_trap();
        (void)ADKSLeadboltAPIManager::pageForAnswer(tag, block, false, input);
        break;
    }
    case 1: {  // a GameFeat answer
        std::string page = ADKSGameFeatAPIManger::pageForAnswer(input);
        // Whatever the answer holds stays inside the attribute values.
        if (page.compare(0, 12, "<html><head>") != 0) __builtin_trap();
        if (page.find("<script") != std::string::npos) __builtin_trap();
        break;
    }
    case 2: {  // an address relay answer
        std::optional<std::string> ip;
        bool object = ADKSIpApiManager::parseAnswer(input, &ip);
        if (ip && !object) __builtin_trap();
        break;
    }
    default: {  // an ad tag, as the builders read it
        (void)ADKSInMobiAPIManager::siteIdInTag(input);
        auto block = adks::leadboltBlock(input);
        if (block) {
            for (const auto& key : ADKSLeadboltAPIManager::feedKeys()) (void)adks::quotedValueForKey(*block, key);
        }
        (void)adks::withoutAtSuffix(input);
        break;
    }
    }
    return 0;
}
