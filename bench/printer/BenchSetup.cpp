#include "BenchSetup.h"

#include <cstdlib>
#include <filesystem>
#include <random>

#include "platform/com.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "schema/DeviceEntry.h"

namespace bench {

PrivateRegistry::PrivateRegistry() {
    std::string base;
    if (platform::tempDirectory(&base) != platform::ERROR_SUCCESS) {
        return;
    }
    std::string folder = base + "bench-receiptso-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) {
        return;
    }
    m_folder = folder;
    setenv("CVOPOS_REGISTRY", (m_folder + "/registry.db").c_str(), 1);
}

PrivateRegistry::~PrivateRegistry() {
    if (!m_folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
}

std::unique_ptr<emulator::NetworkPort> openNetwork(emulator::VirtualPrinter& printer) {
    std::random_device seed;
    std::uniform_int_distribution<int> part(1, 254);
    for (int attempt = 0; attempt < 50; ++attempt) {
        emulator::NetworkPort::Options options;
        options.address = "127." + std::to_string(part(seed)) + "." + std::to_string(part(seed)) + ".1";
        if (auto network = emulator::NetworkPort::open(printer, options)) {
            return network;
        }
    }
    return nullptr;
}

bool writeDevice(const std::string& keyName, const std::string& port) {
    auto registerServer = platform::getProcAddressAs<platform::DllRegisterServerFunction>(
        platform::loadLibrary(RECEIPTSO_PATH), platform::kDllRegisterServerExport);
    if (registerServer == nullptr || registerServer(RECEIPTSO_PATH) != platform::S_OK) {
        return false;
    }
    schema::RegKey key;
    if (key.create(platform::HKLM, schema::deviceKeyPath(schema::kPosPrinterClass, keyName)) !=
        platform::ERROR_SUCCESS) {
        return false;
    }
    schema::PrinterValues values;
    values.settings.port = port;
    values.logicalName = "bench";
    return schema::writePrinterValues(key, values) == platform::ERROR_SUCCESS;
}

}  // namespace bench
