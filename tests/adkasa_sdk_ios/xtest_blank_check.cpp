// The banner slot's blank-render check on pages that the real WebKitGTK
// rendered: one colour is blank, two colours are not.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <nlohmann/json.hpp>

#include "adkasa_sdk_ios/ADKSBase64Util.h"
#include "adkasa_sdk_ios/ADKSWebView.h"
#include "tests/adkasa_sdk_ios/ad_test_env.h"

using namespace KelpaPlatform;

namespace {

TEST(BlankCheckOnWebKit, OneColourIsBlankTwoAreNot) {
    if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
    adtest::Environment env;
    const struct {
        const char* what;
        const char* html;
        bool something;
    } cases[] = {
        {"one colour", "<body style='margin:0;background:#336699'></body>", false},
        {"two colours", "<body style='margin:0;background:#336699'><div style='margin-left:100px;width:50px;"
                        "height:50px;background:#ffcc00'></div></body>",
         true},
    };
    for (const auto& c : cases) {
        auto slot = std::make_shared<ADKSWebView>(CGRectMake(0, 0, 320, 50));
        nlohmann::json o = {{"user_ad_id", "x"}, {"weight", {{"en", 1}}},
                            {"html", ADKSBase64Util::base64StringFromString(c.html)}};
        slot->loadHtmlFromEntity(ADKSJSAdEntity::initWithObject(o));
        ASSERT_TRUE(testloop::pumpUntil([&] { return slot->htmlLoaded(); }, 15000)) << c.what;
        // Painted a moment after the load ends.
        bool settled = testloop::pumpUntil([&] { return slot->layerColorMatchCheck() == c.something; }, 3000);
        EXPECT_TRUE(settled) << c.what;
        testloop::pumpFor(300);
        EXPECT_EQ(slot->layerColorMatchCheck(), c.something) << c.what;
    }
}

}  // namespace
