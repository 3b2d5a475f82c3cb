#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FakeServiceObject.h"
#include "common/OposConstants.h"
#include "opos/ControlObject.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "schema/RegKey.h"
#include "schema/RegistrySchema.h"
#include "support/TempRegistry.h"

using namespace common;
using namespace std::chrono_literals;
using opos::CallResult;
using opos::CashDrawer;
using opos::Event;
using opos::EventKind;
using opos::PosPrinter;
using opos::Value;
using platform::LONG;

namespace {

class ControlObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_module = platform::loadLibrary(FAKE_SO_PATH);
        ASSERT_NE(m_module, nullptr);
        auto registerServer = platform::getProcAddressAs<platform::DllRegisterServerFunction>(
            m_module, platform::kDllRegisterServerExport);
        ASSERT_NE(registerServer, nullptr);
        ASSERT_EQ(registerServer(FAKE_SO_PATH), platform::S_OK);
        m_takeJournal = platform::getProcAddressAs<opostest::TakeJournalFunction>(m_module, opostest::kTakeJournalExport);
        ASSERT_NE(m_takeJournal, nullptr);
        journal();

        for (const char* device : {"RX-A14", opostest::kFailingDevice, opostest::kNoPortDevice,
                                   opostest::kSilentDevice, opostest::kNewerDevice}) {
            writeDevice(kPosPrinterClass, device, opostest::kPrinterProgId);
        }
        writeLdn(kPosPrinterClass, "front", "RX-A14");
        writeDevice(kCashDrawerClass, "RX-A14Drawer", opostest::kDrawerProgId);
    }

    void TearDown() override { platform::freeLibrary(m_module); }

    static constexpr const char* kPosPrinterClass = schema::kPosPrinterClass;
    static constexpr const char* kCashDrawerClass = schema::kCashDrawerClass;

    static void writeDevice(const char* deviceClass, const std::string& key, const std::string& progId) {
        schema::RegKey device;
        ASSERT_EQ(device.create(platform::HKLM, schema::deviceKeyPath(deviceClass, key)), platform::ERROR_SUCCESS);
        if (!progId.empty()) {
            ASSERT_EQ(device.writeString("", progId), platform::ERROR_SUCCESS);
        }
    }

    static void writeLdn(const char* deviceClass, const char* name, const char* deviceKey) {
        schema::RegKey classKey;
        ASSERT_EQ(classKey.create(platform::HKLM, schema::classKeyPath(deviceClass)), platform::ERROR_SUCCESS);
        ASSERT_EQ(classKey.writeString(name, deviceKey), platform::ERROR_SUCCESS);
    }

    static void writeClassesRoot(const std::string& key, const std::string& text) {
        schema::RegKey entry;
        ASSERT_EQ(entry.create(platform::HKCR, key), platform::ERROR_SUCCESS);
        ASSERT_EQ(entry.writeString("", text), platform::ERROR_SUCCESS);
    }

    // The calls the fake received since the last look.
    std::vector<std::string> journal() {
        std::vector<std::string> lines;
        m_takeJournal([](void* context, const char* text) { static_cast<std::vector<std::string>*>(context)->push_back(text); },
                      &lines);
        return lines;
    }

    // The journal without the property reads every open and set makes.
    std::vector<std::string> calls() {
        std::vector<std::string> lines = journal();
        std::erase_if(lines, [](const std::string& line) { return line.starts_with("GetPropertyNumber("); });
        return lines;
    }

    testsupport::TempRegistry m_registry;
    platform::HModule m_module = nullptr;
    opostest::TakeJournalFunction m_takeJournal = nullptr;
};

// Collects events from any thread and lets the test wait for a count.
class EventLog {
public:
    void operator()(Event& event) {
        std::lock_guard lock(m_mutex);
        m_events.push_back(event);
        m_threads.push_back(std::this_thread::get_id());
        m_changed.notify_all();
    }

