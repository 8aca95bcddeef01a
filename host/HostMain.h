// The host's main routine and its command line.
//
//   mekko [--headless] [--profile NAME] [--zoom Z] [--assets DIR]
//         [--documents DIR] [--frames N] [--shots DIR] [--every N]
//         [--script FILE] [--input TEXT] [--timeout SECONDS] [--seed N]
//         [--pacing] [--verbose] [--help]
#pragma once

#include <cstdint>
#include <string>

#include "host/HostState.h"

namespace KelpaHost {

struct HostOptions {
    static constexpr int kUnset = -2;  // frames and timeout: not given
    bool headless = false;
    std::string profile;       // a screen profile name; "" the default
    double zoom = 1.0;         // window pixels per point (desktop)
    std::string assets;        // the Assets.bundle folder; "" found by itself
    std::string documents;     // the data folder; "" the per-user one
    int64_t frames = kUnset;   // stop after this many presented frames; -1 no limit
    std::string shotsDir;      // write presented frames here as PNG
    int64_t every = 30;        // ... every Nth one
    std::string scriptFile;    // timed input, one event a line
    std::string scriptText;    // the same inline, events separated by ';'
    double timeoutSeconds = kUnset;  // stop after this long; -1 no limit
    int64_t seed = -1;         // 0 .. 2^32 - 1: the game's seed and a repeatable run; -1 none
    bool pacing = false;       // report the frame periods at the end
    bool verbose = false;      // report how long each step of the start took
    bool help = false;
};

// False with a message for a bad command line.
bool parseHostOptions(int argc, char** argv, HostOptions* options, std::string* error);
// Limits not given: a run without a display stops after 300 frames or 60
// seconds; a window runs until it is closed.
void applyRunDefaults(HostOptions* options, bool headless);
const char* hostUsage();

// The asset folder to use: the one given, else "Assets.bundle" beside the
// executable, else the source tree's (a build-tree run); "" when none exists.
std::string findAssetFolder(const std::string& given);
// The data folder to use (made when missing): the one given, else
// $XDG_DATA_HOME/mekko, else ~/.local/share/mekko. "" when it cannot be made.
std::string findDocumentsFolder(const std::string& given);

// Points the ad client at $ADKASA_SERVICE_ORIGIN (none: no ad service)
// and routes its links through the host's URL opening.
void configureAdClient();

// Stores the game entry and name, reads the command line, sets up the
// screen, the folders and the services, and runs the application until it
// terminates. 0 on a normal end; 2 for a bad command line; 1 when a run
// without display presented no frame.
int hostMain(GameEntryFn gameEntry, const char* name, int argc, char** argv);
// The same with the options already read.
int hostRun(GameEntryFn gameEntry, const char* name, const HostOptions& options, int argc, char** argv);

}  // namespace KelpaHost
