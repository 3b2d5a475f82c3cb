#include "ComBridge.h"

#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <string>

#include "platform/comsystem.h"
#include "platform/strings.h"

#include <objbase.h>

namespace platform::win32 {

namespace {

BSTR allocText(const std::wstring& text) {
    return ::SysAllocStringLen(text.data(), static_cast<::UINT>(text.size()));
}

// How the suite's calling convention maps onto one method of a typed
// system object: the suite passes an [out, retval] result code as a
// trailing by-reference argument and an in-out text by value with the new
// text as the result; COM wants the first as the call's result and the
// second by reference.
struct Signature {
    std::size_t declared = 0;  // parameters other than the [out, retval] one
    bool returnsValue = false;
    std::vector<bool> inOutText;  // per declared parameter: a BSTR*
};

Signature signatureOf(ITypeInfo* info, ::DISPID id, bool* found) {
    Signature signature;
    *found = false;
    TYPEATTR* attributes = nullptr;
    if (FAILED(info->GetTypeAttr(&attributes))) {
        return signature;
    }
    const WORD functions = attributes->cFuncs;
    info->ReleaseTypeAttr(attributes);
    for (WORD i = 0; i < functions && !*found; ++i) {
        FUNCDESC* function = nullptr;
        if (FAILED(info->GetFuncDesc(i, &function))) {
            continue;
        }
        if (function->memid == id && function->invkind == INVOKE_FUNC) {
            *found = true;
            for (SHORT p = 0; p < function->cParams; ++p) {
                const ELEMDESC& parameter = function->lprgelemdescParam[p];
                if (parameter.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) {
                    signature.returnsValue = true;
                    continue;
                }
                const TYPEDESC& type = parameter.tdesc;
                signature.inOutText.push_back(type.vt == VT_PTR && type.lptdesc != nullptr &&
                                              type.lptdesc->vt == VT_BSTR);
            }
            const VARTYPE returned = function->elemdescFunc.tdesc.vt;
            if (function->funckind == FUNC_DISPATCH && returned != VT_VOID && returned != VT_HRESULT &&
                returned != VT_EMPTY) {
                signature.returnsValue = true;
            }
            signature.declared = signature.inOutText.size();
        }
        info->ReleaseFuncDesc(function);
    }
    return signature;
}

// A system object called by portable code.
class SystemDispatch final : public platform::RefCountedDispatch {
public:
    explicit SystemDispatch(::IDispatch* system) : m_system(system) { m_system->AddRef(); }

    platform::HRESULT GetIDsOfNames(std::wstring_view name, platform::DISPID* dispid) override {
        if (dispid == nullptr) {
            return E_POINTER;
        }
        std::wstring copy(name);
        LPOLESTR names[] = {copy.data()};
        ::DISPID id = DISPID_UNKNOWN;
        const ::HRESULT status = m_system->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        *dispid = id;
        return status;
    }

