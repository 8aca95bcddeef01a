// The desktop host under a real X display: the mekko program opens its
// window on the title, a scripted click (xdotool) on the start button
// starts main play, a later click turns the player (screenshots of the
// window, taken with ImageMagick's import, show it walking the other way),
// and SIGTERM ends it by the terminate path; so does the window destroyed
// from outside. With the local ad service beside it, the title shows the
// interstitial (closed by its button) and banners rendered by WebKit; a
// tap on a banner reports the click, opens the link in the desktop's
// browser (a stand-in registered for http) and pauses the game.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/png_read.h"

using namespace testsupport;

namespace {

std::string runCapture(const std::string& cmd) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[256];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
    return out;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class DesktopWindow : public ::testing::Test {
protected:
    void SetUp() override {
        binary = std::string(KELPA_BINARY_DIR) + "/host/mekko";
        struct stat st;
        if (stat(binary.c_str(), &st) != 0) GTEST_SKIP() << "mekko is not built";
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
        char tmpl[] = "/tmp/mekko-desktop-XXXXXX";
        dir = mkdtemp(tmpl) ? tmpl : "";
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (!dir.empty()) {
            EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
        }
    }

    void start(const std::vector<std::pair<std::string, std::string>>& env = {}) {
        std::string out = dir + "/out.txt";
        std::string docs = dir + "/docs";
        pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd >= 0) {
                dup2(fd, 1);
                dup2(fd, 2);
            }
            // GTK's own start-up allocations are not this program's leaks.
            std::string asan = std::string(std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "");
            setenv("ASAN_OPTIONS", (asan + (asan.empty() ? "" : ":") + "detect_leaks=0").c_str(), 1);
            for (auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
            execl(binary.c_str(), binary.c_str(), "--profile", "320x480@2", "--documents", docs.c_str(), "--timeout",
                  "120", static_cast<char*>(nullptr));
            _exit(127);
        }
    }

