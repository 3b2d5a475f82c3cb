// The fake service object module (see FakeServiceObject.h). Its method
// lists are written out from the service objects' interfaces here, apart
// from the control object's own tables, so that a mistake in either shows.
#include "FakeServiceObject.h"

#include <algorithm>
#include <cwctype>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "common/ComRegistration.h"
#include "common/OposConstants.h"
#include "platform/com.h"
#include "platform/strings.h"
#include "platform/ui.h"

using namespace platform;

namespace {

std::mutex g_journalMutex;
std::vector<std::string> g_journal;

void record(std::string line) {
    std::lock_guard lock(g_journalMutex);
    g_journal.push_back(std::move(line));
}

enum class Kind { Printer, Drawer, Incomplete };

// Parameter kinds: N number, T text, R by-reference number, D dispatch.
struct Method {
    const char* name;
    const char* signature;
};

constexpr Method kPrinterMethods[] = {
    {"CheckHealth", "NR"},      {"ClaimDevice", "NR"},     {"ClearInput", "R"},       {"ClearOutput", "R"},
    {"CloseService", "R"},      {"COFreezeEvents", "NR"},  {"DirectIO", "NRTR"},      {"GetOpenResult", "R"},
    {"OpenService", "TTDR"},    {"ReleaseDevice", "R"},    {"GetPropertyNumber", "NR"}, {"SetPropertyNumber", "NN"},
    {"GetPropertyString", "N"}, {"SetPropertyString", "NT"}, {"BeginInsertion", "NR"}, {"BeginRemoval", "NR"},
    {"CutPaper", "NR"},         {"EndInsertion", "R"},     {"EndRemoval", "R"},       {"PrintBarCode", "NTNNNNNR"},
    {"PrintBitmap", "NTNNR"},   {"PrintImmediate", "NTR"}, {"PrintNormal", "NTR"},    {"PrintTwoNormal", "NTTR"},
    {"RotatePrint", "NNR"},     {"SetBitmap", "NNTNNR"},   {"SetLogo", "NTR"},        {"TransactionPrint", "NNR"},
    {"ValidateData", "NTR"},    {"ChangePrintSide", "NR"}, {"MarkFeed", "NR"},        {"Open", "TTDR"},
    {"Claim", "NR"},            {"Release", "R"},          {"Close", "R"},
};

constexpr Method kDrawerMethods[] = {
    {"CheckHealth", "NR"},       {"ClaimDevice", "NR"},       {"ClearInput", "R"},
    {"ClearOutput", "R"},        {"CloseService", "R"},       {"DirectIO", "NRTR"},
    {"OpenService", "TTDR"},     {"ReleaseDevice", "R"},      {"openDrawer", "R"},
    {"waitForDrawerClose", "NNNNR"}, {"GetPropertyNumber", "NR"}, {"SetPropertyNumber", "NN"},
    {"GetPropertyString", "N"},  {"SetPropertyString", "NT"}, {"COFreezeEvents", "NR"},
};

bool sameName(std::wstring_view wide, std::string_view narrow) {
    return std::ranges::equal(wide, narrow, [](wchar_t w, char n) {
        return std::towlower(static_cast<wint_t>(w)) == std::towlower(static_cast<unsigned char>(n));
    });
}

bool matches(const Variant& argument, char kind) {
    switch (kind) {
    case 'N':
        return argument.type() == VT_I4;
    case 'T':
        return argument.type() == VT_BSTR;
    case 'R':
        return argument.type() == (VT_BYREF | VT_I4);
    default:
        return argument.type() == VT_DISPATCH;
    }
}

std::string describe(const Variant& argument) {
    LONG number = 0;
    std::wstring text;
    switch (argument.type()) {
    case VT_I4:
        argument.getI4(&number);
        return std::to_string(number);
    case VT_BYREF | VT_I4:
        argument.getI4(&number);
        return "&" + std::to_string(number);
    case VT_BSTR:
        argument.getString(&text);
        return "\"" + toNarrow(text) + "\"";
    default:
        return "dispatch";
    }
}

class FakeServiceObject : public RefCountedDispatch {
public:
    explicit FakeServiceObject(Kind kind) : m_kind(kind) {}

