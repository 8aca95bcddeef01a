#include "host/HostMain.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "adkasa_sdk_ios/AdkasaEnvironment.h"
#include "engine/HostBridge.h"
#include "engine/ios/Paths.h"
#include "host/AppDelegate.h"
#include "host/HostServices.h"
#include "host/Runner.h"
#include "host/ShownValue.h"
#include "platform/ScreenProfile.h"
#include "platform/StartupTimeline.h"
#include "platform/ns/NSAutoreleasePool.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIImage.h"

#ifndef MEKKO_SOURCE_ASSETS
#define MEKKO_SOURCE_ASSETS ""
#endif

namespace KelpaHost {

namespace {

bool isDirectory(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string executableFolder() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    buf[n] = '\0';
    std::string path(buf);
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// mkdir -p with private folders.
bool makeFolders(const std::string& path) {
    if (path.empty()) return false;
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty()) continue;
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return isDirectory(path);
}

// Plain decimal integers: strtoll alone would also take leading spaces.
bool parseInt(const char* s, int64_t lo, int64_t hi, int64_t* out) {
    if (!s || !*s) return false;
    const char* digits = (*s == '-' || *s == '+') ? s + 1 : s;
    if (*digits < '0' || *digits > '9') return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(s, &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    *out = v;
    return true;
}

// Plain decimals, as the script's numbers (no hexadecimal, no spaces).
bool parseDouble(const char* s, double lo, double hi, double* out) {
    double v = 0;
    if (!s || !parseScriptNumber(s, &v) || !(v >= lo && v <= hi)) return false;
    *out = v;
    return true;
}

// Longer scripts are refused rather than read into memory whole (a
// mistaken --script /dev/zero never ends): a hundred thousand events fit in
// a few megabytes.
constexpr size_t kMaxScriptBytes = size_t(16) << 20;

// Why the script cannot be a file of this kind ("" when it can): a pipe or
// a device may never end, and a named pipe with no writer would block its
// open for good.
std::string notRegularBecause(const struct stat& st, const std::string& shown) {
    if (S_ISREG(st.st_mode)) return "";
    if (S_ISDIR(st.st_mode)) return "the script " + shown + " is a folder, not a file";
    const char* kind = S_ISFIFO(st.st_mode)                          ? "a named pipe"
                       : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                       : S_ISSOCK(st.st_mode)                        ? "a socket"
                                                                     : "something else";
    return "the script " + shown + " is " + kind + ", not a regular file";
}

// The script file's text; false with a message for what is not a regular
// file, a file that cannot be read or one longer than kMaxScriptBytes.
bool readScriptFile(const std::string& path, std::string* text, std::string* error) {
    struct stat st;
    const std::string shown = shownValue(path, 120);
    if (stat(path.c_str(), &st) == 0) {
        if (std::string why = notRegularBecause(st, shown); !why.empty()) {
            *error = why;
            return false;
        }
    }
    // Not blocking, and looked at again once open: a named pipe put in its
    // place since would still block the open.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot read the script " + shown + ": " + std::strerror(errno);
        return false;
    }
    auto fail = [&](std::string why) {
        *error = std::move(why);
        close(fd);
        return false;
    };
    if (fstat(fd, &st) != 0) return fail("cannot read the script " + shown + ": " + std::strerror(errno));
    if (std::string why = notRegularBecause(st, shown); !why.empty()) return fail(why);
    std::string out(kMaxScriptBytes + 1, '\0');
    size_t got = 0;
    while (got < out.size()) {
        ssize_t n = read(fd, &out[got], out.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail("cannot read the script " + shown + ": " + std::strerror(errno));
        if (n == 0) break;
        got += size_t(n);
    }
    close(fd);
    out.resize(got);
    if (out.size() > kMaxScriptBytes) {
        *error = "the script " + shown + " is longer than " + std::to_string(kMaxScriptBytes >> 20) + " MiB";
        return false;
    }
    *text = std::move(out);
    return true;
}

// Why no file can be made in the folder ("" when one can): the game would
// otherwise find out only when its first save fails.
std::string unwritableBecause(const std::string& folder) {
    std::string probe = folder + "/.mekko-probe-XXXXXX";
    int fd = mkstemp(&probe[0]);
    if (fd < 0) return std::strerror(errno);
    close(fd);
    unlink(probe.c_str());
    return "";
}

}  // namespace

void configureAdClient() {
    AdkasaEnvironment& ads = AdkasaEnvironment::shared();
    // The ad service to use; without one the ad views stay empty, as
    // offline.
    const char* origin = std::getenv("ADKASA_SERVICE_ORIGIN");
    if (origin && *origin) {
        if (isWebURL(origin)) {
            ads.endpoints = AdkasaEndpoints::localService(origin);
        } else {
            std::fprintf(stderr, "mekko: ADKASA_SERVICE_ORIGIN is not an http or https URL; no ads\n");
        }
    }
    // A tapped ad's link opens as the game's links do.
    ads.urlOpener = [](const std::string& url) { return hostOpenURL(url.c_str()); };
}

const char* hostUsage() {
    return "usage: mekko [options]\n"
           "  --headless          run without a window even when there is a display\n"
           "  --profile NAME      screen: 320x480@2, 320x568@2, 375x667@2 (default), 414x736@3, 768x1024@2\n"
           "  --zoom Z            window pixels per point (0.25 to 4, default 1)\n"
           "  --assets DIR        the Assets.bundle folder\n"
           "  --documents DIR     the folder for the save file\n"
           "  --frames N          stop after N presented frames (headless default 300)\n"
           "  --shots DIR         write presented frames to DIR as PNG\n"
           "  --every N           ... every Nth frame (default 30), and the last one as last.png\n"
           "  --script FILE       timed input, MS after the first frame, one event a line:\n"
           "                      MS tap X Y [HOLD] | MS down|move|up X Y |\n"
           "                      MS drag X1 Y1 X2 Y2 [MS] [STEPS] | MS resign|active|background|foreground|terminate\n"
           "  --input TEXT        the same inline, events separated by ';'\n"
           "  --timeout SECONDS   stop after this long (headless default 60)\n"
           "  --seed N            a repeatable run: the game gets the random seed N (0 to 4294967295),\n"
           "                      its clock advances 16 ms a frame, and the script comes by frame\n"
           "                      (an event at MS on frame round(MS / 16) after the first) and alone\n"
           "                      pauses and resumes the game\n"
           "  --pacing            at the end, report the mean and 99th percentile of the frame periods\n"
           "  --verbose           at the end, report how long each step of the start took\n"
           "  --help              this text\n"
           "environment:\n"
           "  ADKASA_SERVICE_ORIGIN  the ad service, http://127.0.0.1:PORT (tools/run-game.sh starts\n"
           "                      a local one); unset, the ad views stay empty\n";
}

bool parseHostOptions(int argc, char** argv, HostOptions* options, std::string* error) {
    HostOptions o;
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i] ? argv[i] : "";
        auto value = [&](const char** out) {
            if (i + 1 >= argc || !argv[i + 1]) return false;
            *out = argv[++i];
            return true;
        };
        const char* v = nullptr;
        if (a == "--headless") {
            o.headless = true;
        } else if (a == "--pacing") {
            o.pacing = true;
        } else if (a == "--verbose") {
            o.verbose = true;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--profile") {
            if (!value(&v)) return fail("--profile needs a name");
            if (!KelpaPlatform::findScreenProfile(v)) return fail("unknown screen profile: " + shownValue(v));
            o.profile = v;
        } else if (a == "--zoom") {
            if (!value(&v) || !parseDouble(v, 0.25, 4.0, &o.zoom)) return fail("--zoom needs a number from 0.25 to 4");
        } else if (a == "--assets") {
            if (!value(&v) || !*v) return fail("--assets needs a folder");
            o.assets = v;
        } else if (a == "--documents") {
            if (!value(&v) || !*v) return fail("--documents needs a folder");
            o.documents = v;
        } else if (a == "--frames") {
            if (!value(&v) || !parseInt(v, 0, INT64_C(1) << 40, &o.frames)) return fail("--frames needs a count");
        } else if (a == "--shots") {
            if (!value(&v) || !*v) return fail("--shots needs a folder");
            o.shotsDir = v;
        } else if (a == "--every") {
            if (!value(&v) || !parseInt(v, 1, INT64_C(1) << 40, &o.every)) return fail("--every needs a count of at least 1");
        } else if (a == "--script") {
            if (!value(&v) || !*v) return fail("--script needs a file");
            o.scriptFile = v;
        } else if (a == "--input") {
            if (!value(&v)) return fail("--input needs events");
            o.scriptText = v;
        } else if (a == "--seed") {
            if (!value(&v) || !parseInt(v, 0, INT64_C(4294967295), &o.seed)) {
                return fail("--seed needs a number from 0 to 4294967295");
            }
        } else if (a == "--timeout") {
            if (!value(&v) || !parseDouble(v, 0.001, 86400.0, &o.timeoutSeconds)) {
                return fail("--timeout needs seconds (up to 86400)");
            }
        } else {
            return fail("unknown option: " + shownValue(a));
        }
    }
    *options = o;
    return true;
}

