// The one place the ad views reach the outside networks through: which
// network fills an ad of a given key, and a new request builder for it.
// The views know only the builders' common base, never a network's class.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "adkasa_sdk_ios/ADKSAPIRequest.h"

namespace adks {

// Network keys.
inline constexpr const char* kKeyGameFeat = "1065";
inline constexpr const char* kKeyInMobi = "1003";
inline constexpr const char* kKeyLeadbolt = "1058";
inline constexpr const char* kKeyLeadboltIcons = "1061";
inline constexpr const char* kKeyMMedia = "1060";

// In the order a view makes its builders.
enum class AdNetwork { InMobi, Leadbolt, MMedia, GameFeat };
inline constexpr size_t kAdNetworkCount = 4;

// The network that fills ads with this key; none for an ad shown from its
// own HTML.
std::optional<AdNetwork> adNetworkForKey(const std::string& key);
// Whether the network's builder reads the ad's entity (besides its tag).
bool adNetworkReadsEntity(AdNetwork network);
// A new request builder for the network.
std::unique_ptr<NetworkAdRequest> makeAdNetworkRequest(AdNetwork network);

}  // namespace adks
