// The host's dialog provider, the same on every backend: a host registers
// one; without one the backend's system dialog runs where it can, and the
// headless one elsewhere.
#include <mutex>
#include <utility>

#include "platform/ui.h"
#include "SystemDialog.h"

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
    if (!detail::runSystemDialog(description, onStart)) {
        headlessDialog(description, onStart);
    }
}

void headlessDialog(const DialogDescription&, const DialogStart& pressStart) {
    pressStart();
}

}  // namespace platform
