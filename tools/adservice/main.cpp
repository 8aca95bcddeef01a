// adkasa-service: runs the local ad service until interrupted.
//   adkasa-service [--port N] [--house DIR] [--fault ROUTE=FAULT]...
//                  [--config APPID=FILE]... [--quiet]
// Prints "port N" on the first line of standard output once it listens.
#include <glib-unix.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/adservice/AdService.h"

namespace {

gboolean quit(gpointer loop) {
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_REMOVE;
}

int usage() {
    std::fprintf(stderr,
                 "usage: adkasa-service [--port N] [--house DIR] [--fault ROUTE=FAULT]...\n"
                 "                      [--config APPID=FILE]... [--quiet]\n"
                 "  ROUTE: cdn api impression click relay inmobi leadbolt gamefeat mmedia\n"
                 "  FAULT: none stall garbage truncated brokenoff noad status:N\n"
                 "  --config: the placement's configuration is FILE's JSON, as it is\n"
                 "  A request body over 64 KiB is refused (413); /stats counts every request.\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int port = 0;
    std::string house;
    bool verbose = true;
    std::vector<std::pair<std::string, adservice::FaultSpec>> faults;
    std::vector<std::pair<std::string, std::string>> configs;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--port" && i + 1 < argc) {
            port = std::atoi(argv[++i]);
        } else if (a == "--house" && i + 1 < argc) {
            house = argv[++i];
        } else if (a == "--fault" && i + 1 < argc) {
            std::string arg = argv[++i];
            size_t eq = arg.find('=');
            adservice::FaultSpec f;
            if (eq == std::string::npos || !adservice::parseFault(arg.substr(eq + 1), &f)) return usage();
            faults.emplace_back(arg.substr(0, eq), f);
        } else if (a == "--config" && i + 1 < argc) {
            std::string arg = argv[++i];
            size_t eq = arg.find('=');
            if (eq == std::string::npos || eq == 0) return usage();
            std::ifstream in(arg.substr(eq + 1), std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "adkasa-service: cannot read %s\n", arg.substr(eq + 1).c_str());
                return 2;
            }
            std::stringstream body;
            body << in.rdbuf();
            configs.emplace_back(arg.substr(0, eq), body.str());
        } else if (a == "--quiet") {
            verbose = false;
        } else {
            return usage();
        }
    }
    adservice::AdService service(house);
    service.setVerbose(verbose);
    for (auto& [route, f] : faults) service.setFault(route, f);
    for (auto& [appId, body] : configs) service.setConfiguration(appId, body);
    if (!service.listen(port)) return 1;
    std::printf("port %d\n", service.port());
    std::fflush(stdout);
    if (verbose) std::fprintf(stderr, "adkasa-service: listening on %s\n", service.origin().c_str());
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_unix_signal_add(SIGINT, quit, loop);
    g_unix_signal_add(SIGTERM, quit, loop);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    return 0;
}
