// tillsetup where the build has no window: the command line alone (without
// arguments it prints the usage).
#include <string>
#include <vector>

#include "CommandLineMain.h"

int main(int argc, char** argv) {
    return setup::commandLineMain(std::vector<std::string>(argv + 1, argv + argc));
}