    bool waitFor(std::size_t count) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 5s, [&] { return m_events.size() >= count; });
    }

    std::vector<Event> events() {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    std::vector<std::thread::id> threads() {
        std::lock_guard lock(m_mutex);
        return m_threads;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Event> m_events;
    std::vector<std::thread::id> m_threads;
};

TEST_F(ControlObjectTest, OpensByDeviceKeyOrLogicalNameAndHandsOverTheStoredKeyName) {
    writeDevice(kPosPrinterClass, "RX-A15", opostest::kPrinterIndependentProgId);
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"RX-A14", "RX-A14"},
        {"rx-a14", "RX-A14"},
        {"FRONT", "RX-A14"},
        {"RX-A15", "RX-A15"},  // a version-independent ProgID, through CurVer
    };
    for (const auto& [name, key] : cases) {
        PosPrinter printer;
        EXPECT_EQ(printer.open(name), OPOS_SUCCESS) << name;
        EXPECT_TRUE(printer.isOpen());
        EXPECT_EQ(printer.openResult(), OPOS_SUCCESS);
        EXPECT_EQ(calls(), std::vector<std::string>{"OpenService(\"POSPrinter\",\"" + std::string(key) +
                                                    "\",dispatch,&111)"})
            << name;
        EXPECT_EQ(printer.close().rc, OPOS_SUCCESS);
        EXPECT_FALSE(printer.isOpen());
        EXPECT_EQ(calls(), std::vector<std::string>{"CloseService(&111)"});
    }

    CashDrawer drawer;
    EXPECT_EQ(drawer.open("RX-A14Drawer"), OPOS_SUCCESS);
    EXPECT_EQ(calls(), std::vector<std::string>{"OpenService(\"CashDrawer\",\"RX-A14Drawer\",dispatch,&111)"});
    PosPrinter printer;
    EXPECT_EQ(printer.open("RX-A14Drawer"), OPOS_E_NOEXIST) << "a device of another class is not found";
}

TEST_F(ControlObjectTest, EveryFailedOpenLeavesItClosedWithItsOpenResult) {
    const std::string unknownClsid = "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";
    writeLdn(kPosPrinterClass, "dangling", "RX-GONE");
    writeDevice(kPosPrinterClass, "RX-NOPROGID", "");
    writeDevice(kPosPrinterClass, "RX-UNREGISTERED", "Nobody.Printer.1");
    writeDevice(kPosPrinterClass, "RX-NOSERVER", "Bogus.NoServer.1");
    writeClassesRoot("Bogus.NoServer.1\\CLSID", unknownClsid);
    writeDevice(kPosPrinterClass, "RX-NOMODULE", "Bogus.NoModule.1");
    writeClassesRoot("Bogus.NoModule.1\\CLSID", "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F1}");
    writeClassesRoot("CLSID\\{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F1}\\InprocServer32", "/nonexistent/libnothing.so");
    writeDevice(kPosPrinterClass, "RX-WRONGCLASS", "Bogus.WrongClass.1");
    writeClassesRoot("Bogus.WrongClass.1\\CLSID", unknownClsid + "x");
    writeDevice(kPosPrinterClass, "RX-NOTSERVED", "Bogus.NotServed.1");
    writeClassesRoot("Bogus.NotServed.1\\CLSID", "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F2}");
    writeClassesRoot("CLSID\\{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F2}\\InprocServer32", FAKE_SO_PATH);
    writeDevice(kPosPrinterClass, "RX-INCOMPLETE", opostest::kIncompleteProgId);

    struct Case {
        const char* name;
        LONG rc;
        LONG openResult;
    };
    const Case cases[] = {
        {"nothing", OPOS_E_NOEXIST, OPOS_OR_REGBADNAME},
        {"", OPOS_E_NOEXIST, OPOS_OR_REGBADNAME},
        {"dangling", OPOS_E_NOEXIST, OPOS_OR_REGBADNAME},
        {"RX-A14\\sub", OPOS_E_NOEXIST, OPOS_OR_REGBADNAME},
        {"RX-NOPROGID", OPOS_E_NOSERVICE, OPOS_OR_REGPROGID},
        {"RX-UNREGISTERED", OPOS_E_NOSERVICE, OPOS_OR_REGPROGID},
        {"RX-WRONGCLASS", OPOS_E_NOSERVICE, OPOS_OR_REGPROGID},
        {"RX-NOSERVER", OPOS_E_NOSERVICE, OPOS_OR_CREATE},
        {"RX-NOMODULE", OPOS_E_NOSERVICE, OPOS_OR_CREATE},
        {"RX-NOTSERVED", OPOS_E_NOSERVICE, OPOS_OR_CREATE},
        {"RX-INCOMPLETE", OPOS_E_NOSERVICE, OPOS_OR_BADIF},
        {opostest::kFailingDevice, OPOS_E_FAILURE, OPOS_OR_FAILEDOPEN},
        {opostest::kSilentDevice, OPOS_E_FAILURE, OPOS_OR_FAILEDOPEN},
        {opostest::kNoPortDevice, OPOS_E_FAILURE, OPOS_ORS_NOPORT},
        {opostest::kNewerDevice, OPOS_E_NOSERVICE, OPOS_OR_BADVERSION},
    };
    for (const Case& test : cases) {
        PosPrinter printer;
        EXPECT_EQ(printer.open(test.name), test.rc) << test.name;
        EXPECT_EQ(printer.openResult(), test.openResult) << test.name;
        EXPECT_FALSE(printer.isOpen()) << test.name;
        EXPECT_EQ(printer.resultCode(), test.rc) << test.name;
        LONG state = 0;
        EXPECT_EQ(printer.getNumber("State", &state), OPOS_SUCCESS);
        EXPECT_EQ(state, OPOS_S_CLOSED) << test.name;
    }
    const std::vector<std::string> lines = calls();
    EXPECT_NE(std::ranges::find(lines, "CloseService(&111)"), lines.end())
        << "a service object of the wrong version is closed again";

    PosPrinter printer;
    ASSERT_EQ(printer.open("RX-A14"), OPOS_SUCCESS);
    calls();
    EXPECT_EQ(printer.open("front"), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.openResult(), OPOS_OR_ALREADYOPEN);
    EXPECT_TRUE(printer.isOpen()) << "the first open stands";
    EXPECT_TRUE(calls().empty());
}

