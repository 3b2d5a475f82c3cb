#pragma once
// The in-process server half of a service object module on Windows: the
// object that serves the module's platform object through its dual
// interface and type library, the class factory, and the work behind the
// module's DllGetClassObject, DllCanUnloadNow, DllRegisterServer and
// DllUnregisterServer. Built into each module (the counts are the
// module's), with the module's own interface class generated from its IDL.
#include <vector>

#include "platform/comsystem.h"
#include "../ComBridge.h"

#include <objbase.h>

namespace platform::server {

// Objects alive and LockServer locks held in this module.
void addModuleReference();
void releaseModuleReference();
bool moduleInUse();

// The type information of `iid` from the type library embedded in this
// module (loaded once); null when it cannot be loaded.
ITypeInfo* typeInfoOf(REFIID iid);

// The class factory for this module's class. `create` makes a new object
// asked for `iid`.
using CreateFunction = ::HRESULT (*)(REFIID iid, void** out);
::HRESULT getClassObject(REFCLSID clsid, REFIID iid, void** out, CreateFunction create);

// Writes or removes, in the system's HKEY_CLASSES_ROOT (never the suite's
// own store), the class of inprocServerClass() and this module's type
// library.
::HRESULT registerServer();
::HRESULT unregisterServer();

// One call from the dual interface to the platform object: arguments in
// the interface's order, converted to the suite's calling convention
// (by-reference integers, in-out text as text with the new text as the
// result, an [out, retval] text as the result).
template <typename Pointer>
struct Retval {
    Pointer target;
};
template <typename Pointer>
Retval<Pointer> retval(Pointer target) {
    return {target};
}

class ForwardCall {
public:
    // Objects passed in (the control object's dispatch) are kept in `kept`,
    // owned by the serving object, since the platform object keeps them
    // without a reference of its own.
    explicit ForwardCall(std::vector<platform::IDispatch*>& kept) : m_kept(kept) {}

    void add(::LONG value) { m_params.arguments.emplace_back(static_cast<platform::LONG>(value)); }
    void add(BSTR text) { m_params.arguments.emplace_back(std::wstring(text == nullptr ? L"" : text, ::SysStringLen(text))); }
    void add(::LONG* value) {
        m_params.arguments.push_back(platform::Variant::byRef(reinterpret_cast<platform::LONG*>(value)));
    }
    void add(BSTR* text) {
        m_inOutText = text;
        add(text == nullptr ? nullptr : *text);
    }
    void add(::IDispatch* object);
    void add(Retval<::LONG*> value) {
        if (value.target != nullptr) {
            add(value.target);
        }
    }
    void add(Retval<BSTR*> text) { m_retvalText = text.target; }

    // The platform object's status; E_POINTER for a missing out-parameter,
    // E_OUTOFMEMORY when an argument could not be converted.
    ::HRESULT call(platform::IDispatch* object, ::DISPID id);

private:
    std::vector<platform::IDispatch*>& m_kept;
    platform::DispParams m_params;
    BSTR* m_inOutText = nullptr;
    BSTR* m_retvalText = nullptr;
    bool m_failed = false;
};

template <typename... Arguments>
::HRESULT forward(std::vector<platform::IDispatch*>& kept, platform::IDispatch* object, ::DISPID id,
                  Arguments... arguments) {
    ForwardCall call(kept);
    (call.add(arguments), ...);
    return call.call(object, id);
}

// IUnknown and IDispatch of a dual interface over a platform object, the
// dispatch half answered from the type information (so clients get
// coercion, [out, retval] and by-reference arguments as COM defines them).
// `Interface` is the widl class; the generated class derives from this and
// adds the interface's own methods.
template <typename Interface>
class DualObject : public Interface {
public:
    DualObject(platform::IDispatch* object, REFIID iid) : m_object(object), m_iid(iid) { addModuleReference(); }

    ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == m_iid) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ::ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<::ULONG>(::InterlockedIncrement(&m_references)); }
    ::ULONG STDMETHODCALLTYPE Release() override {
        const ::LONG left = ::InterlockedDecrement(&m_references);
        if (left == 0) {
            delete this;
        }
        return static_cast<::ULONG>(left);
    }

    ::HRESULT STDMETHODCALLTYPE GetTypeInfoCount(::UINT* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 1;
        return S_OK;
    }
    ::HRESULT STDMETHODCALLTYPE GetTypeInfo(::UINT index, LCID, ITypeInfo** info) override {
        if (info == nullptr) {
            return E_POINTER;
        }
        *info = nullptr;
        if (index != 0) {
            return DISP_E_BADINDEX;
        }
        ITypeInfo* found = typeInfoOf(m_iid);
        if (found == nullptr) {
            return TYPE_E_CANTLOADLIBRARY;
        }
        found->AddRef();
        *info = found;
        return S_OK;
    }
    ::HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, ::UINT count, LCID, ::DISPID* ids) override {
        ITypeInfo* info = typeInfoOf(m_iid);
        return info == nullptr ? TYPE_E_CANTLOADLIBRARY : ::DispGetIDsOfNames(info, names, count, ids);
    }
    ::HRESULT STDMETHODCALLTYPE Invoke(::DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                       EXCEPINFO* exception, ::UINT* badArgument) override {
        if (iid != IID_NULL) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        ITypeInfo* info = typeInfoOf(m_iid);
        if (info == nullptr) {
            return TYPE_E_CANTLOADLIBRARY;
        }
        return ::DispInvoke(static_cast<Interface*>(this), info, id, flags, params, result, exception, badArgument);
    }

protected:
    virtual ~DualObject() {
        for (platform::IDispatch* object : m_kept) {
            object->Release();
        }
        m_object->Release();
        releaseModuleReference();
    }

    template <typename... Arguments>
    ::HRESULT call(::DISPID id, Arguments... arguments) {
        return forward(m_kept, m_object, id, arguments...);
    }

private:
    platform::IDispatch* const m_object;
    const IID m_iid;
    std::vector<platform::IDispatch*> m_kept;
    volatile ::LONG m_references = 1;
};

}  // namespace platform::server
