#include "platform/ui.h"

#include <io.h>

#include <cstdio>
#include <mutex>
#include <utility>

namespace platform {

namespace {

std::mutex g_providerMutex;
DialogProvider g_provider;

}  // namespace

DialogProvider setDialogProvider(DialogProvider provider) {
    std::lock_guard lock(g_providerMutex);
    return std::exchange(g_provider, std::move(provider));
}

void runModalDialog(const DialogDescription& description, const DialogStart& onStart) {
    DialogProvider provider;
    {
        std::lock_guard lock(g_providerMutex);
        provider = g_provider;
    }
    if (provider) {
        provider(description, onStart);
        return;
    }
    onStart();
}

bool standardInputIsTerminal() {
    return ::_isatty(::_fileno(stdin)) != 0;
}

}  // namespace platform
