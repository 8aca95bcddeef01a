#include "adkasa_sdk_ios/ADKSAdNetworks.h"

#include "adkasa_sdk_ios/ADKSGameFeatAPIManger.h"
#include "adkasa_sdk_ios/ADKSInMobiAPIManager.h"
#include "adkasa_sdk_ios/ADKSLeadboltAPIManager.h"
#include "adkasa_sdk_ios/ADKSMMediaAPIManager.h"

namespace adks {

std::optional<AdNetwork> adNetworkForKey(const std::string& key) {
    if (key == kKeyGameFeat) return AdNetwork::GameFeat;
    if (key == kKeyInMobi) return AdNetwork::InMobi;
    if (key == kKeyLeadbolt || key == kKeyLeadboltIcons) return AdNetwork::Leadbolt;
    if (key == kKeyMMedia) return AdNetwork::MMedia;
    return std::nullopt;
}

bool adNetworkReadsEntity(AdNetwork network) { return network == AdNetwork::GameFeat || network == AdNetwork::MMedia; }

std::unique_ptr<NetworkAdRequest> makeAdNetworkRequest(AdNetwork network) {
    switch (network) {
    case AdNetwork::InMobi:
        return std::make_unique<ADKSInMobiAPIManager>();
    case AdNetwork::Leadbolt:
        return std::make_unique<ADKSLeadboltAPIManager>();
    case AdNetwork::MMedia:
        return std::make_unique<ADKSMMediaAPIManager>();
    case AdNetwork::GameFeat:
        return std::make_unique<ADKSGameFeatAPIManger>();
    }
    return nullptr;
}

}  // namespace adks
