#include "emulator/UsbNode.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>

#include "PtyChannel.h"

namespace emulator {

namespace {

// Node paths held by the nodes of this process. An unplugged node has no
// file on disk, yet its path stays its own until it is destroyed, or a
// second printer would take it over.
std::mutex g_reservedMutex;
std::set<std::string> g_reserved;

bool occupied(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ||
           ::lstat((path + ".ieee1284_id").c_str(), &info) == 0;
}

// Picks and reserves the node path; empty when the wanted one is taken.
std::string reservePath(const std::string& directory, int index) {
    std::lock_guard lock(g_reservedMutex);
    for (int n = index < 0 ? 0 : index; n < 1000; ++n) {
        const std::string path = directory + "/lp" + std::to_string(n);
        if (g_reserved.count(path) == 0 && (index >= 0 || !occupied(path))) {
            g_reserved.insert(path);
            return path;
        }
        if (index >= 0) {
            break;
        }
    }
    return {};
}

void releasePath(const std::string& path) {
    std::lock_guard lock(g_reservedMutex);
    g_reserved.erase(path);
}

}  // namespace

std::string UsbNode::deviceId(const std::string& modelCode, std::uint32_t internalId) {
    return "MFG:Corvane;MDL:RX-" + modelCode + ";CMD:ESC/POS;CLS:PRINTER;IID:" +
           std::to_string(internalId) + ";";
}

std::unique_ptr<UsbNode> UsbNode::open(VirtualPrinter& printer, Options options, std::string* error) {
    std::string directory = options.directory;
    while (directory.size() > 1 && directory.back() == '/') {
        directory.pop_back();
    }
    if (directory.empty()) {
        if (error != nullptr) {
            *error = "no USB device directory";
        }
        return nullptr;
    }
    if (::mkdir(directory.c_str(), 0755) != 0 && errno != EEXIST) {
        if (error != nullptr) {
            *error = directory + ": " + std::strerror(errno);
        }
        return nullptr;
    }
    const std::string nodePath = reservePath(directory, options.index);
    if (nodePath.empty()) {
        if (error != nullptr) {
            *error = options.index < 0 ? directory + ": no free node name"
                                       : directory + "/lp" + std::to_string(options.index) +
                                             " belongs to another printer";
        }
        return nullptr;
    }
    PtyChannel::Options channelOptions{nodePath, nodePath + ".ieee1284_id",
                                       deviceId(printer.modelCode(), printer.internalId()),
                                       std::move(options.onReceive)};
    auto channel = PtyChannel::open(printer, std::move(channelOptions), error);
    if (!channel) {
        releasePath(nodePath);
        return nullptr;
    }
    return std::unique_ptr<UsbNode>(new UsbNode(nodePath, std::move(channel)));
}

UsbNode::UsbNode(std::string nodePath, std::unique_ptr<PtyChannel> channel)
    : m_nodePath(std::move(nodePath)), m_channel(std::move(channel)) {}

UsbNode::~UsbNode() {
    m_channel.reset();
    releasePath(m_nodePath);
}

void UsbNode::unplug() { m_channel->setPlugged(false, nullptr); }

bool UsbNode::plug(std::string* error) { return m_channel->setPlugged(true, error); }

bool UsbNode::plugged() const { return m_channel->plugged(); }

std::string UsbNode::lastError() const { return m_channel->lastError(); }

}  // namespace emulator
