// regsweep: run by the uninstaller after the files are gone. It has no
// arguments and no output, and always reports success so that an
// uninstall never stops over a registry that was already clean.
#include "RegistrySweep.h"

int main() {
    cleaner::sweepRegistry();
    return 0;
}
