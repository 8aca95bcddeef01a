// Base64 as the ad client reads and writes it, and the reachability flags.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "adkasa_sdk_ios/ADKSBase64Util.h"
#include "adkasa_sdk_ios/ADKSReachability.h"
#include "tests/adkasa_sdk_ios/ad_test_env.h"

TEST(ADKSBase64, DecodesSkippingEverythingOutsideTheAlphabet) {
    struct Case {
        const char* text;
        std::string bytes;
    } cases[] = {
        {"QUJD\n", "ABC"},      {"QUI=", "AB"},         {"QQ==", "A"},
        {"QU\r\nJD", "ABC"},    {"", ""},               {"Q", ""},
        {"=Q=U=J=D=", "ABC"},   {"QUJDRA", "ABCD"},     {" Q U J D \t", "ABC"},
        {"////", "\xff\xff\xff"}, {"AAA", std::string("\0\0", 2)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ADKSBase64Util::dataFromBase64String(c.text), c.bytes) << c.text;
    }
    // The buffer holds (n + 3) / 4 * 3 bytes whatever is skipped.
    size_t n = 99;
    void* out = ADKSBase64DecodeBytes("QUJD", SIZE_MAX, &n);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(std::memcmp(out, "ABC", 3), 0);
    std::free(out);

    EXPECT_EQ(ADKSBase64Util::dataFromBase64String("QUJD\xC3\xA9"), "");  // not ASCII
    EXPECT_EQ(ADKSBase64Util::stringFromBase64String("w6k="), "\xC3\xA9");
    EXPECT_FALSE(ADKSBase64Util::stringFromBase64String("/w=="));  // 0xFF is no UTF-8
}

TEST(ADKSBase64, EncodesWithLineBreaksEvery64Characters) {
    EXPECT_EQ(ADKSBase64Util::base64StringFromString("ABC"), "QUJD");
    EXPECT_EQ(ADKSBase64Util::base64StringFromString("AB"), "QUI=");
    EXPECT_EQ(ADKSBase64Util::base64StringFromString("A"), "QQ==");
    EXPECT_EQ(ADKSBase64Util::base64StringFromString(""), "");
    EXPECT_EQ(ADKSBase64Util::base64StringFromStringForUTF7("A\xC3\xA9"), "AEEA6Q==");

    std::string in48(48, 'x'), in49(49, 'x');
    std::string out48 = ADKSBase64Util::base64StringFromData(in48);
    EXPECT_EQ(out48.size(), 64u);
    EXPECT_EQ(out48.find('\r'), std::string::npos);
    std::string out49 = ADKSBase64Util::base64StringFromData(in49);
    ASSERT_EQ(out49.size(), 64u + 2 + 4);
    EXPECT_EQ(out49.substr(64, 2), "\r\n");
    EXPECT_EQ(out49.substr(66), "eA==");
    EXPECT_EQ(ADKSBase64Util::dataFromBase64String(out49), in49);

    size_t n = 0;
    char* plain = ADKSBase64EncodeBytes(in49.data(), in49.size(), false, &n);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(n, 68u);
    EXPECT_EQ(std::strlen(plain), 68u);
    std::free(plain);
}

TEST(ADKSReachability, StatusFromFlags) {
    struct Case {
        uint32_t flags;
        int32_t network;
        int32_t wifi;
    } cases[] = {
        {0x0, 0, 0},
        {0x2, 1, 0},          // reachable, no connection needed
        {0x6, 0, 0},          // connection required
        {0x2E, 1, 0},         // on traffic and on demand
        {0x3E, 0, 0},         // intervention required as well
        {0x40006, 1, 0},      // cellular
        {0x20002, 1, 1},      // direct
        {0x20000, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ADKSReachability::networkStatusForFlags(c.flags), c.network) << std::hex << c.flags;
        EXPECT_EQ(ADKSReachability::localWiFiStatusForFlags(c.flags), c.wifi) << std::hex << c.flags;
    }
}

TEST(ADKSReachability, ReadsTheSourceAndNotifiesChanges) {
    adtest::Environment env;
    auto internet = ADKSReachability::reachabilityForInternetConnection();
    auto wifi = ADKSReachability::reachabilityForLocalWiFi();
    ASSERT_TRUE(internet && wifi);
    EXPECT_TRUE(wifi->localWiFiRef());
    EXPECT_EQ(ADKSReachability::reachabilityWithHostName(""), nullptr);

    env.reachability->flags = 0x6;
    EXPECT_EQ(internet->currentReachabilityStatus(), 0);
    EXPECT_TRUE(internet->connectionRequired());
    env.reachability->flags = 0x20002;
    EXPECT_EQ(internet->currentReachabilityStatus(), 1);
    EXPECT_EQ(wifi->currentReachabilityStatus(), 1);
    env.reachability->readable = false;
    EXPECT_EQ(internet->currentReachabilityStatus(), 0);
    EXPECT_FALSE(internet->connectionRequired());

    int posted = 0;
    const void* poster = nullptr;
    KelpaPlatform::NSNotificationCenter::defaultCenter().addObserver(
        &posted, kADKSNetworkReachabilityChangedNotification, [&](const void* object) {
            ++posted;
            poster = object;
        });
    ASSERT_TRUE(internet->startNotifier());
    env.reachability->change(0x2);
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(poster, internet.get());
    internet->stopNotifier();
    env.reachability->change(0x0);
    EXPECT_EQ(posted, 1);
    KelpaPlatform::NSNotificationCenter::defaultCenter().removeObserver(&posted);
}
