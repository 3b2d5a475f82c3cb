#pragma once
// The device test's host over the real OPOS control objects: one POSPrinter
// and one CashDrawer control object for the life of the host, as the window
// keeps them.
#include <memory>

#include "setup/core/DeviceTest.h"

namespace setup {

class ControlObjectHost : public DeviceTestHost {
public:
    ControlObjectHost();
    ~ControlObjectHost() override;
    ControlObjectHost(const ControlObjectHost&) = delete;
    ControlObjectHost& operator=(const ControlObjectHost&) = delete;

    OposControl* control(DeviceClass deviceClass) override;

private:
    class Control;
    std::unique_ptr<Control> m_printer;
    std::unique_ptr<Control> m_drawer;
};

}  // namespace setup
