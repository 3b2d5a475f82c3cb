#pragma once
// The POSPrinter service object's COM class, as the module registers it.
namespace printer {

inline constexpr const char* kPosPrinterClsid = "{0353F054-4D22-44C1-BD26-0F0FE4360036}";
inline constexpr const char* kPosPrinterProgId = "SOCorvane.posprinter.1";
inline constexpr const char* kPosPrinterIndependentProgId = "SOCorvane.posprinter";
inline constexpr const char* kPosPrinterDescription = "posprinter Class";
inline constexpr const char* kPosPrinterThreadingModel = "Apartment";

}  // namespace printer
