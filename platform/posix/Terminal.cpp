#include <unistd.h>

#include "platform/ui.h"

namespace platform {

bool standardInputIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

}  // namespace platform