void applyRunDefaults(HostOptions* o, bool headless) {
    if (o->frames == HostOptions::kUnset) o->frames = headless ? 300 : -1;
    if (o->timeoutSeconds == HostOptions::kUnset) o->timeoutSeconds = headless ? 60 : -1;
}

std::string findAssetFolder(const std::string& given) {
    if (!given.empty()) return isDirectory(given) ? given : std::string();
    std::string beside = executableFolder() + "/Assets.bundle";
    if (isDirectory(beside)) return beside;
    std::string source = MEKKO_SOURCE_ASSETS;
    if (isDirectory(source)) return source;
    return "";
}

std::string findDocumentsFolder(const std::string& given) {
    std::string folder = given;
    if (folder.empty()) {
        const char* xdg = std::getenv("XDG_DATA_HOME");
        const char* home = std::getenv("HOME");
        if (xdg && xdg[0] == '/') {
            folder = std::string(xdg) + "/mekko";
        } else if (home && home[0] == '/') {
            folder = std::string(home) + "/.local/share/mekko";
        } else {
            return "";
        }
    }
    return makeFolders(folder) ? folder : std::string();
}

namespace {

// The asset and data folders, each told to the engine; what is wrong with
// them is said, and the run goes on.
void setUpFolders(const HostOptions& options) {
    std::string assets = findAssetFolder(options.assets);
    if (assets.empty()) {
        std::fprintf(stderr, "mekko: no asset folder found%s%s; images and sounds will be missing\n",
                     options.assets.empty() ? "" : " at ", shownValue(options.assets, 120).c_str());
    }
    KelpaEngine::iOS::setAssetFolder(assets.c_str());
    // The ad views' own pictures (the interstitial's close button) come
    // with the game's.
    KelpaPlatform::UIImage::setResourceFolder(assets);
    configureAdClient();
    std::string documents = findDocumentsFolder(options.documents);
    if (documents.empty()) {
        std::fprintf(stderr, "mekko: no data folder can be made; nothing will be saved\n");
    } else if (std::string why = unwritableBecause(documents); !why.empty()) {
        // What is there is still read.
        std::fprintf(stderr, "mekko: the data folder %s cannot be written (%s); nothing will be saved\n",
                     shownValue(documents, 120).c_str(), why.c_str());
    }
    KelpaEngine::iOS::setDocumentsFolder(documents.c_str());
}

// The run's settings with its script read; false with a message.
bool readRunSettings(const HostOptions& options, RunSettings* settings, std::string* error) {
    settings->seed = options.seed;
    settings->frames = options.frames;
    settings->shotsDir = options.shotsDir;
    settings->every = options.every;
    settings->timeoutSeconds = options.timeoutSeconds;
    settings->pacing = options.pacing;
    settings->verbose = options.verbose;
    std::string script = options.scriptText;
    if (!options.scriptFile.empty()) {
        std::string text;
        if (!readScriptFile(options.scriptFile, &text, error)) return false;
        script = text + "\n" + script;
    }
    if (!parseScript(script, &settings->script, error)) return false;
    if (!settings->shotsDir.empty() && !makeFolders(settings->shotsDir)) {
        *error = "cannot make the folder " + shownValue(settings->shotsDir, 120);
        return false;
    }
    return true;
}

}  // namespace

