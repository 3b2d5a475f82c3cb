// An application's view of receiptso through COM: created by ProgID, called
// late-bound with the argument types script clients pass, and calling back
// into the application's apartment from its own threads.
#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/OposConstants.h"
#include "opos/ControlObject.h"
#include "schema/DeviceEntry.h"
#include "schema/RegKey.h"
#include "schema/RegistrySchema.h"
#include "support/PrinterUnderTest.h"
#include "support/TempRegistry.h"

#include "ComServerSupport.h"

namespace comtest {
namespace {

using namespace std::chrono_literals;
using namespace common;

// The application's callback object: answers the names a service object
// looks up, records every call with the thread it arrived on, and answers
// an error event with the response the test chose.
class Sink final : public IDispatch {
public:
    struct Call {
        std::wstring name;
        std::vector<LONG> values;
        DWORD thread;
    };

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IUnknown || iid == IID_IDispatch ? static_cast<IDispatch*>(this) : nullptr;
        if (*out == nullptr) {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_references)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = ::InterlockedDecrement(&m_references);
        if (left == 0) {
            delete this;
        }
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            for (DISPID id = 0; id < static_cast<DISPID>(std::size(kNames)); ++id) {
                if (::lstrcmpiW(names[i], kNames[id]) == 0) {
                    ids[i] = id + 1;
                }
            }
            if (ids[i] == DISPID_UNKNOWN) {
                return DISP_E_UNKNOWNNAME;
            }
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        if (id < 1 || id > static_cast<DISPID>(std::size(kNames))) {
            return DISP_E_MEMBERNOTFOUND;
        }
        Call call{kNames[id - 1], {}, ::GetCurrentThreadId()};
        for (UINT i = params->cArgs; i > 0; --i) {
            VARIANT& argument = params->rgvarg[i - 1];
            if (argument.vt == (VT_BYREF | VT_I4)) {
                call.values.push_back(*argument.plVal);
                if (call.name == L"SOError") {
                    *argument.plVal = m_errorResponse;
                }
            } else {
                call.values.push_back(argument.vt == VT_I4 ? argument.lVal : -1);
            }
        }
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(call));
        return S_OK;
    }

    void answerErrorsWith(LONG response) { m_errorResponse = response; }
    std::vector<Call> calls() const {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    bool received(const wchar_t* name, LONG first) const {
        std::lock_guard lock(m_mutex);
        for (const Call& call : m_calls) {
            if (call.name == name && !call.values.empty() && call.values[0] == first) {
                return true;
            }
        }
        return false;
    }

private:
    static constexpr const wchar_t* kNames[] = {L"SOData", L"SODirectIO", L"SOError", L"SOOutputComplete",
                                                L"SOStatusUpdate"};
    volatile LONG m_references = 1;
    volatile LONG m_errorResponse = OPOS_ER_RETRY;
    mutable std::mutex m_mutex;
    std::vector<Call> m_calls;
};

VARIANT i2(short value) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_I2;
    v.iVal = value;
    return v;
}

VARIANT bstr(const wchar_t* text) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = ::SysAllocString(text);
    return v;
}

VARIANT dispatch(IDispatch* object) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = object;
    object->AddRef();
    return v;
}

class ComClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto registerServer =
            reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(::GetProcAddress(module(), "DllRegisterServer")));
        ASSERT_NE(registerServer, nullptr);
        ASSERT_EQ(registerServer(), S_OK);
        m_printer = testsupport::makePrinterUnderTest("A14", m_registry.directory());
        std::string error;
        ASSERT_TRUE(m_printer->startNetwork(&error)) << error;
        schema::RegKey key;
        ASSERT_EQ(key.create(platform::HKLM, schema::deviceKeyPath(schema::kPosPrinterClass, "RX-A14")),
                  ERROR_SUCCESS);
        schema::PrinterValues values;
        values.settings.port = m_printer->portSetting();
        values.settings.timeOut = 5000;
        values.logicalName = "RX-A14";
        ASSERT_EQ(schema::writePrinterValues(key, values), ERROR_SUCCESS);

        CLSID clsid;
        ASSERT_EQ(::CLSIDFromProgID(kReceipt.progId, &clsid), S_OK);
        ASSERT_EQ(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                     reinterpret_cast<void**>(&m_object)),
                  S_OK);
    }

    void TearDown() override {
        if (m_object != nullptr) {
            call(L"CloseService", {});
            m_object->Release();
        }
        m_sink->Release();
        auto unregisterServer =
            reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(::GetProcAddress(module(), "DllUnregisterServer")));
        ASSERT_NE(unregisterServer, nullptr);
        EXPECT_EQ(unregisterServer(), S_OK);
    }

    static HMODULE module() {
        modulePath(kReceipt);
        return ::GetModuleHandleW(kReceipt.file);
    }

    // Invoke by name with `arguments` in natural order (consumed); the
    // result as VT_I4 (pRC through [out, retval]) or -1, the status in
    // *status.
    LONG call(const wchar_t* name, std::vector<VARIANT> arguments, HRESULT* status = nullptr,
              std::wstring* text = nullptr) {
        std::wstring copy = name;
        LPOLESTR names[] = {copy.data()};
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(m_object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << copy;
        std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
        DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        VARIANT result;
        ::VariantInit(&result);
        const HRESULT invoked = m_object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                                 &result, nullptr, nullptr);
        for (VARIANT& argument : reversed) {
            ::VariantClear(&argument);
        }
        if (status != nullptr) {
            *status = invoked;
        } else {
            EXPECT_EQ(invoked, S_OK) << copy;
        }
        LONG value = -1;
        if (result.vt == VT_I4) {
            value = result.lVal;
        } else if (result.vt == VT_BSTR && text != nullptr) {
            *text = result.bstrVal;
        }
        ::VariantClear(&result);
        return value;
    }

    LONG number(LONG index) { return call(L"GetPropertyNumber", {i2(static_cast<short>(index))}); }

    // Runs the apartment's message loop, through which calls from the
    // service object's threads arrive, until `done` holds or `timeout`
    // passed.
    static bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            MSG message;
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&message);
                ::DispatchMessageW(&message);
            }
            if (done()) {
                return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                  std::chrono::steady_clock::now());
            if (left <= 0ms) {
                return false;
            }
            // A condition that no message announces (a property) is looked
            // at again every 10 ms.
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min(left, 10ms).count()),
                                        QS_ALLINPUT);
        }
    }

    void openClaimEnable() {
        ASSERT_EQ(call(L"OpenService", {bstr(L"POSPrinter"), bstr(L"RX-A14"), dispatch(m_sink)}), OPOS_SUCCESS);
        ASSERT_EQ(call(L"ClaimDevice", {i2(1000)}), OPOS_SUCCESS);
        call(L"SetPropertyNumber", {i2(PIDX_DeviceEnabled), i2(1)});
        ASSERT_EQ(number(PIDX_DeviceEnabled), 1);
    }

    Apartment m_apartment;
    testsupport::TempRegistry m_registry;
    std::unique_ptr<testsupport::PrinterUnderTest> m_printer;
    Sink* m_sink = new Sink;
    IDispatch* m_object = nullptr;
};