    HRESULT GetIDsOfNames(std::wstring_view name, DISPID* dispid) override {
        const auto table = methods();
        for (std::size_t i = 0; i < table.size(); ++i) {
            if (sameName(name, table[i].name) &&
                !(m_kind == Kind::Incomplete && std::string_view(table[i].name) == "ClearOutput")) {
                *dispid = static_cast<DISPID>(i + 1);
                return S_OK;
            }
        }
        return DISP_E_UNKNOWNNAME;
    }

    HRESULT Invoke(DISPID dispid, DispParams& params, Variant* result) override {
        const auto table = methods();
        if (dispid < 1 || static_cast<std::size_t>(dispid) > table.size()) {
            return DISP_E_MEMBERNOTFOUND;
        }
        const Method& method = table[dispid - 1];
        const std::string_view signature = method.signature;
        if (params.arguments.size() != signature.size()) {
            return DISP_E_BADPARAMCOUNT;
        }
        std::string line = std::string(method.name) + "(";
        for (std::size_t i = 0; i < signature.size(); ++i) {
            if (!matches(params.arguments[i], signature[i])) {
                return DISP_E_TYPEMISMATCH;
            }
            line += (i == 0 ? "" : ",") + describe(params.arguments[i]);
        }
        record(line + ")");
        return dispatch(method.name, params, result);
    }

private:
    ~FakeServiceObject() override { joinSender(); }

    std::span<const Method> methods() const {
        if (m_kind == Kind::Drawer) {
            return kDrawerMethods;
        }
        return kPrinterMethods;
    }

    const char* className() const { return m_kind == Kind::Drawer ? "CashDrawer" : "POSPrinter"; }

    HRESULT dispatch(std::string_view name, DispParams& params, Variant* result) {
        std::vector<Variant>& args = params.arguments;
        LONG number = 0;
        args[0].getI4(&number);
        const Variant& rc = args.back();
        if (name == "OpenService" || name == "Open") {
            return openService(args, rc);
        }
        if (name == "GetPropertyNumber") {
            return getNumber(number, args[1]);
        }
        if (name == "SetPropertyNumber") {
            LONG value = 0;
            args[1].getI4(&value);
            return setNumber(number, value);
        }
        if (name == "GetPropertyString") {
            std::lock_guard lock(m_mutex);
            m_resultCode = common::OPOS_SUCCESS;
            if (number == common::PIDX_DeviceName) {
                *result = Variant(m_deviceName);
            } else if (number == common::PIDX_CheckHealthText) {
                *result = Variant(m_healthText);
            } else if (const auto found = m_texts.find(number); found != m_texts.end()) {
                *result = Variant(found->second);
            }
            return S_OK;
        }
        if (name == "SetPropertyString") {
            std::wstring text;
            args[1].getString(&text);
            std::lock_guard lock(m_mutex);
            m_resultCode = common::OPOS_SUCCESS;
            m_texts[number] = text;
            return S_OK;
        }
        if (name == "GetOpenResult") {
            std::lock_guard lock(m_mutex);
            return answer(rc, m_openResult);
        }
        if (name == "CloseService" || name == "Close") {
            joinSender();
            std::lock_guard lock(m_mutex);
            if (!m_opened) {
                return fail(rc, common::OPOS_E_CLOSED);
            }
            m_opened = m_claimed = m_enabled = false;
            return answer(rc, common::OPOS_SUCCESS);
        }
        if (name == "ClaimDevice" || name == "Claim") {
            std::lock_guard lock(m_mutex);
            if (!m_opened) {
                return fail(rc, common::OPOS_E_CLOSED);
            }
            if (m_claimed) {
                return fail(rc, common::OPOS_SUCCESS);
            }
            m_claimed = true;
            return answer(rc, common::OPOS_SUCCESS);
        }
        if (name == "ReleaseDevice" || name == "Release") {
            std::lock_guard lock(m_mutex);
            if (!m_claimed) {
                return fail(rc, m_opened ? common::OPOS_E_NOTCLAIMED : common::OPOS_E_CLOSED);
            }
            m_claimed = m_enabled = false;
            return answer(rc, common::OPOS_SUCCESS);
        }
        if (name == "COFreezeEvents") {
            std::lock_guard lock(m_mutex);
            m_freezeEvents = number;
            return answer(rc, common::OPOS_SUCCESS);
        }
        if (name == "CheckHealth") {
            return checkHealth(number, rc);
        }
        if (name == "DirectIO") {
            return directIO(number, args[1], args[2], rc, result);
        }
        if (name.starts_with("Print")) {
            std::lock_guard lock(m_mutex);
            return answer(rc, m_enabled ? common::OPOS_SUCCESS : common::OPOS_E_DISABLED);
        }
        std::lock_guard lock(m_mutex);
        return answer(rc, common::OPOS_SUCCESS);
    }

