#include "platform/ui.h"

#include <io.h>

#include <cstdio>

namespace platform {

bool standardInputIsTerminal() {
    return ::_isatty(::_fileno(stdin)) != 0;
}

}  // namespace platform
