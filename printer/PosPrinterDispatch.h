#pragma once
// The Iposprinter dispatch interface over a PosPrinter: finds a method by
// name (DISPIDs follow the interface's slot order) and unpacks the control
// object's arguments by the calling convention of opos/ServiceInterface.h.
// No exception leaves Invoke.
#include "PosPrinter.h"

namespace printer {

class PosPrinterDispatch final : public platform::RefCountedDispatch {
public:
    PosPrinterDispatch() = default;

    HRESULT GetIDsOfNames(std::wstring_view name, platform::DISPID* dispid) override;
    HRESULT Invoke(platform::DISPID dispid, platform::DispParams& params, platform::Variant* result) override;

private:
    ~PosPrinterDispatch() override = default;
    HRESULT call(platform::DISPID dispid, platform::DispParams& params, platform::Variant* result);

    PosPrinter m_printer;
};

}  // namespace printer