    HRESULT answer(const Variant& rc, LONG code) {
        m_resultCode = code;
        rc.setByRefI4(code);
        return S_OK;
    }

    HRESULT fail(const Variant& rc, LONG code) {
        answer(rc, code);
        return S_FALSE;
    }

    HRESULT openService(std::vector<Variant>& args, const Variant& rc) {
        std::wstring deviceClass;
        std::wstring deviceName;
        IDispatch* control = nullptr;
        args[0].getString(&deviceClass);
        args[1].getString(&deviceName);
        args[2].getDispatch(&control);
        std::lock_guard lock(m_mutex);
        if (m_opened) {
            m_openResult = common::OPOS_OR_ALREADYOPEN;
            return answer(rc, common::OPOS_E_FAILURE);
        }
        if (toNarrow(deviceClass) != className()) {
            m_openResult = common::OPOS_ORS_NOTSUPPORTED;
            return fail(rc, common::OPOS_E_FAILURE);
        }
        const bool drawer = m_kind == Kind::Drawer;
        if (control == nullptr || failed(control->GetIDsOfNames(L"SODirectIO", &m_directIOId)) ||
            failed(control->GetIDsOfNames(L"SOStatusUpdate", &m_statusUpdateId)) ||
            (!drawer && (failed(control->GetIDsOfNames(L"SOError", &m_errorId)) ||
                         failed(control->GetIDsOfNames(L"SOOutputComplete", &m_outputCompleteId))))) {
            return S_FALSE;
        }
        const std::string name = toNarrow(deviceName);
        if (name == opostest::kSilentDevice) {
            return S_FALSE;
        }
        if (name == opostest::kFailingDevice) {
            return fail(rc, common::OPOS_E_FAILURE);
        }
        if (name == opostest::kNoPortDevice) {
            m_openResult = common::OPOS_ORS_NOPORT;
            return fail(rc, common::OPOS_E_FAILURE);
        }
        m_control = control;
        m_deviceName = deviceName;
        m_version = name == opostest::kNewerDevice ? 2000000 : 1007000;
        m_opened = true;
        m_openResult = common::OPOS_SUCCESS;
        return answer(rc, common::OPOS_SUCCESS);
    }

    HRESULT getNumber(LONG index, const Variant& number) {
        std::lock_guard lock(m_mutex);
        if (index == common::PIDX_ResultCode) {
            // Read once: the printer service object resets it when read.
            number.setByRefI4(m_resultCode);
            m_resultCode = common::OPOS_SUCCESS;
            return S_OK;
        }
        m_resultCode = common::OPOS_SUCCESS;
        const std::map<LONG, LONG> fixed = {
            {common::PIDX_Claimed, m_claimed},
            {common::PIDX_DeviceEnabled, m_enabled},
            {common::PIDX_FreezeEvents, m_freezeEvents},
            {common::PIDX_State, m_opened ? common::OPOS_S_IDLE : common::OPOS_S_CLOSED},
            {common::PIDX_ServiceObjectVersion, m_version},
        };
        if (const auto found = fixed.find(index); found != fixed.end()) {
            number.setByRefI4(found->second);
        } else if (const auto stored = m_numbers.find(index); stored != m_numbers.end()) {
            number.setByRefI4(stored->second);
        }
        return S_OK;
    }