    platform::HRESULT Invoke(platform::DISPID dispid, platform::DispParams& params, platform::Variant* result) override {
        constexpr platform::VARTYPE kByRefNumber = platform::VT_BYREF | platform::VT_I4;
        const std::optional<Signature> signature = signatureFor(dispid);
        std::size_t count = params.arguments.size();
        // The trailing result code goes out as the call's result.
        const bool resultCode = signature && signature->returnsValue && count == signature->declared + 1 &&
                                params.arguments.back().type() == kByRefNumber;
        if (resultCode) {
            --count;
        }
        std::vector<VARIANTARG> arguments(count);
        // The callee answers a by-reference integer or text here; copied
        // back after the call, so a proxy or a careless callee never writes
        // into a variant of ours.
        std::vector<::LONG> answers(count, 0);
        std::vector<BSTR> texts(count, nullptr);
        std::size_t inOutText = count;
        platform::HRESULT status = S_OK;
        for (std::size_t i = 0; i < count; ++i) {
            // DISPPARAMS lists the arguments last first.
            VARIANTARG& target = arguments[count - 1 - i];
            ::VariantInit(&target);
            const platform::Variant& argument = params.arguments[i];
            if (argument.type() == kByRefNumber) {
                platform::LONG value = 0;
                argument.getI4(&value);
                answers[i] = value;
                target.vt = VT_BYREF | VT_I4;
                target.plVal = &answers[i];
            } else if (argument.type() == platform::VT_BSTR && signature && i < signature->inOutText.size() &&
                       signature->inOutText[i]) {
                std::wstring text;
                argument.getString(&text);
                texts[i] = allocText(text);
                target.vt = VT_BYREF | VT_BSTR;
                target.pbstrVal = &texts[i];
                inOutText = i;
            } else if (const platform::HRESULT converted = toSystemVariant(argument, &target); FAILED(converted)) {
                status = converted;
            }
        }
        VARIANT returned;
        ::VariantInit(&returned);
        if (SUCCEEDED(status)) {
            DISPPARAMS system{arguments.data(), nullptr, static_cast<::UINT>(count), 0};
            status = m_system->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &system, &returned,
                                      nullptr, nullptr);
            for (std::size_t i = 0; i < count; ++i) {
                if (params.arguments[i].type() == kByRefNumber) {
                    params.arguments[i].setByRefI4(answers[i]);
                }
            }
        }
        for (VARIANTARG& argument : arguments) {
            if (argument.vt != (VT_BYREF | VT_BSTR)) {
                ::VariantClear(&argument);
            }
        }
        if (SUCCEEDED(status) && resultCode) {
            if (SUCCEEDED(::VariantChangeType(&returned, &returned, 0, VT_I4))) {
                params.arguments.back().setByRefI4(returned.lVal);
            }
            ::VariantClear(&returned);
            if (inOutText < count && texts[inOutText] != nullptr) {
                returned.vt = VT_BSTR;
                returned.bstrVal = texts[inOutText];
                texts[inOutText] = nullptr;
            }
        }
        for (BSTR text : texts) {
            ::SysFreeString(text);
        }
        if (SUCCEEDED(status) && result != nullptr) {
            if (returned.vt == VT_BSTR) {
                *result = platform::Variant(std::wstring(returned.bstrVal, ::SysStringLen(returned.bstrVal)));
            } else if (returned.vt != VT_EMPTY && SUCCEEDED(::VariantChangeType(&returned, &returned, 0, VT_I4))) {
                *result = platform::Variant(static_cast<platform::LONG>(returned.lVal));
            } else {
                *result = platform::Variant();
            }
        }
        ::VariantClear(&returned);
        return status;
    }

    ::IDispatch* system() const { return m_system; }

private:
    ~SystemDispatch() override {
        if (m_typeInfo != nullptr) {
            m_typeInfo->Release();
        }
        m_system->Release();
    }

    // The method's signature from the object's type information; nothing
    // for an object without it (a script's, a control object's sink), whose
    // calls go out as they are.
    std::optional<Signature> signatureFor(::DISPID id) {
        std::lock_guard lock(m_mutex);
        if (!m_typeInfoAsked) {
            m_typeInfoAsked = true;
            ::UINT count = 0;
            if (FAILED(m_system->GetTypeInfoCount(&count)) || count == 0 ||
                FAILED(m_system->GetTypeInfo(0, LOCALE_USER_DEFAULT, &m_typeInfo))) {
                m_typeInfo = nullptr;
            }
        }
        if (m_typeInfo == nullptr) {
            return std::nullopt;
        }
        if (const auto known = m_signatures.find(id); known != m_signatures.end()) {
            return known->second;
        }
        bool found = false;
        Signature signature = signatureOf(m_typeInfo, id, &found);
        if (!found) {
            return std::nullopt;
        }
        m_signatures.emplace(id, signature);
        return signature;
    }

