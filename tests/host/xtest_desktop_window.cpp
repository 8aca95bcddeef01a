// The desktop host under a real X display: the mekko program opens its
// window on the title, a scripted click (xdotool) on the start button
// starts main play, a later click turns the player (screenshots of the
// window, taken with ImageMagick's import, show it walking the other way),
// and SIGTERM ends it by the terminate path; so does the window destroyed
// from outside.
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

#include "tests/host/png_read.h"

using namespace hosttest;

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

    void start() {
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
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(screenshot(wid, &pic));
    const double b = playerX(pic);
    EXPECT_GT(a, 0.0);
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

}  // namespace