    // Exit status, or -1 when it did not end within ms.
    int waitExit(int ms) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            pid_t r = waitpid(pid, &status, WNOHANG);
            if (r == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

    bool screenshot(const std::string& window, Picture* pic) {
        std::string png = dir + "/shot.png";
        std::remove(png.c_str());
        if (std::system(("import -window " + window + " '" + png + "' 2>/dev/null").c_str()) != 0) return false;
        return readPicture(png, pic);
    }

    // The program's window id, once it is on screen ("" when it never came).
    std::string findWindow() {
        std::string wid =
            runCapture("timeout 20 xdotool search --sync --onlyvisible --name '^mekko$' 2>/dev/null | head -1");
        while (!wid.empty() && (wid.back() == '\n' || wid.back() == ' ')) wid.pop_back();
        return wid;
    }

    // The mean x of the player's blue overalls in the band above the
    // stage (0 when the player is not there).
    static double playerX(const Picture& pic) {
        double sum = 0;
        int n = 0;
        for (int y = 300; y < 352 && y < pic.height; ++y) {
            for (int x = 0; x < pic.width; ++x) {
                if (near(pic.rgb(x, y), 0x3d7be0, 30)) {
                    sum += x;
                    ++n;
                }
            }
        }
        return n > 8 ? sum / n : 0.0;
    }

    std::string binary, dir;
    pid_t pid = -1;
};

TEST_F(DesktopWindow, StartsAPlayTurnsThePlayerOnAClickAndEndsOnSigterm) {
    start();
    std::string wid = findWindow();
    ASSERT_FALSE(wid.empty()) << readFile(dir + "/out.txt");

    // The window is the 320 x 480 point screen at zoom 1, and shows frames.
    Picture pic;
    bool shown = false;
    for (int i = 0; i < 40 && !shown; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        shown = screenshot(wid, &pic) && pic.rgb(160, 40) != 0 && pic.rgb(160, 40) != 0x000000;
    }
    ASSERT_TRUE(shown) << readFile(dir + "/out.txt");
    EXPECT_EQ(pic.width, 320);
    EXPECT_EQ(pic.height, 480);

    // The title's start button (design 55..585 x 480..600 on this 640-wide
    // screen, half that in points): main play's countdown, then the pause
    // button's teal at design (88, 220).
    ASSERT_EQ(std::system(("xdotool mousemove --window " + wid + " 160 270 mousedown 1 sleep 0.2 mouseup 1").c_str()), 0);
    // Screenshots back to back: the player reaches the stage's end about a
    // second after the countdown.
    bool playing = false;
    for (int i = 0; i < 200 && !playing; ++i) {
        playing = screenshot(wid, &pic) && near(pic.rgb(44, 110), 0x1fc7b6, 40);
    }
    ASSERT_TRUE(playing) << std::hex << pic.rgb(44, 110);

    // The player walks right from the start; a click on the lower screen
    // turns it, and it walks left.
    const double before = playerX(pic);
    ASSERT_GT(before, 0.0);
    ASSERT_EQ(std::system(("xdotool mousemove --window " + wid + " 160 430 mousedown 1 sleep 0.15 mouseup 1").c_str()), 0);
    ASSERT_TRUE(screenshot(wid, &pic));
    const double a = playerX(pic);
    EXPECT_GT(a, 0.0);
    // However slowly a loaded machine runs the game, it walks left from
    // where it was when the click ended.
    double b = a;
    for (int i = 0; i < 30 && !(b > 0.0 && b < a - 5.0); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ASSERT_TRUE(screenshot(wid, &pic));
        b = playerX(pic);
    }
    EXPECT_GT(b, 0.0) << "still on the stage";
    EXPECT_LT(b, a - 5.0) << "walking left after the click (" << before << ", " << a << ", " << b << ")";
    EXPECT_NE(pic.rgb(40, 300), 0u);

    ASSERT_EQ(kill(pid, SIGTERM), 0);
    EXPECT_EQ(waitExit(20000), 0);
    std::string out = readFile(dir + "/out.txt");
    EXPECT_NE(out.find("desktop front-end"), std::string::npos) << out;
    size_t term = out.find("applicationWillTerminate");
    size_t ended = out.find("game thread ended");
    size_t closed = out.find("window closed");
    ASSERT_NE(term, std::string::npos) << out;
    EXPECT_LT(term, ended) << out;
    EXPECT_LT(ended, closed) << out;
}

// The window destroyed from outside (not a close asked of the program):
// the program ends by the terminate path instead of running on without a
// window, and lets go of the widgets that went with it cleanly.
TEST_F(DesktopWindow, AWindowDestroyedFromOutsideEndsTheProgram) {
    start();
    std::string wid = findWindow();
    ASSERT_FALSE(wid.empty()) << readFile(dir + "/out.txt");
    bool shown = false;
    Picture pic;
    for (int i = 0; i < 40 && !shown; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        shown = screenshot(wid, &pic) && pic.rgb(160, 40) != 0;
    }
    ASSERT_TRUE(shown) << readFile(dir + "/out.txt");

    ASSERT_EQ(std::system(("xdotool windowclose " + wid).c_str()), 0);
    EXPECT_EQ(waitExit(30000), 0);
    std::string out = readFile(dir + "/out.txt");
    size_t term = out.find("applicationWillTerminate");
    size_t ended = out.find("game thread ended");
    size_t closed = out.find("window closed");
    ASSERT_NE(term, std::string::npos) << out;
    EXPECT_LT(term, ended) << out;
    EXPECT_LT(ended, closed) << out;
    EXPECT_EQ(out.find("time limit reached"), std::string::npos) << out;
    EXPECT_EQ(out.find("CRITICAL"), std::string::npos) << out;
    EXPECT_EQ(out.find("invalid"), std::string::npos) << out;
}

// The local ad service as its own process, with the configurations given.
class AdServiceProcess {
public:
    AdServiceProcess(const std::string& dir, const std::vector<std::pair<std::string, std::string>>& configs)
        : log_(dir + "/service.txt") {
        std::string out = dir + "/service-port.txt";
        pid_ = fork();
        if (pid_ == 0) {
            int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int e = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (o >= 0) dup2(o, 1);
            if (e >= 0) dup2(e, 2);
            std::vector<std::string> args{std::string(KELPA_BINARY_DIR) + "/tools/adservice/adkasa-service"};
            for (auto& [appId, file] : configs) {
                args.push_back("--config");
                args.push_back(appId + "=" + file);
            }
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        for (int i = 0; i < 100 && port_.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            std::string first = readFile(out);
            if (first.rfind("port ", 0) == 0) port_ = first.substr(5, first.find('\n') - 5);
        }
    }
    ~AdServiceProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    std::string origin() const { return port_.empty() ? "" : "http://127.0.0.1:" + port_; }
    std::string log() const { return readFile(log_); }
    // Waits until the service's log holds `text` `times` times.
    bool waitFor(const std::string& text, int times = 1, int ms = 20000) const {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until) {
            std::string l = log();
            int n = 0;
            for (size_t at = l.find(text); at != std::string::npos; at = l.find(text, at + 1)) ++n;
            if (n >= times) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

private:
    std::string log_;
    std::string port_;
    pid_t pid_ = -1;
};

bool waitForText(const std::string& path, const std::string& text, int ms = 20000) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (readFile(path).find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string base64(const std::string& s) {
    static const char* t = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < s.size(); i += 3) {
        uint32_t n = uint32_t(uint8_t(s[i])) << 16;
        if (i + 1 < s.size()) n |= uint32_t(uint8_t(s[i + 1])) << 8;
        if (i + 2 < s.size()) n |= uint32_t(uint8_t(s[i + 2]));
        out += t[(n >> 18) & 63];
        out += t[(n >> 12) & 63];
        out += i + 1 < s.size() ? t[(n >> 6) & 63] : '=';
        out += i + 2 < s.size() ? t[n & 63] : '=';
    }
    return out;
}

// A configuration of one ad: the house ad of that name.
std::string houseConfiguration(const std::string& id, const std::string& houseFile) {
    std::string html = readFile(std::string(KELPA_SOURCE_DIR) + "/tools/adservice/house/" + houseFile);
    return "{\"result\":\"ok\",\"device_id\":\"xtest\",\"bg_color\":\"ffffff\",\"cycle_time\":60,"
           "\"ta_off\":0,\"settings\":[{\"user_ad_id\":\"" +
           id + "\",\"weight\":{\"en\":1,\"ja\":1},\"html\":\"" + base64(html) + "\"}]}";
}

TEST_F(DesktopWindow, AdsOnTheTitleTheInterstitialClosesAndATappedBannerOpensItsLinkAndPauses) {
    // Every placement with one house ad; the interstitial's schedule one
    // request short of a show; a browser that writes down what it opens.
    writeFile(dir + "/top.json", houseConfiguration("top-house", "banner_en.html"));
    writeFile(dir + "/bottom.json", houseConfiguration("bottom-house", "banner_en.html"));
    writeFile(dir + "/pop.json", houseConfiguration("pop-house", "interstitial_en.html"));
    AdServiceProcess service(dir, {{"3f9c1d20b7e4a85c6d0e2f13", dir + "/top.json"},
                                   {"3f9c1d20b7e4a85c6d0e2f24", dir + "/bottom.json"},
                                   {"3f9c1d20b7e4a85c6d0e2f35", dir + "/pop.json"}});
    ASSERT_FALSE(service.origin().empty());
    std::string config = dir + "/config", data = dir + "/data";
    ASSERT_EQ(std::system(("mkdir -p '" + config + "/mekko' '" + data + "/applications'").c_str()), 0);
    writeFile(config + "/mekko/defaults.ini", "[integer]\nAdkasaSche3f9c1d20b7e4a85c6d0e2f35=4\n");
    writeFile(data + "/applications/xtest-browser.desktop",
              "[Desktop Entry]\nType=Application\nName=xtest browser\nExec=sh -c 'echo \"$0\" >> " + dir +
                  "/opened.txt' %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;\n");
    writeFile(config + "/mimeapps.list",
              "[Default Applications]\nx-scheme-handler/http=xtest-browser.desktop\n"
              "x-scheme-handler/https=xtest-browser.desktop\n");
    start({{"ADKASA_SERVICE_ORIGIN", service.origin()},
           {"XDG_CONFIG_HOME", config},
           {"XDG_DATA_HOME", data},
           {"XDG_DATA_DIRS", data + ":/usr/share"}});
    std::string wid = findWindow();
    ASSERT_FALSE(wid.empty()) << readFile(dir + "/out.txt");

    // The interstitial: its green title bar over the dimmed title, the
    // frame centred on the 320 x 480 screen at (5, 90).
    ASSERT_TRUE(service.waitFor("impression pop-house")) << service.log();
    Picture pic;
    bool framed = false;
    for (int i = 0; i < 40 && !framed; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        framed = screenshot(wid, &pic) && near(pic.rgb(150, 112), 0x4ec40f, 60);
    }
    ASSERT_TRUE(framed) << std::hex << pic.rgb(150, 112);
    // The house ad inside the frame, once faded in and painted.
    auto blue = [](uint32_t c) { return (c & 0xff) > ((c >> 16) & 0xff) + 60; };
    bool painted = blue(pic.rgb(20, 146));
    for (int i = 0; i < 40 && !painted; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        painted = screenshot(wid, &pic) && blue(pic.rgb(20, 146));
    }
    EXPECT_TRUE(painted) << std::hex << pic.rgb(20, 146);

    // Its close button (268, 5 in the title bar) takes it away.
    ASSERT_EQ(std::system(("xdotool mousemove --window " + wid + " 291 111 click 1").c_str()), 0);
    bool closed = false;
    for (int i = 0; i < 40 && !closed; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        closed = screenshot(wid, &pic) && !near(pic.rgb(150, 112), 0x4ec40f, 60);
    }
    ASSERT_TRUE(closed);

    // The top banner, rendered by WebKit, takes the tap.
    ASSERT_TRUE(service.waitFor("impression top-house")) << service.log();
    bool banner = false;
    for (int i = 0; i < 40 && !banner; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        banner = screenshot(wid, &pic) && blue(pic.rgb(200, 45));
    }
    EXPECT_TRUE(banner) << std::hex << pic.rgb(200, 45);
    ASSERT_EQ(std::system(("xdotool mousemove --window " + wid + " 150 25 click 1").c_str()), 0);
    EXPECT_TRUE(service.waitFor("click top-house")) << service.log();
    EXPECT_TRUE(waitForText(dir + "/out.txt", "ad tapped, the game pauses")) << readFile(dir + "/out.txt");
    EXPECT_TRUE(waitForText(dir + "/opened.txt", service.origin() + "/house/mekko?lang=en"))
        << readFile(dir + "/opened.txt") << readFile(dir + "/out.txt");

    ASSERT_EQ(kill(pid, SIGTERM), 0);
    EXPECT_EQ(waitExit(20000), 0) << readFile(dir + "/out.txt");
}

}  // namespace
