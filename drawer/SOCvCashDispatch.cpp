// The drawer's dispatch surface: method names to slots, and each slot's
// arguments checked and passed to the method.
#include "SOCvCash.h"

#include <algorithm>
#include <cwctype>
#include <string_view>

#include "common/OposConstants.h"

namespace drawer {

using platform::S_OK;

namespace {

enum Slot : DISPID {
    SlotCheckHealth = 1,
    SlotClaimDevice,
    SlotClearInput,
    SlotClearOutput,
    SlotCloseService,
    SlotDirectIO,
    SlotOpenService,
    SlotReleaseDevice,
    SlotOpenDrawer,
    SlotWaitForDrawerClose,
    SlotGetPropertyNumber,
    SlotSetPropertyNumber,
    SlotGetPropertyString,
    SlotSetPropertyString,
    SlotCOFreezeEvents,
};

constexpr std::string_view kMethodNames[] = {
    "CheckHealth",        "ClaimDevice",       "ClearInput",        "ClearOutput",       "CloseService",
    "DirectIO",           "OpenService",       "ReleaseDevice",     "openDrawer",        "waitForDrawerClose",
    "GetPropertyNumber",  "SetPropertyNumber", "GetPropertyString", "SetPropertyString", "COFreezeEvents",
};

bool sameName(std::wstring_view wide, std::string_view narrow) {
    return std::ranges::equal(wide, narrow, [](wchar_t w, char n) {
        return std::towlower(static_cast<wint_t>(w)) == std::towlower(static_cast<unsigned char>(n));
    });
}

}  // namespace

HRESULT SOCvCash::GetIDsOfNames(std::wstring_view name, DISPID* dispid) {
    if (dispid == nullptr) {
        return platform::E_POINTER;
    }
    for (std::size_t i = 0; i < std::size(kMethodNames); ++i) {
        if (sameName(name, kMethodNames[i])) {
            *dispid = static_cast<DISPID>(i + 1);
            return S_OK;
        }
    }
    *dispid = platform::DISPID_UNKNOWN;
    return platform::DISP_E_UNKNOWNNAME;
}

namespace {

// The arguments of one call, checked against a signature: N number, T text,
// R by-reference number, D dispatch.
class Arguments {
public:
    explicit Arguments(DispParams& params) : m_args(params.arguments) {}

    HRESULT check(std::string_view signature) const {
        if (m_args.size() != signature.size()) {
            return platform::DISP_E_BADPARAMCOUNT;
        }
        for (std::size_t i = 0; i < signature.size(); ++i) {
            const platform::VARTYPE type = m_args[i].type();
            const bool fits = signature[i] == 'N'   ? type == platform::VT_I4
                              : signature[i] == 'T' ? type == platform::VT_BSTR
                              : signature[i] == 'R' ? type == (platform::VT_BYREF | platform::VT_I4)
                                                    : type == platform::VT_DISPATCH;
            if (!fits) {
                return platform::DISP_E_TYPEMISMATCH;
            }
        }
        return S_OK;
    }

    LONG number(std::size_t i) const {
        LONG value = 0;
        m_args[i].getI4(&value);
        return value;
    }
    std::wstring text(std::size_t i) const {
        std::wstring value;
        m_args[i].getString(&value);
        return value;
    }
    IDispatch* dispatch(std::size_t i) const {
        IDispatch* value = nullptr;
        m_args[i].getDispatch(&value);
        return value;
    }
    void answer(std::size_t i, LONG value) const { m_args[i].setByRefI4(value); }

private:
    std::vector<Variant>& m_args;
};

}  // namespace

HRESULT SOCvCash::Invoke(DISPID dispid, DispParams& params, Variant* result) {
    static constexpr std::string_view kSignatures[] = {
        "NR", "NR", "R", "R", "R", "NRTR", "TTDR", "R", "R", "NNNNR", "NR", "NN", "N", "NT", "NR",
    };
    if (dispid < SlotCheckHealth || dispid > SlotCOFreezeEvents) {
        return platform::DISP_E_MEMBERNOTFOUND;
    }
    const Arguments args(params);
    if (const HRESULT checked = args.check(kSignatures[dispid - 1]); checked != S_OK) {
        return checked;
    }
    // Out-parameters start from the caller's value, as a by-reference LONG does.
    LONG rc = args.number(params.arguments.size() - 1);
    HRESULT status = S_OK;
    switch (dispid) {
    case SlotCheckHealth:
        status = CheckHealth(args.number(0), &rc);
        break;
    case SlotClaimDevice:
        status = ClaimDevice(args.number(0), &rc);
        break;
    case SlotClearInput:
        status = ClearInput(&rc);
        break;
    case SlotClearOutput:
        status = ClearOutput(&rc);
        break;
    case SlotCloseService:
        status = CloseService(&rc);
        break;
    case SlotDirectIO: {
        LONG data = args.number(1);
        status = DirectIO(args.number(0), &data, args.text(2), &rc);
        args.answer(1, data);
        break;
    }
    case SlotOpenService:
        status = OpenService(args.text(0), args.text(1), args.dispatch(2), &rc);
        break;
    case SlotReleaseDevice:
        status = ReleaseDevice(&rc);
        break;
    case SlotOpenDrawer:
        status = openDrawer(&rc);
        break;
    case SlotWaitForDrawerClose:
        status = waitForDrawerClose(args.number(0), args.number(1), args.number(2), args.number(3), &rc);
        break;
    case SlotGetPropertyNumber:
        status = GetPropertyNumber(args.number(0), &rc);
        break;
    case SlotSetPropertyNumber:
        return SetPropertyNumber(args.number(0), args.number(1));
    case SlotGetPropertyString: {
        std::wstring text;
        status = GetPropertyString(args.number(0), &text);
        if (result != nullptr) {
            *result = Variant(std::move(text));
        }
        return status;
    }
    case SlotSetPropertyString:
        return SetPropertyString(args.number(0), args.text(1));
    case SlotCOFreezeEvents:
        status = COFreezeEvents(args.number(0), &rc);
        break;
    default:
        return platform::DISP_E_MEMBERNOTFOUND;
    }
    args.answer(params.arguments.size() - 1, rc);
    return status;
}

}  // namespace drawer