TEST_F(ControlObjectTest, MethodsReachTheServiceObjectByNameWithTheirArgumentsInOrder) {
    PosPrinter printer;
    EXPECT_EQ(printer.claimDevice(1000), OPOS_E_CLOSED);
    EXPECT_EQ(printer.resultCode(), OPOS_E_CLOSED);
    ASSERT_EQ(printer.open("RX-A14"), OPOS_SUCCESS);
    calls();

    EXPECT_EQ(printer.claimDevice(1000), OPOS_SUCCESS);
    const CallResult again = printer.call("claimdevice", {LONG{1000}});
    EXPECT_EQ(again.status, platform::S_FALSE) << "the service object's COM status comes through";
    EXPECT_EQ(again.rc, OPOS_SUCCESS);
    EXPECT_EQ(printer.printNormal(PTR_S_RECEIPT, L"text"), OPOS_E_DISABLED);
    EXPECT_EQ(printer.call("PrintBarCode", {LONG{2}, std::wstring(L"4901234567894"), PTR_BCS_EAN13, LONG{50}, LONG{2},
                                            PTR_BC_CENTER, PTR_BC_TEXT_BELOW})
                  .rc,
              OPOS_E_DISABLED);
    EXPECT_EQ(printer.call("Claim", {LONG{5}}).rc, OPOS_SUCCESS);
    EXPECT_EQ(printer.call("Release", {}).rc, OPOS_SUCCESS);

    LONG data = 5;
    std::wstring text = L"abc";
    EXPECT_EQ(printer.directIO(opostest::kEcho, &data, &text), OPOS_SUCCESS);
    EXPECT_EQ(data, 6);
    EXPECT_EQ(text, L"cba");
    const CallResult direct = printer.call("DirectIO", {opostest::kEcho, LONG{9}, std::wstring(L"xy")});
    ASSERT_EQ(direct.outputs.size(), 2u);
    EXPECT_EQ(direct.outputs[0], (std::pair<std::string_view, Value>("pData", LONG{10})));
    EXPECT_EQ(direct.outputs[1], (std::pair<std::string_view, Value>("pString", std::wstring(L"yx"))));

    EXPECT_EQ(calls(), (std::vector<std::string>{
                           "ClaimDevice(1000,&111)",
                           "ClaimDevice(1000,&111)",
                           "PrintNormal(2,\"text\",&111)",
                           "PrintBarCode(2,\"4901234567894\",104,50,2,-2,-13,&111)",
                           "Claim(5,&111)",
                           "Release(&111)",
                           "DirectIO(6,&5,\"abc\",&111)",
                           "DirectIO(6,&9,\"xy\",&111)",
                       }));

    // Refused by the control object: none of these reaches the service object.
    EXPECT_EQ(printer.call("OpenDrawer", {}).status, platform::DISP_E_UNKNOWNNAME);
    EXPECT_EQ(printer.call("CutPaper", {}).status, platform::DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(printer.call("CutPaper", {std::wstring(L"100")}).status, platform::DISP_E_TYPEMISMATCH);
    EXPECT_EQ(printer.call("PrintNormal", {LONG{2}, LONG{3}}).rc, OPOS_E_ILLEGAL);
    EXPECT_TRUE(calls().empty());

    EXPECT_EQ(printer.call("Close", {}).rc, OPOS_SUCCESS);
    EXPECT_FALSE(printer.isOpen());
    EXPECT_EQ(printer.call("Open", {std::wstring(L"front")}).rc, OPOS_SUCCESS);
    EXPECT_TRUE(printer.isOpen());

    CashDrawer drawer;
    ASSERT_EQ(drawer.open("RX-A14Drawer"), OPOS_SUCCESS);
    calls();
    EXPECT_EQ(drawer.call("Claim", {LONG{5}}).rc, OPOS_SUCCESS);
    EXPECT_EQ(drawer.openDrawer(), OPOS_SUCCESS);
    EXPECT_EQ(drawer.waitForDrawerClose(1, 2, 3, 4), OPOS_SUCCESS);
    EXPECT_EQ(drawer.call("CutPaper", {LONG{100}}).status, platform::DISP_E_UNKNOWNNAME);
    EXPECT_EQ(calls(), (std::vector<std::string>{"ClaimDevice(5,&111)", "openDrawer(&111)",
                                                 "waitForDrawerClose(1,2,3,4,&111)"}));
}

TEST_F(ControlObjectTest, PropertiesByNameRoundTripThroughTheirIndices) {
    PosPrinter printer;
    Value value = LONG{7};
    EXPECT_EQ(printer.get("RecLineChars", &value), OPOS_E_CLOSED);
    EXPECT_EQ(printer.setNumber("RecLineChars", 42), OPOS_E_CLOSED);
    ASSERT_EQ(printer.open("RX-A14"), OPOS_SUCCESS);
    journal();

    EXPECT_EQ(printer.setNumber("RecLineChars", 42), OPOS_SUCCESS);
    LONG number = 0;
    EXPECT_EQ(printer.getNumber("reclinechars", &number), OPOS_SUCCESS);
    EXPECT_EQ(number, 42);
    EXPECT_EQ(printer.setText("CharacterSetList", L"437,850"), OPOS_SUCCESS);
    std::wstring text;
    EXPECT_EQ(printer.getText("CharacterSetList", &text), OPOS_SUCCESS);
    EXPECT_EQ(text, L"437,850");
    EXPECT_EQ(printer.getText("DeviceName", &text), OPOS_SUCCESS);
    EXPECT_EQ(text, L"RX-A14");
    number = 77;
    EXPECT_EQ(printer.getNumber("JrnLineChars", &number), OPOS_SUCCESS);
    EXPECT_EQ(number, 77) << "an index the service object does not serve keeps the caller's value";
    EXPECT_EQ(printer.setNumber("FreezeEvents", -1), OPOS_SUCCESS);
    EXPECT_EQ(journal(), (std::vector<std::string>{
                             "SetPropertyNumber(8016,42)",
                             "GetPropertyNumber(6,&0)",
                             "GetPropertyNumber(8016,&0)",
                             "SetPropertyString(1008001,\"437,850\")",
                             "GetPropertyNumber(6,&0)",
                             "GetPropertyString(1008001)",
                             "GetPropertyString(1000003)",
                             "GetPropertyNumber(8008,&77)",
                             "COFreezeEvents(-1,&111)",
                         }));

    EXPECT_EQ(printer.getNumber("OpenResult", &number), OPOS_SUCCESS);
    EXPECT_EQ(number, OPOS_SUCCESS);
    EXPECT_EQ(printer.getNumber("ControlObjectVersion", &number), OPOS_SUCCESS);
    EXPECT_EQ(number / 1000000, 1);
    EXPECT_EQ(printer.getText("ControlObjectDescription", &text), OPOS_SUCCESS);
    EXPECT_NE(text.find(L"POSPrinter"), std::wstring::npos);
    EXPECT_TRUE(journal().empty()) << "the control object answers these itself";

    EXPECT_EQ(printer.get("NoSuchProperty", &value), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.get("DrawerOpened", &value), OPOS_E_ILLEGAL) << "a CashDrawer property";
    EXPECT_EQ(printer.setText("RecLineChars", L"42"), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.setNumber("OpenResult", 0), OPOS_E_ILLEGAL);
    EXPECT_TRUE(journal().empty());

    CashDrawer drawer;
    ASSERT_EQ(drawer.open("RX-A14Drawer"), OPOS_SUCCESS);
    journal();
    number = 77;
    EXPECT_EQ(drawer.getNumber("DrawerOpened", &number), OPOS_SUCCESS);
    EXPECT_EQ(journal(), std::vector<std::string>{"GetPropertyNumber(1001,&77)"});
}

TEST_F(ControlObjectTest, ResultCodeTellsTheLastResultAlsoWhenTheControlObjectGaveIt) {
    PosPrinter printer;
    ASSERT_EQ(printer.open("RX-A14"), OPOS_SUCCESS);
    EXPECT_EQ(printer.setDeviceEnabled(true), OPOS_E_NOTCLAIMED);
    EXPECT_EQ(printer.resultCode(), OPOS_E_NOTCLAIMED);
    EXPECT_EQ(printer.resultCode(), OPOS_SUCCESS) << "read once, as the service object does";

    EXPECT_EQ(printer.setDeviceEnabled(true), OPOS_E_NOTCLAIMED);
    LONG claimed = -1;
    printer.getNumber("Claimed", &claimed);
    EXPECT_EQ(claimed, 0);
    EXPECT_EQ(printer.resultCode(), OPOS_SUCCESS) << "another call to the service object drops the held code";

    EXPECT_EQ(printer.open("front"), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.resultCode(), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.call("CutPaper", {}).rc, OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.resultCode(), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.resultCode(), OPOS_SUCCESS);
}

TEST_F(ControlObjectTest, EventsFromAnotherThreadReachTheHostInOrder) {
    PosPrinter printer;
    EventLog log;
    printer.setEventHandler(std::ref(log));
    printer.setEventQueueCapacity(100);
    ASSERT_EQ(printer.open("RX-A14"), OPOS_SUCCESS);
    ASSERT_EQ(printer.claimDevice(1000), OPOS_SUCCESS);
    ASSERT_EQ(printer.setDeviceEnabled(true), OPOS_SUCCESS);
    ASSERT_TRUE(log.waitFor(1));
    EXPECT_EQ(log.threads()[0], std::this_thread::get_id()) << "the power report while enabling comes on our thread";

    LONG count = 50;
    std::wstring text;
    ASSERT_EQ(printer.directIO(opostest::kSendStatusUpdates, &count, &text), OPOS_SUCCESS);
    LONG id = 4711;
    ASSERT_EQ(printer.directIO(opostest::kSendOutputComplete, &id, &text), OPOS_SUCCESS);
    ASSERT_TRUE(log.waitFor(52));

    const std::vector<Event> events = log.events();
    const std::vector<std::thread::id> threads = log.threads();
    EXPECT_EQ(events[0].kind, EventKind::StatusUpdate);
    EXPECT_EQ(events[0].number, OPOS_SUE_POWER_ONLINE);
    for (LONG i = 1; i <= 50; ++i) {
        EXPECT_EQ(events[i].kind, EventKind::StatusUpdate);
        EXPECT_EQ(events[i].number, i);
        EXPECT_NE(threads[i], std::this_thread::get_id());
    }
    EXPECT_EQ(events[51].kind, EventKind::OutputComplete);
    EXPECT_EQ(events[51].number, 4711);

    Event queued;
    for (LONG expected : {LONG{OPOS_SUE_POWER_ONLINE}, LONG{1}, LONG{2}}) {
        ASSERT_TRUE(printer.waitForEvent(&queued, 0ms));
        EXPECT_EQ(queued.number, expected);
    }
    EXPECT_EQ(printer.droppedEvents(), 0u);
}

TEST_F(ControlObjectTest, AFullEventQueueDropsAndCountsNewEvents) {
    PosPrinter printer;
    EventLog log;
    printer.setEventHandler(std::ref(log));
    printer.setEventQueueCapacity(3);
    ASSERT_EQ(printer.open("RX-A14"), OPOS_SUCCESS);
    LONG count = 5;
    std::wstring text;
    ASSERT_EQ(printer.directIO(opostest::kSendStatusUpdates, &count, &text), OPOS_SUCCESS);
    LONG joined = 0;
    ASSERT_EQ(printer.directIO(opostest::kLastErrorResponse, &joined, &text), OPOS_SUCCESS)
        << "returns once the fake's event thread has delivered everything";
    ASSERT_TRUE(log.waitFor(5)) << "the handler sees every event";

    EXPECT_EQ(printer.droppedEvents(), 2u);
    Event queued;
    for (LONG expected : {1, 2, 3}) {
        ASSERT_TRUE(printer.waitForEvent(&queued, 1s));
        EXPECT_EQ(queued.number, expected);
    }
    EXPECT_FALSE(printer.waitForEvent(&queued, 10ms));
}

TEST_F(ControlObjectTest, TheErrorResponseTheHostChoseGoesBackToTheServiceObject) {
    PosPrinter printer;
    EventLog log;
    printer.setEventHandler(std::ref(log));
    ASSERT_EQ(printer.open("RX-A14"), OPOS_SUCCESS);

    auto sendError = [&](LONG extended) {
        LONG data = extended;
        std::wstring text;
        EXPECT_EQ(printer.directIO(opostest::kSendError, &data, &text), OPOS_SUCCESS);
        data = 0;
        EXPECT_EQ(printer.directIO(opostest::kLastErrorResponse, &data, &text), OPOS_SUCCESS);
        return data;
    };
    EXPECT_EQ(sendError(OPOS_EPTR_REC_EMPTY), OPOS_ER_RETRY) << "left as the service object passed it";
    printer.setErrorResponse(OPOS_ER_CLEAR);
    EXPECT_EQ(sendError(OPOS_EPTR_COVER_OPEN), OPOS_ER_CLEAR);
    printer.setEventHandler([&](Event& event) {
        if (event.kind == EventKind::Error) {
            event.errorResponse = OPOS_ER_RETRY;
        }
        log(event);
    });
    EXPECT_EQ(sendError(OPOS_EPTR_JRN_EMPTY), OPOS_ER_RETRY) << "the handler has the last word";

    ASSERT_TRUE(log.waitFor(3));
    const std::vector<Event> events = log.events();
    EXPECT_EQ(events[0].kind, EventKind::Error);
    EXPECT_EQ(events[0].resultCode, OPOS_E_EXTENDED);
    EXPECT_EQ(events[0].resultCodeExtended, OPOS_EPTR_REC_EMPTY);
    EXPECT_EQ(events[0].errorLocus, OPOS_EL_OUTPUT);
    EXPECT_EQ(events[0].errorResponse, OPOS_ER_RETRY);
    EXPECT_EQ(events[1].errorResponse, OPOS_ER_CLEAR);
    EXPECT_EQ(events[2].errorResponse, OPOS_ER_RETRY);

    printer.setEventHandler([](Event& event) {
        event.data *= 2;
        event.text += L"!";
    });
    LONG data = 21;
    std::wstring text = L"answer";
    EXPECT_EQ(printer.directIO(opostest::kSendDirectIO, &data, &text), OPOS_SUCCESS);
    EXPECT_EQ(data, 42);
    EXPECT_EQ(text, L"answer!");
}

}  // namespace
