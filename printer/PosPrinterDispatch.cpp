#include "PosPrinterDispatch.h"

#include <algorithm>
#include <cwctype>
#include <new>
#include <span>
#include <string_view>

namespace printer {

namespace {

using platform::DISPID;
using platform::DispParams;
using platform::Variant;

// Parameter kinds: N long, T BSTR, R long* (by-reference), D the control
// object's dispatch. GetPropertyString's text and DirectIO's new text come
// back as Invoke's result.
struct Slot {
    std::string_view name;
    std::string_view signature;
};

// Iposprinter in slot order; the DISPID of a slot is its position + 1.
constexpr Slot kSlots[] = {
    {"CheckHealth", "NR"},       {"ClaimDevice", "NR"},          {"ClearInput", "R"},
    {"ClearOutput", "R"},        {"CloseService", "R"},          {"COFreezeEvents", "NR"},
    {"DirectIO", "NRTR"},        {"GetOpenResult", "R"},         {"OpenService", "TTDR"},
    {"ReleaseDevice", "R"},      {"GetPropertyNumber", "NR"},    {"SetPropertyNumber", "NN"},
    {"GetPropertyString", "N"},  {"SetPropertyString", "NT"},    {"BeginInsertion", "NR"},
    {"BeginRemoval", "NR"},      {"CutPaper", "NR"},             {"EndInsertion", "R"},
    {"EndRemoval", "R"},         {"PrintBarCode", "NTNNNNNR"},   {"PrintBitmap", "NTNNR"},
    {"PrintImmediate", "NTR"},   {"PrintNormal", "NTR"},         {"PrintTwoNormal", "NTTR"},
    {"RotatePrint", "NNR"},      {"SetBitmap", "NNTNNR"},        {"SetLogo", "NTR"},
    {"TransactionPrint", "NNR"}, {"ValidateData", "NTR"},        {"ChangePrintSide", "NR"},
    {"MarkFeed", "NR"},          {"Open", "TTDR"},               {"Claim", "NR"},
    {"Release", "R"},            {"Close", "R"},
};

namespace slot {
enum : DISPID {
    CheckHealth = 1, ClaimDevice, ClearInput, ClearOutput, CloseService, COFreezeEvents, DirectIO, GetOpenResult,
    OpenService, ReleaseDevice, GetPropertyNumber, SetPropertyNumber, GetPropertyString, SetPropertyString,
    BeginInsertion, BeginRemoval, CutPaper, EndInsertion, EndRemoval, PrintBarCode, PrintBitmap, PrintImmediate,
    PrintNormal, PrintTwoNormal, RotatePrint, SetBitmap, SetLogo, TransactionPrint, ValidateData, ChangePrintSide,
    MarkFeed, Open, Claim, Release, Close,
};
}  // namespace slot
static_assert(slot::Close == static_cast<DISPID>(std::size(kSlots)));

bool sameName(std::wstring_view wide, std::string_view narrow) {
    return std::ranges::equal(wide, narrow, [](wchar_t w, char n) {
        return std::towlower(static_cast<wint_t>(w)) == std::towlower(static_cast<unsigned char>(n));
    });
}

bool matches(const Variant& argument, char kind) {
    switch (kind) {
    case 'N':
        return argument.type() == platform::VT_I4;
    case 'T':
        return argument.type() == platform::VT_BSTR;
    case 'R':
        return argument.type() == (platform::VT_BYREF | platform::VT_I4);
    default:
        return argument.type() == platform::VT_DISPATCH;
    }
}

LONG numberAt(const DispParams& params, std::size_t position) {
    LONG value = 0;
    params.getI4(position, &value);
    return value;
}

std::wstring textAt(const DispParams& params, std::size_t position) {
    std::wstring text;
    params.arguments[position].getString(&text);
    return text;
}

// Calls `method` with a local result code and stores it through the
// caller's by-reference pRC (the last argument).
template <typename Method>
HRESULT withRc(DispParams& params, Method method) {
    LONG rc = 0;
    params.getI4(params.arguments.size() - 1, &rc);
    const HRESULT status = method(&rc);
    params.arguments.back().setByRefI4(rc);
    return status;
}

}  // namespace

HRESULT PosPrinterDispatch::GetIDsOfNames(std::wstring_view name, DISPID* dispid) {
    if (dispid == nullptr) {
        return platform::E_POINTER;
    }
    for (std::size_t i = 0; i < std::size(kSlots); ++i) {
        if (sameName(name, kSlots[i].name)) {
            *dispid = static_cast<DISPID>(i + 1);
            return platform::S_OK;
        }
    }
    return platform::DISP_E_UNKNOWNNAME;
}

HRESULT PosPrinterDispatch::Invoke(DISPID dispid, DispParams& params, Variant* result) {
    if (dispid < 1 || dispid > static_cast<DISPID>(std::size(kSlots))) {
        return platform::DISP_E_MEMBERNOTFOUND;
    }
    const std::string_view signature = kSlots[dispid - 1].signature;
    if (params.arguments.size() != signature.size()) {
        return platform::DISP_E_BADPARAMCOUNT;
    }
    for (std::size_t i = 0; i < signature.size(); ++i) {
        if (!matches(params.arguments[i], signature[i])) {
            return platform::DISP_E_TYPEMISMATCH;
        }
    }
    try {
        return call(dispid, params, result);
    } catch (const std::bad_alloc&) {
        return platform::E_OUTOFMEMORY;
    } catch (...) {
        return platform::E_FAIL;
    }
}

HRESULT PosPrinterDispatch::call(DISPID dispid, DispParams& params, Variant* result) {
    PosPrinter& p = m_printer;
    switch (dispid) {
    case slot::CheckHealth:
        return withRc(params, [&](LONG* rc) { return p.CheckHealth(numberAt(params, 0), rc); });
    case slot::ClaimDevice:
        return withRc(params, [&](LONG* rc) { return p.ClaimDevice(numberAt(params, 0), rc); });
    case slot::Claim:
        return withRc(params, [&](LONG* rc) { return p.Claim(numberAt(params, 0), rc); });
    case slot::ClearInput:
        return withRc(params, [&](LONG* rc) { return p.ClearInput(rc); });
    case slot::ClearOutput:
        return withRc(params, [&](LONG* rc) { return p.ClearOutput(rc); });
    case slot::CloseService:
        return withRc(params, [&](LONG* rc) { return p.CloseService(rc); });
    case slot::Close:
        return withRc(params, [&](LONG* rc) { return p.Close(rc); });
    case slot::COFreezeEvents:
        return withRc(params, [&](LONG* rc) { return p.COFreezeEvents(numberAt(params, 0), rc); });
    case slot::GetOpenResult:
        return withRc(params, [&](LONG* rc) { return p.GetOpenResult(rc); });
    case slot::ReleaseDevice:
        return withRc(params, [&](LONG* rc) { return p.ReleaseDevice(rc); });
    case slot::Release:
        return withRc(params, [&](LONG* rc) { return p.Release(rc); });
    case slot::OpenService:
    case slot::Open: {
        platform::IDispatch* control = nullptr;
        params.arguments[2].getDispatch(&control);
        const std::wstring deviceClass = textAt(params, 0);
        const std::wstring deviceName = textAt(params, 1);
        return withRc(params, [&](LONG* rc) {
            return dispid == slot::Open ? p.Open(deviceClass, deviceName, control, rc)
                                  : p.OpenService(deviceClass, deviceName, control, rc);
        });
    }
    case slot::PrintNormal:
    case slot::PrintImmediate: {
        const LONG station = numberAt(params, 0);
        const std::wstring data = textAt(params, 1);
        return withRc(params, [&](LONG* rc) {
            return dispid == slot::PrintNormal ? p.PrintNormal(station, data, rc)
                                               : p.PrintImmediate(station, data, rc);
        });
    }
    case slot::CutPaper:
        return withRc(params, [&](LONG* rc) { return p.CutPaper(numberAt(params, 0), rc); });
    case slot::MarkFeed:
        return withRc(params, [&](LONG* rc) { return p.MarkFeed(numberAt(params, 0), rc); });
    case slot::SetLogo: {
        const LONG location = numberAt(params, 0);
        const std::wstring data = textAt(params, 1);
        return withRc(params, [&](LONG* rc) { return p.SetLogo(location, data, rc); });
    }
    case slot::PrintTwoNormal: {
        const LONG stations = numberAt(params, 0);
        const std::wstring data1 = textAt(params, 1);
        const std::wstring data2 = textAt(params, 2);
        return withRc(params, [&](LONG* rc) { return p.PrintTwoNormal(stations, data1, data2, rc); });
    }
    case slot::TransactionPrint:
        return withRc(params,
                      [&](LONG* rc) { return p.TransactionPrint(numberAt(params, 0), numberAt(params, 1), rc); });
    case slot::RotatePrint:
        return withRc(params, [&](LONG* rc) { return p.RotatePrint(numberAt(params, 0), numberAt(params, 1), rc); });
    case slot::ValidateData: {
        const LONG station = numberAt(params, 0);
        const std::wstring data = textAt(params, 1);
        return withRc(params, [&](LONG* rc) { return p.ValidateData(station, data, rc); });
    }
    case slot::ChangePrintSide:
        return withRc(params, [&](LONG* rc) { return p.ChangePrintSide(numberAt(params, 0), rc); });
    case slot::BeginInsertion:
        return withRc(params, [&](LONG* rc) { return p.BeginInsertion(numberAt(params, 0), rc); });
    case slot::EndInsertion:
        return withRc(params, [&](LONG* rc) { return p.EndInsertion(rc); });
    case slot::BeginRemoval:
        return withRc(params, [&](LONG* rc) { return p.BeginRemoval(numberAt(params, 0), rc); });
    case slot::EndRemoval:
        return withRc(params, [&](LONG* rc) { return p.EndRemoval(rc); });
    case slot::DirectIO: {
        LONG data = numberAt(params, 1);
        const std::wstring text = textAt(params, 2);
        const HRESULT status = withRc(params, [&](LONG* rc) { return p.DirectIO(numberAt(params, 0), &data, text, rc); });
        params.arguments[1].setByRefI4(data);
        return status;
    }
    case slot::SetBitmap: {
        const std::wstring fileName = textAt(params, 2);
        return withRc(params, [&](LONG* rc) {
            return p.SetBitmap(numberAt(params, 0), numberAt(params, 1), fileName, numberAt(params, 3),
                               numberAt(params, 4), rc);
        });
    }
    case slot::PrintBitmap: {
        const std::wstring fileName = textAt(params, 1);
        return withRc(params, [&](LONG* rc) {
            return p.PrintBitmap(numberAt(params, 0), fileName, numberAt(params, 2), numberAt(params, 3), rc);
        });
    }
    case slot::PrintBarCode: {
        const std::wstring data = textAt(params, 1);
        return withRc(params, [&](LONG* rc) {
            return p.PrintBarCode(numberAt(params, 0), data, numberAt(params, 2), numberAt(params, 3),
                                  numberAt(params, 4), numberAt(params, 5), numberAt(params, 6), rc);
        });
    }
    case slot::GetPropertyNumber: {
        LONG number = numberAt(params, 1);
        const HRESULT status = p.GetPropertyNumber(numberAt(params, 0), &number);
        params.arguments[1].setByRefI4(number);
        return status;
    }
    case slot::SetPropertyNumber:
        return p.SetPropertyNumber(numberAt(params, 0), numberAt(params, 1));
    case slot::GetPropertyString: {
        platform::BSTR text = nullptr;
        const HRESULT status = p.GetPropertyString(numberAt(params, 0), &text);
        if (text != nullptr) {
            if (result != nullptr) {
                *result = Variant(std::wstring(text, platform::sysStringLen(text)));
            }
            platform::sysFreeString(text);
        }
        return status;
    }
    case slot::SetPropertyString:
        return p.SetPropertyString(numberAt(params, 0), textAt(params, 1));
    default:
        return platform::DISP_E_MEMBERNOTFOUND;
    }
}

}  // namespace printer
