// The host's command line and its timed-input scripts.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <vector>

#include "host/HostMain.h"
#include "host/Runner.h"

using namespace KelpaHost;

namespace {

bool parse(std::vector<const char*> args, HostOptions* o, std::string* error) {
    args.insert(args.begin(), "mekko");
    return parseHostOptions(int(args.size()), const_cast<char**>(args.data()), o, error);
}

TEST(HostOptionsTest, ReadsEveryOptionAndGivesHeadlessRunsLimits) {
    HostOptions o;
    std::string e;
    ASSERT_TRUE(parse({"--headless", "--profile", "414x736@3", "--zoom", "0.5", "--assets", "/a", "--documents", "/d",
                       "--shots", "/s", "--every", "5", "--script", "/f", "--input", "0 resign", "--seed", "4294967295"},
                      &o, &e))
        << e;
    EXPECT_TRUE(o.headless);
    EXPECT_EQ(o.profile, "414x736@3");
    EXPECT_DOUBLE_EQ(o.zoom, 0.5);
    EXPECT_EQ(o.assets, "/a");
    EXPECT_EQ(o.documents, "/d");
    EXPECT_EQ(o.shotsDir, "/s");
    EXPECT_EQ(o.every, 5);
    EXPECT_EQ(o.scriptFile, "/f");
    EXPECT_EQ(o.scriptText, "0 resign");
    EXPECT_EQ(o.seed, INT64_C(4294967295));
    applyRunDefaults(&o, true);
    EXPECT_EQ(o.frames, 300);
    EXPECT_DOUBLE_EQ(o.timeoutSeconds, 60);

    ASSERT_TRUE(parse({}, &o, &e));
    EXPECT_FALSE(o.headless);
    EXPECT_EQ(o.seed, -1);
    applyRunDefaults(&o, false);
    EXPECT_EQ(o.frames, -1);
    EXPECT_LT(o.timeoutSeconds, 0);

    // Limits given stay, with or without a display.
    ASSERT_TRUE(parse({"--frames", "0", "--timeout", "2.5", "--seed", "0"}, &o, &e));
    EXPECT_EQ(o.seed, 0);
    applyRunDefaults(&o, true);
    EXPECT_EQ(o.frames, 0);
    EXPECT_DOUBLE_EQ(o.timeoutSeconds, 2.5);
}

TEST(HostFolders, AssetsFallBackToTheSourceTreeAndDataFoldersAreMadePrivate) {
    EXPECT_EQ(findAssetFolder(""), std::string(KELPA_SOURCE_DIR) + "/assets/Assets.bundle");
    EXPECT_EQ(findAssetFolder(KELPA_SOURCE_DIR), KELPA_SOURCE_DIR);
    EXPECT_EQ(findAssetFolder("/nonexistent/Assets.bundle"), "");

    char tmpl[] = "/tmp/mekko-folders-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string base = tmpl;
    std::string made = findDocumentsFolder(base + "/a/b");
    EXPECT_EQ(made, base + "/a/b");
    struct stat st;
    ASSERT_EQ(stat(made.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(findDocumentsFolder("/proc/none/mekko"), "");
    EXPECT_EQ(std::system(("rm -rf '" + base + "'").c_str()), 0);
}

TEST(HostOptionsTest, RefusesBadCommandLines) {
    const std::vector<std::vector<const char*>> bad = {
        {"--profile", "1x1@1"}, {"--profile"},          {"--zoom", "0"},     {"--zoom", "abc"},
        {"--frames", "-1"},     {"--frames", "12x"},    {"--every", "0"},    {"--timeout", "0"},
        {"--timeout", "nan"},   {"--shots", ""},        {"--bogus"},         {"--assets"},
        {"--seed", "-1"},       {"--seed", "4294967296"}, {"--seed", "1e3"}, {"--seed"},
    };
    for (const auto& args : bad) {
        HostOptions o;
        std::string e;
        EXPECT_FALSE(parse(args, &o, &e)) << args[0];
        EXPECT_FALSE(e.empty()) << args[0];
    }
}

TEST(HostScript, ExpandsTapsAndDragsIntoTimedEvents) {
    std::vector<ScriptEvent> ev;
    std::string e;
    ASSERT_TRUE(parseScript("# warm up\n100 tap 10 20; 200 tap 1 2 0\n300 drag 0 0 100 50 100 2\n400 resign\n"
                            "500 active # back\n600 background;700 foreground;800 terminate",
                            &ev, &e))
        << e;
    struct Want {
        int64_t at;
        ScriptEvent::Kind kind;
        double x, y;
    };
    const std::vector<Want> want = {
        {100, ScriptEvent::Down, 10, 20}, {180, ScriptEvent::Up, 10, 20},   {200, ScriptEvent::Down, 1, 2},
        {200, ScriptEvent::Up, 1, 2},     {300, ScriptEvent::Down, 0, 0},   {350, ScriptEvent::Move, 50, 25},
        {400, ScriptEvent::Move, 100, 50}, {400, ScriptEvent::Up, 100, 50}, {400, ScriptEvent::Resign, 0, 0},
        {500, ScriptEvent::Active, 0, 0}, {600, ScriptEvent::Background, 0, 0}, {700, ScriptEvent::Foreground, 0, 0},
        {800, ScriptEvent::Terminate, 0, 0},
    };
    ASSERT_EQ(ev.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(ev[i].atMs, want[i].at) << i;
        EXPECT_EQ(ev[i].kind, want[i].kind) << i;
        EXPECT_DOUBLE_EQ(ev[i].x, want[i].x) << i;
        EXPECT_DOUBLE_EQ(ev[i].y, want[i].y) << i;
    }
}

TEST(HostScript, RefusesBadEventsNamingThem) {
    for (const char* bad : {"tap 1 2", "10 tap 1", "10 tap 1 2 3 4", "-5 resign", "10 jump", "10 resign now",
                            "10 drag 0 0 1", "10 drag 0 0 1 1 100 0", "10 tap x 2", "10 tap 1 2 -3", "10"}) {
        std::vector<ScriptEvent> ev;
        std::string e;
        EXPECT_FALSE(parseScript(bad, &ev, &e)) << bad;
        EXPECT_NE(e.find("script line 1 "), std::string::npos) << bad << ": " << e;
    }
}

TEST(HostScript, HoldsAtMostAHundredThousandEventsAndNamesTheLineBeyond) {
    // A drag of 1000 steps is 1002 events: 99 of them and 401 taps make
    // exactly the bound.
    std::string text;
    for (int i = 0; i < 99; ++i) text += "10 drag 0 0 100 100 500 1000\n";
    for (int i = 0; i < 401; ++i) text += "20 tap 5 5\n";
    std::vector<ScriptEvent> ev;
    std::string e;
    ASSERT_TRUE(parseScript(text, &ev, &e)) << e;
    EXPECT_EQ(ev.size(), 100000u);
    for (const char* more : {"30 resign", "30 drag 0 0 1 1"}) {
        ev.clear();
        EXPECT_FALSE(parseScript(text + more, &ev, &e)) << more;
        EXPECT_NE(e.find("script line 501 "), std::string::npos) << e;
        EXPECT_NE(e.find("100000 events"), std::string::npos) << e;
        EXPECT_TRUE(ev.empty());
    }
}

TEST(HostScript, NamesTheRealProblemOfABadEvent) {
    const struct {
        const char* line;
        const char* says;
    } cases[] = {
        {"100 resign extra", "resign takes no arguments"},
        {"100 terminate 5", "terminate takes no arguments"},
        {"100 jump 1 2", "unknown action \"jump\""},
        {"100 tap x 2", "\"x\" is not a number"},
        {"soon tap 1 2", "\"soon\" is not a number"},
        {"100 drag 0 0 1 1 fast", "\"fast\" is not a number"},
        {"100 tap 1", "tap takes X Y [HOLD_MS]"},
    };
    for (const auto& c : cases) {
        std::vector<ScriptEvent> ev;
        std::string e;
        EXPECT_FALSE(parseScript(c.line, &ev, &e)) << c.line;
        EXPECT_NE(e.find(c.says), std::string::npos) << c.line << ": " << e;
    }
}

TEST(HostScript, NumbersArePlainDecimals) {
    for (const char* bad : {"0x10 tap 1 2", "10 tap 0x10 2", "10 tap 1 2 0x5", "inf resign", "10 tap nan 2",
                            "10 tap infinity 2", "10 tap 1 0X1p3"}) {
        std::vector<ScriptEvent> ev;
        std::string e;
        EXPECT_FALSE(parseScript(bad, &ev, &e)) << bad;
        EXPECT_NE(e.find("is not a number"), std::string::npos) << bad << ": " << e;
    }
    std::vector<ScriptEvent> ev;
    std::string e;
    ASSERT_TRUE(parseScript("10.5 tap -1.25 .5 1e2; +20 tap 3. 4", &ev, &e)) << e;
    ASSERT_EQ(ev.size(), 4u);
    EXPECT_EQ(ev[0].atMs, 10);
    EXPECT_DOUBLE_EQ(ev[0].x, -1.25);
    EXPECT_DOUBLE_EQ(ev[0].y, 0.5);
    EXPECT_EQ(ev[1].atMs, 110);
    EXPECT_EQ(ev[2].atMs, 20);
}

// A number too small to hold is 0 (or the nearest it can be), not "not a
// number"; a negative hold or drag time is refused as a negative time is;
// the message names the line the event is on.
TEST(HostScript, TimesHoldsAndNumbersAreReadAlikeAndTheLineIsNamed) {
    const struct {
        const char* script;
        const char* error;  // "" when it reads
        int64_t lastAt;     // then the last event's time
    } cases[] = {
        {"1e-400 resign", "", 0},
        {"-1e-400 resign", "", 0},
        {"4.9e-324 resign", "", 0},
        {"10 tap 1e-400 -1e-999 1e-400", "", 10},
        {"10 tap 1 2 1e-310", "", 10},
        {"1e400 resign", "script line 1 (\"1e400 resign\"): the time \"1e400\" is not a number", 0},
        {"10 tap 1 2 -1e400", "script line 1 (\"10 tap 1 2 -1e400\"): \"-1e400\" is not a number", 0},
        {"-5 resign", "script line 1 (\"-5 resign\"): the time is negative", 0},
        {"-0.5 resign", "script line 1 (\"-0.5 resign\"): the time is negative", 0},
        {"10 tap 1 2 -3", "script line 1 (\"10 tap 1 2 -3\"): the hold time is negative", 0},
        {"10 tap 1 2 -0.5", "script line 1 (\"10 tap 1 2 -0.5\"): the hold time is negative", 0},
        {"10 drag 0 0 1 1 -0.5", "script line 1 (\"10 drag 0 0 1 1 -0.5\"): bad duration or step count", 0},
        {"# warm up\n\n10 resign\n20 tap 1 2 -1",
         "script line 4 (\"20 tap 1 2 -1\"): the hold time is negative", 0},
        // Events after ';' are on the same line.
        {"10 resign; 20 active\n30 foreground; 40 tap x 1",
         "script line 2 (\" 40 tap x 1\"): \"x\" is not a number", 0},
        {"10 resign # not yet; 20 active", "", 20},
    };
    for (const auto& c : cases) {
        std::vector<ScriptEvent> ev;
        std::string e;
        const bool read = parseScript(c.script, &ev, &e);
        EXPECT_EQ(read, !*c.error) << c.script;
        EXPECT_EQ(e, c.error) << c.script;
        if (read && !ev.empty()) {
            EXPECT_EQ(ev.back().atMs, c.lastAt) << c.script;
        }
    }
}

TEST(HostOptionsTest, RefusesNumbersWithSpacesOrInHex) {
    const std::vector<std::vector<const char*>> bad = {
        {"--frames", " 5"}, {"--frames", "0x10"}, {"--every", " 5"},  {"--every", "\t5"},
        {"--seed", " 5"},   {"--zoom", " 1"},     {"--zoom", "0x1"},  {"--timeout", "0x10"},
        {"--timeout", " 2"}, {"--timeout", "inf"}, {"--zoom", "1 "},
    };
    for (const auto& args : bad) {
        HostOptions o;
        std::string e;
        EXPECT_FALSE(parse(args, &o, &e)) << args[0] << " '" << args[1] << "'";
        EXPECT_FALSE(e.empty()) << args[0];
    }
}

TEST(HostMessages, EchoedValuesAreCut) {
    const std::string huge(5000, '7');
    std::vector<ScriptEvent> ev;
    std::string e;
    EXPECT_FALSE(parseScript("10 tap " + huge + "x 2", &ev, &e));
    EXPECT_LT(e.size(), 300u) << e.size();
    EXPECT_NE(e.find("..."), std::string::npos) << e;
    EXPECT_FALSE(parseScript("10 " + huge, &ev, &e));
    EXPECT_LT(e.size(), 300u) << e.size();
    const std::string option = "--" + huge;
    for (const std::vector<const char*>& args : {std::vector<const char*>{option.c_str()},
                                                 std::vector<const char*>{"--profile", huge.c_str()}}) {
        HostOptions o;
        EXPECT_FALSE(parse(args, &o, &e));
        EXPECT_LT(e.size(), 300u) << e.size();
        EXPECT_NE(e.find("..."), std::string::npos) << e;
    }
}

}  // namespace
