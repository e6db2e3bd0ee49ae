// Prints the SDK's install id (made and stored on first use, in the settings store below
// $XDG_CONFIG_HOME), then, with the argument "kill", kills itself at once with SIGKILL, as a user
// or the system may end a program in its first moments; without it, exits normally.
#include "ZevOzozid/ZevOzozid/ZVTZevOzozid.h"

#include <csignal>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    std::printf("%s\n", ZVTZevOzozid::installId().UUIDString().c_str());
    std::fflush(stdout);
    if (argc > 1 && std::strcmp(argv[1], "kill") == 0) std::raise(SIGKILL);
    return 0;
}
