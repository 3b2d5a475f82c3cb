#include "emulator/PtyPort.h"

#include "PtyChannel.h"

namespace emulator {

std::unique_ptr<PtyPort> PtyPort::open(VirtualPrinter& printer, Options options, std::string* error) {
    std::string linkPath = options.linkPath;
    auto channel = PtyChannel::open(printer, {options.linkPath, {}, {}, std::move(options.onReceive), options.controllingTerminal}, error);
    if (!channel) {
        return nullptr;
    }
    return std::unique_ptr<PtyPort>(new PtyPort(std::move(linkPath), std::move(channel)));
}

PtyPort::PtyPort(std::string linkPath, std::unique_ptr<PtyChannel> channel)
    : m_linkPath(std::move(linkPath)), m_channel(std::move(channel)) {}

PtyPort::~PtyPort() = default;

std::string PtyPort::lastError() const { return m_channel->lastError(); }

}  // namespace emulator