    ::IDispatch* const m_system;
    std::mutex m_mutex;
    bool m_typeInfoAsked = false;
    ITypeInfo* m_typeInfo = nullptr;
    std::map<::DISPID, Signature> m_signatures;
};

// A platform object called by a system client, by name only. It aggregates
// the free-threaded marshaller: the suite's objects are thread-safe, and a
// service object's event thread must reach them without a message loop in
// the host's thread.
class CallbackDispatch final : public ::IDispatch {
public:
    explicit CallbackDispatch(platform::IDispatch* object) : m_object(object) { m_object->AddRef(); }

    ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *out = static_cast<::IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        if (iid == IID_IMarshal) {
            if (::IUnknown* marshaler = freeThreadedMarshaler()) {
                return marshaler->QueryInterface(iid, out);
            }
        }
        return E_NOINTERFACE;
    }
    ::ULONG STDMETHODCALLTYPE AddRef() override { return ::InterlockedIncrement(&m_references); }
    ::ULONG STDMETHODCALLTYPE Release() override {
        const ::LONG left = ::InterlockedDecrement(&m_references);
        if (left == 0) {
            delete this;
        }
        return static_cast<ULONG>(left);
    }

    ::HRESULT STDMETHODCALLTYPE GetTypeInfoCount(::UINT* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 0;
        return S_OK;
    }
    ::HRESULT STDMETHODCALLTYPE GetTypeInfo(::UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) {
            *info = nullptr;
        }
        return DISP_E_BADINDEX;
    }
    ::HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, ::UINT count, LCID, ::DISPID* ids) override {
        if (names == nullptr || ids == nullptr || count == 0) {
            return E_INVALIDARG;
        }
        platform::DISPID id = DISPID_UNKNOWN;
        const platform::HRESULT status = m_object->GetIDsOfNames(names[0], &id);
        ids[0] = id;
        // Named arguments are not part of the suite's calls.
        for (::UINT i = 1; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
        }
        return FAILED(status) ? status : count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
    }
    ::HRESULT STDMETHODCALLTYPE Invoke(::DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        ::UINT* badArgument) override {
        if (params == nullptr) {
            return E_POINTER;
        }
        if ((flags & DISPATCH_METHOD) == 0 || params->cNamedArgs != 0) {
            return DISP_E_MEMBERNOTFOUND;
        }
        InboundCall call;
        for (::UINT i = params->cArgs; i > 0; --i) {
            if (const ::HRESULT status = call.add(params->rgvarg[i - 1]); FAILED(status)) {
                if (badArgument != nullptr) {
                    *badArgument = i - 1;
                }
                return status;
            }
        }
        platform::Variant value;
        const platform::HRESULT status = m_object->Invoke(id, call.params, &value);
        if (result != nullptr) {
            toSystemVariant(value, result);
        }
        return status;
    }

private:
    ~CallbackDispatch() {
        if (m_marshaler != nullptr) {
            m_marshaler->Release();
        }
        m_object->Release();
    }

    ::IUnknown* freeThreadedMarshaler() {
        ::IUnknown* current = static_cast<::IUnknown*>(::InterlockedCompareExchangePointer(
            reinterpret_cast<void**>(&m_marshaler), nullptr, nullptr));
        if (current != nullptr) {
            return current;
        }
        ::IUnknown* created = nullptr;
        if (FAILED(::CoCreateFreeThreadedMarshaler(static_cast<::IDispatch*>(this), &created))) {
            return nullptr;
        }
        current = static_cast<::IUnknown*>(::InterlockedCompareExchangePointer(
            reinterpret_cast<void**>(&m_marshaler), created, nullptr));
        if (current != nullptr) {
            created->Release();
            return current;
        }
        return created;
    }

    platform::IDispatch* const m_object;
    ::IUnknown* m_marshaler = nullptr;  // the aggregated marshaller, made at its first use
    volatile ::LONG m_references = 1;
};

}  // namespace

