#include "platform/com.h"

namespace platform {

Variant::Variant(LONG value) : m_type(VT_I4), m_integer(value) {}

Variant::Variant(std::wstring text) : m_type(VT_BSTR), m_text(std::move(text)) {}

Variant Variant::byRef(LONG* target) {
    Variant variant;
    variant.m_type = VT_BYREF | VT_I4;
    variant.m_reference = target;
    return variant;
}

Variant::Variant(IDispatch* dispatch) : m_type(VT_DISPATCH), m_dispatch(dispatch) {}

HRESULT Variant::getI4(LONG* value) const {
    if (value == nullptr) {
        return E_POINTER;
    }
    if (m_type == VT_I4) {
        *value = m_integer;
        return S_OK;
    }
    if (m_type == (VT_BYREF | VT_I4)) {
        if (m_reference == nullptr) {
            return E_POINTER;
        }
        *value = *m_reference;
        return S_OK;
    }
    return DISP_E_TYPEMISMATCH;
}

HRESULT Variant::getString(std::wstring* text) const {
    if (text == nullptr) {
        return E_POINTER;
    }
    if (m_type != VT_BSTR) {
        return DISP_E_TYPEMISMATCH;
    }
    *text = m_text;
    return S_OK;
}

HRESULT Variant::getDispatch(IDispatch** dispatch) const {
    if (dispatch == nullptr) {
        return E_POINTER;
    }
    if (m_type != VT_DISPATCH) {
        return DISP_E_TYPEMISMATCH;
    }
    *dispatch = m_dispatch;
    return S_OK;
}

HRESULT Variant::setByRefI4(LONG value) const {
    if (m_type != (VT_BYREF | VT_I4)) {
        return DISP_E_TYPEMISMATCH;
    }
    if (m_reference == nullptr) {
        return E_POINTER;
    }
    *m_reference = value;
    return S_OK;
}

void Variant::clear() {
    *this = Variant();
}

HRESULT DispParams::getI4(std::size_t position, LONG* value) const {
    if (position >= arguments.size()) {
        return DISP_E_PARAMNOTFOUND;
    }
    return arguments[position].getI4(value);
}

}  // namespace platform