TEST_F(ComClientTest, PrintsThroughLateBoundCallsWithCoercedArgumentsAndTheResultCodeAsReturnValue) {
    openClaimEnable();
    EXPECT_EQ(call(L"PrintNormal", {i2(PTR_S_RECEIPT), bstr(L"through COM\n")}), OPOS_SUCCESS);
    const std::string expected = "through COM\n";
    const auto printed = [&] {
        const emulator::Bytes bytes = m_printer->receivedBytes();
        return std::search(bytes.begin(), bytes.end(), expected.begin(), expected.end()) != bytes.end();
    };
    EXPECT_TRUE(pumpUntil(printed, 5s));

    std::wstring text;
    call(L"GetPropertyString", {bstr(L"1008005")}, nullptr, &text);
    EXPECT_EQ(text, L"Idle") << "ErrorString, its index given as text, as an [out, retval] text";

    HRESULT status = S_OK;
    call(L"PrintNormal", {bstr(L"not a station"), bstr(L"x")}, &status);
    EXPECT_EQ(status, DISP_E_TYPEMISMATCH);
    call(L"PrintNormal", {i2(PTR_S_RECEIPT)}, &status);
    EXPECT_EQ(status, DISP_E_BADPARAMCOUNT);
}

TEST_F(ComClientTest, EventsFromTheServiceThreadsArriveInTheApplicationsApartmentAndTheErrorAnswerGoesBack) {
    openClaimEnable();
    call(L"SetPropertyNumber", {i2(static_cast<short>(PIDXPtr_AsyncMode)), i2(1)});
    m_printer->changeState([](emulator::PrinterState& state) {
        state.receiptNearEnd = true;
        state.receiptEnd = true;
    });
    ASSERT_TRUE(pumpUntil([&] { return m_sink->received(L"SOStatusUpdate", PTR_SUE_REC_EMPTY); }));

    // Cleared, the held job is dropped and the printer is idle again while
    // the paper is still out; left at the default (retry) it would stay in
    // error.
    m_sink->answerErrorsWith(OPOS_ER_CLEAR);
    ASSERT_EQ(call(L"PrintNormal", {i2(PTR_S_RECEIPT), bstr(L"held\n")}), OPOS_SUCCESS);
    ASSERT_TRUE(pumpUntil([&] { return m_sink->received(L"SOError", OPOS_E_EXTENDED); }));
    EXPECT_TRUE(pumpUntil([&] { return number(PIDX_State) == OPOS_S_IDLE; }));

    for (const Sink::Call& event : m_sink->calls()) {
        EXPECT_EQ(event.thread, ::GetCurrentThreadId()) << "a call from another apartment's thread";
    }
}

TEST_F(ComClientTest, CloseServiceReturnsWhileAnEventWaitsForTheApplicationsThread) {
    openClaimEnable();
    m_printer->changeState([](emulator::PrinterState& state) { state.coverOpen = true; });
    // The event thread's call is queued for this thread, which does not
    // dispatch it before it closes.
    ASSERT_EQ(::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10000, QS_ALLPOSTMESSAGE | QS_SENDMESSAGE), WAIT_OBJECT_0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(call(L"CloseService", {}), OPOS_SUCCESS);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "the close waited out its time limit";
}

// The suite's own control object: the ProgID in the device entry, the
// object from COM (the suite's registry knows no module for it here), its
// callbacks from the service object's threads without a message loop.
TEST_F(ComClientTest, TheControlObjectCreatesTheServiceObjectThroughCom) {
    opos::PosPrinter control;
    control.setEventQueueCapacity(16);
    ASSERT_EQ(control.open("RX-A14"), OPOS_SUCCESS) << "OpenResult " << control.openResult();
    ASSERT_EQ(control.claimDevice(1000), OPOS_SUCCESS);
    ASSERT_EQ(control.setDeviceEnabled(true), OPOS_SUCCESS);
    EXPECT_EQ(control.printNormal(PTR_S_RECEIPT, L"from the control object\n"), OPOS_SUCCESS);
    m_printer->changeState([](emulator::PrinterState& state) { state.coverOpen = true; });
    opos::Event event;
    ASSERT_TRUE(control.waitForEvent(&event, 10s));
    EXPECT_EQ(event.kind, opos::EventKind::StatusUpdate);
    EXPECT_EQ(event.number, PTR_SUE_COVER_OPEN);
    EXPECT_EQ(control.close().rc, OPOS_SUCCESS);
}

}  // namespace
}  // namespace comtest