    HRESULT setNumber(LONG index, LONG value) {
        std::unique_lock lock(m_mutex);
        m_resultCode = common::OPOS_SUCCESS;
        if (index != common::PIDX_DeviceEnabled) {
            m_numbers[index] = value;
            return S_OK;
        }
        if (!m_claimed) {
            m_resultCode = common::OPOS_E_NOTCLAIMED;
            return S_OK;
        }
        const bool enabling = value == 1 && !m_enabled;
        m_enabled = value == 1;
        IDispatch* control = m_control;
        lock.unlock();
        if (enabling) {
            // As a service object reports power while enabling: at once, on
            // the caller's thread, through the pointer given at open.
            DispParams status{Variant(common::OPOS_SUE_POWER_ONLINE)};
            control->Invoke(m_statusUpdateId, status, nullptr);
        }
        return S_OK;
    }

    HRESULT checkHealth(LONG level, const Variant& rc) {
        int starts = 0;
        if (level == common::OPOS_CH_INTERACTIVE) {
            const DialogDescription dialog{
                "CheckHealth Interactive", {"Push The [Start] Button To  Start", "CheckHealth Method"}, "Start",
                "Close", "Result"};
            runModalDialog(dialog, [&starts] {
                ++starts;
                record("Start");
                return std::string("OPOS_SUCCESS");
            });
        }
        std::lock_guard lock(m_mutex);
        m_healthText = level != common::OPOS_CH_INTERACTIVE ? L"Internal HCheck: Successful"
                       : starts > 0                         ? L"Interactive HCheck: Successful"
                                                            : L"Interactive HCheck: Not Responding";
        return answer(rc, common::OPOS_SUCCESS);
    }

    HRESULT directIO(LONG command, const Variant& data, const Variant& text, const Variant& rc, Variant* result) {
        LONG value = 0;
        std::wstring string;
        data.getI4(&value);
        text.getString(&string);
        switch (command) {
        case opostest::kSendStatusUpdates:
            send([this, value](IDispatch* control) {
                for (LONG status = 1; status <= value; ++status) {
                    DispParams params{Variant(status)};
                    control->Invoke(m_statusUpdateId, params, nullptr);
                }
            });
            break;
        case opostest::kSendError:
            send([this, value](IDispatch* control) {
                LONG response = common::OPOS_ER_RETRY;
                DispParams params{Variant(common::OPOS_E_EXTENDED), Variant(value), Variant(common::OPOS_EL_OUTPUT),
                                  Variant::byRef(&response)};
                control->Invoke(m_errorId, params, nullptr);
                LONG answered = common::OPOS_ER_RETRY;
                params.getI4(3, &answered);
                std::lock_guard lock(m_mutex);
                m_lastErrorResponse = answered;
            });
            break;
        case opostest::kLastErrorResponse: {
            joinSender();
            std::lock_guard lock(m_mutex);
            data.setByRefI4(m_lastErrorResponse);
            break;
        }
        case opostest::kSendOutputComplete:
            send([this, value](IDispatch* control) {
                DispParams params{Variant(value)};
                control->Invoke(m_outputCompleteId, params, nullptr);
            });
            break;
        case opostest::kSendDirectIO: {
            LONG answered = value;
            DispParams params{Variant(value), Variant::byRef(&answered), Variant(string)};
            Variant reply;
            m_control->Invoke(m_directIOId, params, &reply);
            data.setByRefI4(answered);
            if (reply.getString(&string) == S_OK) {
                *result = Variant(string);
            }
            break;
        }
        case opostest::kEcho:
            data.setByRefI4(value + 1);
            std::reverse(string.begin(), string.end());
            *result = Variant(string);
            break;
        default:
            break;
        }
        std::lock_guard lock(m_mutex);
        return answer(rc, common::OPOS_SUCCESS);
    }

