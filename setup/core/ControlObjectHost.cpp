#include "setup/core/ControlObjectHost.h"

#include "opos/ControlObject.h"

namespace setup {

class ControlObjectHost::Control : public OposControl {
public:
    explicit Control(DeviceClass deviceClass) : m_object(deviceClass) {}

    LONG open(const std::string& logicalName) override { return m_object.open(logicalName); }
    LONG openResult() override { return m_object.openResult(); }
    LONG claimDevice(LONG timeoutMs) override { return m_object.claimDevice(timeoutMs); }
    void setDeviceEnabled(bool enabled) override { m_object.setDeviceEnabled(enabled); }
    LONG resultCode() override { return m_object.resultCode(); }
    LONG checkHealth(LONG level) override { return m_object.checkHealth(level); }
    LONG releaseDevice() override { return m_object.releaseDevice(); }
    LONG close() override { return m_object.close().rc; }

private:
    opos::ControlObject m_object;
};

ControlObjectHost::ControlObjectHost()
    : m_printer(std::make_unique<Control>(DeviceClass::PosPrinter)),
      m_drawer(std::make_unique<Control>(DeviceClass::CashDrawer)) {}

ControlObjectHost::~ControlObjectHost() = default;

OposControl* ControlObjectHost::control(DeviceClass deviceClass) {
    return deviceClass == DeviceClass::PosPrinter ? m_printer.get() : m_drawer.get();
}

}  // namespace setup
