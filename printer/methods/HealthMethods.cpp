// CheckHealth at its three levels and DirectIO's one command: the two ways
// an application reaches the printer outside the output methods.
#include <array>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "PosPrinter.h"
#include "common/OposConstants.h"
#include "platform/strings.h"
#include "platform/ui.h"
#include "portlink/portlink.h"
#include "printer/encode/BinaryCode.h"

namespace printer {

using namespace common;
using platform::S_FALSE;
using platform::S_OK;

namespace {

constexpr const char* kEnd = "";
constexpr std::size_t kCheckBlockSize = 255;
constexpr platform::DWORD kInteractiveWriteTimeoutMs = 10000;
constexpr LONG PTR_DI_OUTPUT_NORMAL = 100;

// The interactive check's outcome, shared by every service object of the
// module as the dialog's result always was: a dialog closed without Start
// reports the last outcome, success before any.
std::atomic<int> g_interactiveResult{1};

// A check text for the paper: the text, the model's name, three line
// feeds, zero-padded to the block size.
std::array<std::uint8_t, kCheckBlockSize> checkBlock(const std::string& heading, const std::string& modelName) {
    std::array<std::uint8_t, kCheckBlockSize> block{};
    const std::string text = heading + " " + modelName + "\n\n\n";
    std::memcpy(block.data(), text.data(), std::min(text.size(), block.size()));
    return block;
}

}  // namespace

HRESULT PosPrinter::CheckHealth(LONG level, LONG* pRC) {
    m_log->debug("CheckHealth(%d)", level);
    if (!enabledFor("CheckHealth", "is FALSE ", pRC)) {
        return S_FALSE;
    }
    m_checkHealthText.clear();
    if (level == OPOS_CH_INTERNAL) {
        m_checkHealthText = "Internal HCheck: Successful";
    } else if (level == OPOS_CH_EXTERNAL) {
        const auto block = checkBlock(
            "External Check!!\nCorvane OPOS Driver\nServiceObjectVersion = 1007001\nDeviceName =", m_model.deviceName);
        if (PrintJob(block, job_mode::IMMEDIATE) != 0) {
            m_checkHealthText = "External HCheck: Not Responding";
            m_log->traceProperty(level::debug, PIDX_CheckHealthText, 0, m_checkHealthText);
            // A printer held at an error does not answer: the caller learns
            // which error rather than a success it cannot act on.
            if (m_shared && m_shared->heldBy.load() != 0) {
                m_log->error("CheckHealth %d:External check held by %d%s", 1, m_shared->heldBy.load(), kEnd);
                return answerPrintFailure(pRC);
            }
        } else {
            m_checkHealthText = "External HCheck: Successful";
        }
    } else if (level == OPOS_CH_INTERACTIVE) {
        m_checkHealthText = interactiveCheck() ? "Interactive HCheck: Successful" : "Interactive HCheck: Not Responding";
    }
    m_log->traceProperty(level::debug, PIDX_CheckHealthText, 0, m_checkHealthText);
    return answer(pRC, OPOS_SUCCESS, S_OK);
}

// The dialog's Start writes a check text straight to the port, past the
// job queue, so a person at the printer sees at once whether it answers.
bool PosPrinter::interactiveCheck() {
    const platform::DialogDescription dialog{"CheckHealth Interactive",
                                             {"Push The [Start] Button To  Start", "CheckHealth Method"},
                                             "Start",
                                             "Close",
                                             "Result"};
    const auto block = checkBlock("Interactive Check for printer\nServiceObjectVersion = 1007001\nDeviceName =",
                                  m_model.deviceName);
    platform::runModalDialog(dialog, [&]() -> std::string {
        std::int32_t step = 0;
        std::int32_t sysError = 0;
        const bool written = WritePort(m_portNumber, m_hPort, block.data(), static_cast<std::int32_t>(block.size()),
                                       kInteractiveWriteTimeoutMs, m_model.protocol, &step, &sysError) == 1;
        m_log->debug("CheckHealth Interactive WritePort:%d %d %d", written ? 1 : 0, step, sysError);
        g_interactiveResult.store(written ? 1 : 0);
        return written ? "OPOS_SUCCESS" : "OPOS_FAIL";
    });
    return g_interactiveResult.load() == 1;
}

HRESULT PosPrinter::DirectIO(LONG command, LONG* pData, const std::wstring& text, LONG* pRC) {
    m_log->debug("DirectIO(%d,%d,\"%s\")", command, pData != nullptr ? *pData : 0,
                 m_log->debugEnabled() ? platform::toNarrow(text).c_str() : "");
    if (!CheckSOStatus(3)) {
        m_log->error("DirectIO %d:CheckSOStatus(3) is FALSE%s", 1, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    if (command != PTR_DI_OUTPUT_NORMAL) {
        m_log->error("DirectIO %d:Command != PTR_DI_OUTPUT_NORMAL%s", 1, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    // Text whose narrow form does not fit the command buffer is refused
    // whole rather than sent cut short.
    std::vector<std::uint8_t> bytes(kCommandBufferSize);
    std::size_t written = 0;
    std::int32_t length = 0;
    if (platform::toNarrow(text, reinterpret_cast<char*>(bytes.data()), bytes.size(), &written) == 0) {
        length = TranslateBinaryCode(m_binaryConversion, bytes.data(), static_cast<std::int32_t>(written));
    }
    if (length <= 0) {
        m_log->error("DirectIO %d:TranslateBinaryCode failed%s", 1, kEnd);
        return answer(pRC, OPOS_E_ILLEGAL, S_FALSE);
    }
    bytes.resize(static_cast<std::size_t>(length));
    if (PrintJob(bytes, job_mode::NORMAL) != 0) {
        m_log->error("DirectIO %d:PrintJob failed%s", 1, kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    return answer(pRC, OPOS_SUCCESS, S_OK);
}

}  // namespace printer
