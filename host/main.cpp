// The process entry: the host's main routine with the game's entry.
#include "game/GameEntry.h"
#include "host/HostMain.h"

int main(int argc, char** argv) { return KelpaHost::hostMain(mekko::gameEntry, "mekko", argc, argv); }