    // Runs `body` on the fake's event thread (one at a time, in the order
    // asked for) with the control object's dispatch unmarshalled there.
    void send(std::function<void(IDispatch*)> body) {
        coInitialize();
        MarshalStream* stream = nullptr;
        marshalInterThreadInterface(m_control, &stream);
        coUninitialize();
        std::lock_guard lock(m_senderMutex);
        if (m_sender.joinable()) {
            m_sender.join();
        }
        m_sender = std::thread([stream, body = std::move(body)] {
            coInitialize();
            IDispatch* control = nullptr;
            if (succeeded(getInterfaceAndReleaseStream(stream, &control))) {
                body(control);
                control->Release();
            }
            coUninitialize();
        });
    }

    void joinSender() {
        std::lock_guard lock(m_senderMutex);
        if (m_sender.joinable()) {
            m_sender.join();
        }
    }

    const Kind m_kind;
    std::mutex m_mutex;
    bool m_opened = false;
    bool m_claimed = false;
    bool m_enabled = false;
    LONG m_freezeEvents = 0;
    LONG m_resultCode = common::OPOS_SUCCESS;
    LONG m_openResult = common::OPOS_SUCCESS;
    LONG m_version = 1007000;
    LONG m_lastErrorResponse = 0;
    std::wstring m_deviceName;
    std::wstring m_healthText;
    std::map<LONG, LONG> m_numbers;
    std::map<LONG, std::wstring> m_texts;
    IDispatch* m_control = nullptr;  // the control object's, not reference-counted
    DISPID m_directIOId = DISPID_UNKNOWN;
    DISPID m_statusUpdateId = DISPID_UNKNOWN;
    DISPID m_errorId = DISPID_UNKNOWN;
    DISPID m_outputCompleteId = DISPID_UNKNOWN;

    std::mutex m_senderMutex;
    std::thread m_sender;
};

const common::ComClassRegistration kClasses[] = {
    {opostest::kPrinterProgId, opostest::kPrinterIndependentProgId, opostest::kPrinterClsid, "FakePrinter Class",
     "Apartment"},
    {opostest::kDrawerProgId, opostest::kDrawerIndependentProgId, opostest::kDrawerClsid, "FakeDrawer Class",
     "Apartment"},
    {opostest::kIncompleteProgId, opostest::kIncompleteIndependentProgId, opostest::kIncompleteClsid,
     "Incomplete Class", "Apartment"},
};

}  // namespace

extern "C" HRESULT CvDllGetObject(const char* clsid, IDispatch** object) {
    if (clsid == nullptr || object == nullptr) {
        return E_POINTER;
    }
    const Kind kinds[] = {Kind::Printer, Kind::Drawer, Kind::Incomplete};
    for (std::size_t i = 0; i < std::size(kClasses); ++i) {
        if (sameGuid(clsid, kClasses[i].clsid)) {
            *object = new FakeServiceObject(kinds[i]);
            return S_OK;
        }
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT CvDllRegisterServer(const char* modulePath) {
    for (const auto& registration : kClasses) {
        const HRESULT result = common::registerComClass(registration, modulePath);
        if (failed(result)) {
            return result;
        }
    }
    return S_OK;
}

extern "C" HRESULT CvDllUnregisterServer() {
    for (const auto& registration : kClasses) {
        const HRESULT result = common::unregisterComClass(registration);
        if (failed(result)) {
            return result;
        }
    }
    return S_OK;
}

extern "C" void cvFakeSoTakeJournal(void (*line)(void* context, const char* text), void* context) {
    std::vector<std::string> lines;
    {
        std::lock_guard lock(g_journalMutex);
        lines.swap(g_journal);
    }
    for (const std::string& text : lines) {
        line(context, text.c_str());
    }
}