platform::IDispatch* wrapSystemDispatch(::IDispatch* system) {
    if (system == nullptr) {
        return nullptr;
    }
    return new (std::nothrow) SystemDispatch(system);
}

::IDispatch* systemDispatchOf(platform::IDispatch* dispatch) {
    const auto* wrapper = dynamic_cast<SystemDispatch*>(dispatch);
    return wrapper == nullptr ? nullptr : wrapper->system();
}

::IDispatch* exposeDispatch(platform::IDispatch* dispatch) {
    if (dispatch == nullptr) {
        return nullptr;
    }
    if (::IDispatch* system = systemDispatchOf(dispatch)) {
        system->AddRef();
        return system;
    }
    return new (std::nothrow) CallbackDispatch(dispatch);
}

InboundCall::~InboundCall() {
    for (platform::IDispatch* wrapped : m_wrapped) {
        wrapped->Release();
    }
}

HRESULT InboundCall::add(const VARIANT& argument) {
    const VARIANT* value = &argument;
    if (value->vt == (VT_BYREF | VT_VARIANT) && value->pvarVal != nullptr) {
        value = value->pvarVal;
    }
    switch (value->vt) {
    case VT_BYREF | VT_I4:
        params.arguments.push_back(platform::Variant::byRef(reinterpret_cast<platform::LONG*>(value->plVal)));
        return S_OK;
    case VT_BSTR:
        params.arguments.emplace_back(std::wstring(value->bstrVal, ::SysStringLen(value->bstrVal)));
        return S_OK;
    case VT_DISPATCH:
        return addDispatch(value->pdispVal);
    default: {
        VARIANT number;
        ::VariantInit(&number);
        if (FAILED(::VariantChangeType(&number, const_cast<VARIANT*>(value), 0, VT_I4))) {
            return DISP_E_TYPEMISMATCH;
        }
        params.arguments.emplace_back(static_cast<platform::LONG>(number.lVal));
        return S_OK;
    }
    }
}

HRESULT InboundCall::addDispatch(::IDispatch* object) {
    platform::IDispatch* wrapped = nullptr;
    if (object != nullptr) {
        wrapped = wrapSystemDispatch(object);
        if (wrapped == nullptr) {
            return E_OUTOFMEMORY;
        }
        m_wrapped.push_back(wrapped);
    }
    params.arguments.emplace_back(wrapped);
    return S_OK;
}

HRESULT toSystemVariant(const platform::Variant& value, VARIANT* out) {
    ::VariantClear(out);
    switch (value.type()) {
    case platform::VT_I4: {
        platform::LONG number = 0;
        value.getI4(&number);
        out->vt = VT_I4;
        out->lVal = number;
        return S_OK;
    }
    case platform::VT_BSTR: {
        std::wstring text;
        value.getString(&text);
        out->bstrVal = allocText(text);
        if (out->bstrVal == nullptr) {
            return E_OUTOFMEMORY;
        }
        out->vt = VT_BSTR;
        return S_OK;
    }
    case platform::VT_DISPATCH: {
        platform::IDispatch* object = nullptr;
        value.getDispatch(&object);
        out->pdispVal = exposeDispatch(object);
        out->vt = VT_DISPATCH;
        return object != nullptr && out->pdispVal == nullptr ? E_OUTOFMEMORY : S_OK;
    }
    default:
        return S_OK;
    }
}

}  // namespace platform::win32

namespace platform {

HRESULT createObjectByProgId(std::string_view progId, IDispatch** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    CLSID clsid;
    const std::wstring name = toWide(progId);
    ::HRESULT status = ::CLSIDFromProgID(name.c_str(), &clsid);
    if (FAILED(status)) {
        return status;
    }
    ::IDispatch* system = nullptr;
    status = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&system));
    if (FAILED(status)) {
        return status;
    }
    *object = win32::wrapSystemDispatch(system);
    system->Release();
    return *object == nullptr ? E_OUTOFMEMORY : S_OK;
}

}  // namespace platform
