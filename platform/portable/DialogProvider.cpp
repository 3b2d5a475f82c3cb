// The host's dialog provider, the same on every backend: a host registers
// one, and without one the dialog runs headless (presses Start and closes).
#include <mutex>
#include <utility>

#include "platform/ui.h"

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

}  // namespace platform
