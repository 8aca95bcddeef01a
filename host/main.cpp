// The process entry: the host's main routine with the game's entry.
#include "game/MekkoGame.h"
#include "host/HostMain.h"

int main(int argc, char** argv) { return KelpaHost::hostMain(mekkoGameEntry, "mekko", argc, argv); }