int hostRun(GameEntryFn gameEntry, const char* name, const HostOptions& given, int argc, char** argv) {
    // Marked first by hostMain when there is one; only the process's first
    // start is timed.
    KelpaPlatform::markStartup("libraries loaded");
    KelpaPlatform::NSAutoreleasePool outer;
    HostOptions options = given;
    bool headless = options.headless || !KelpaPlatform::displayAvailable(&argc, &argv);
    applyRunDefaults(&options, headless);
    setGameEntry(gameEntry, name);
    KelpaPlatform::NSAutoreleasePool inner;

    const KelpaPlatform::ScreenProfile* profile =
        options.profile.empty() ? &KelpaPlatform::defaultScreenProfile() : KelpaPlatform::findScreenProfile(options.profile.c_str());
    if (!profile) {
        std::fprintf(stderr, "mekko: unknown screen profile: %s\n", options.profile.c_str());
        return 2;
    }
    KelpaPlatform::setCurrentScreenProfile(*profile);

    setUpFolders(options);
    RunSettings settings;
    std::string error;
    if (!readRunSettings(options, &settings, &error)) {
        std::fprintf(stderr, "mekko: %s\n", error.c_str());
        return 2;
    }

    installHostServicesBridge();
    Runner runner(settings);
    setCurrentRunner(&runner);
    // Set before the game thread starts; without a seed, as nothing was given.
    KelpaEngine::HostBridge& bridge = KelpaEngine::installedHostBridge();
    bridge.setRandomSeed(runner.repeatable() ? options.seed : -1);
    bridge.setGameClock(runner.repeatable() ? runner.gameClock() : nullptr);
    hostState().scriptedLifecycle.store(runner.repeatable() ? 1 : 0);

    KelpaPlatform::markStartup("options and folders");
    KelpaPlatform::UIApplicationOptions ui;
    ui.headless = options.headless;
    ui.zoom = options.zoom;
    ui.title = name ? name : "";
    bool hadDisplay = false;
    KelpaPlatform::UIApplicationMain(argc, argv,
                                     [&hadDisplay]() -> std::unique_ptr<KelpaPlatform::UIApplicationDelegate> {
                                         hadDisplay = KelpaPlatform::UIApplication::shared()->hasDisplay();
                                         return std::make_unique<AppDelegate>();
                                     },
                                     ui);
    setCurrentRunner(nullptr);
    // The clock goes with the runner.
    bridge.setGameClock(nullptr);
    bridge.setRandomSeed(-1);
    hostState().scriptedLifecycle.store(0);
    inner.drain();
    outer.drain();
    // A run without a screen exists to make frames: none is a failure.
    if (!hadDisplay && runner.frames() == 0 && options.frames != 0) {
        std::fprintf(stderr, "mekko: no frame was presented\n");
        return 1;
    }
    return 0;
}

int hostMain(GameEntryFn gameEntry, const char* name, int argc, char** argv) {
    KelpaPlatform::markStartup("libraries loaded");
    HostOptions options;
    std::string error;
    if (!parseHostOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "mekko: %s\n%s", error.c_str(), hostUsage());
        return 2;
    }
    if (options.help) {
        std::fputs(hostUsage(), stdout);
        return 0;
    }
    return hostRun(gameEntry, name, options, argc, argv);
}

}  // namespace KelpaHost
