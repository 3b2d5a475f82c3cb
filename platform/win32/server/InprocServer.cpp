#include "InprocServer.h"

#include <new>
#include <string>

#include <oleauto.h>
#include <olectl.h>

namespace platform::server {

namespace {

volatile ::LONG g_moduleReferences = 0;

HMODULE thisModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&thisModule), &module);
    return module;
}

std::wstring modulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(thisModule(), path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// The module's type library, loaded at its first use and kept for the life
// of the process (a module is not unloaded while an object is alive).
ITypeLib* typeLibrary() {
    static ITypeLib* const library = [] {
        ITypeLib* loaded = nullptr;
        const std::wstring path = modulePath();
        if (path.empty() || FAILED(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &loaded))) {
            return static_cast<ITypeLib*>(nullptr);
        }
        return loaded;
    }();
    return library;
}

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreateFunction create) : m_create(create) { addModuleReference(); }

    ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
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
    ::HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        return m_create(iid, out);
    }
    ::HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            addModuleReference();
        } else {
            releaseModuleReference();
        }
        return S_OK;
    }

private:
    ~ClassFactory() { releaseModuleReference(); }

    const CreateFunction m_create;
    volatile ::LONG m_references = 1;
};

::HRESULT setText(HKEY root, const std::string& path, const char* name, const std::string& text) {
    HKEY key = nullptr;
    LONG status = ::RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                                    &key, nullptr);
    if (status == ERROR_SUCCESS && (name != nullptr || !text.empty())) {
        status = ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                  static_cast<DWORD>(text.size() + 1));
    }
    if (key != nullptr) {
        ::RegCloseKey(key);
    }
    return HRESULT_FROM_WIN32(status);
}

std::string narrow(const std::wstring& wide) {
    const int size = ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(size > 0 ? static_cast<std::size_t>(size) : 1u, '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, text.data(), size, nullptr, nullptr);
    text.resize(text.size() - 1);
    return text;
}

std::string guidText(const GUID& guid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return narrow(text);
}

// The ProgID key `progId` names our class: its CLSID value is ours.
bool progIdIsOurs(const char* progId, const std::string& clsid) {
    char value[64] = {};
    ::LONG size = sizeof value;
    const std::string path = std::string(progId) + "\\CLSID";
    return ::RegQueryValueA(HKEY_CLASSES_ROOT, path.c_str(), value, &size) == ERROR_SUCCESS &&
           ::lstrcmpiA(value, clsid.c_str()) == 0;
}

::HRESULT deleteTree(const std::string& path) {
    const LONG status = ::RegDeleteTreeA(HKEY_CLASSES_ROOT, path.c_str());
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
        ::RegDeleteKeyA(HKEY_CLASSES_ROOT, path.c_str());
        return S_OK;
    }
    return HRESULT_FROM_WIN32(status);
}

}  // namespace

void addModuleReference() {
    ::InterlockedIncrement(&g_moduleReferences);
}

void releaseModuleReference() {
    ::InterlockedDecrement(&g_moduleReferences);
}

bool moduleInUse() {
    return ::InterlockedCompareExchange(&g_moduleReferences, 0, 0) != 0;
}

ITypeInfo* typeInfoOf(REFIID iid) {
    // A module serves one interface: its type information is looked up once
    // and kept with the library.
    static ITypeInfo* const info = [&iid] {
        ITypeInfo* found = nullptr;
        ITypeLib* library = typeLibrary();
        if (library == nullptr || FAILED(library->GetTypeInfoOfGuid(iid, &found))) {
            return static_cast<ITypeInfo*>(nullptr);
        }
        return found;
    }();
    return info;
}

::HRESULT getClassObject(REFCLSID clsid, REFIID iid, void** out, CreateFunction create) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    CLSID served;
    const std::wstring text(inprocServerClass().clsid, inprocServerClass().clsid + ::lstrlenA(inprocServerClass().clsid));
    if (FAILED(::CLSIDFromString(text.c_str(), &served)) || clsid != served) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    auto* factory = new (std::nothrow) ClassFactory(create);
    if (factory == nullptr) {
        return E_OUTOFMEMORY;
    }
    const ::HRESULT status = factory->QueryInterface(iid, out);
    factory->Release();
    return status;
}

::HRESULT registerServer() {
    const InprocServerClass& served = inprocServerClass();
    const std::wstring path = modulePath();
    ITypeLib* library = typeLibrary();
    if (path.empty() || library == nullptr) {
        return SELFREG_E_TYPELIB;
    }
    TLIBATTR* attributes = nullptr;
    if (FAILED(library->GetLibAttr(&attributes))) {
        return SELFREG_E_TYPELIB;
    }
    const std::string libid = guidText(attributes->guid);
    library->ReleaseTLibAttr(attributes);

    const std::string clsid = served.clsid;
    const std::string classKey = "CLSID\\" + clsid;
    const std::string progId = served.progId;
    const std::string independent = served.versionIndependentProgId;
    const ::HRESULT steps[] = {
        setText(HKEY_CLASSES_ROOT, progId, nullptr, served.description),
        setText(HKEY_CLASSES_ROOT, progId + "\\CLSID", nullptr, clsid),
        setText(HKEY_CLASSES_ROOT, independent, nullptr, served.description),
        setText(HKEY_CLASSES_ROOT, independent + "\\CLSID", nullptr, clsid),
        setText(HKEY_CLASSES_ROOT, independent + "\\CurVer", nullptr, progId),
        setText(HKEY_CLASSES_ROOT, classKey, nullptr, served.description),
        setText(HKEY_CLASSES_ROOT, classKey + "\\ProgID", nullptr, progId),
        setText(HKEY_CLASSES_ROOT, classKey + "\\VersionIndependentProgID", nullptr, independent),
        setText(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32", nullptr, narrow(path)),
        setText(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32", "ThreadingModel", served.threadingModel),
        setText(HKEY_CLASSES_ROOT, classKey + "\\Programmable", nullptr, ""),
        setText(HKEY_CLASSES_ROOT, classKey + "\\TypeLib", nullptr, libid),
    };
    for (const ::HRESULT status : steps) {
        if (FAILED(status)) {
            unregisterServer();
            return status;
        }
    }
    std::wstring typeLibPath = path;
    if (const ::HRESULT status = ::RegisterTypeLib(library, typeLibPath.data(), nullptr); FAILED(status)) {
        unregisterServer();
        return SELFREG_E_TYPELIB;
    }
    return S_OK;
}

::HRESULT unregisterServer() {
    const InprocServerClass& served = inprocServerClass();
    const std::string clsid = served.clsid;
    ::HRESULT result = S_OK;
    if (ITypeLib* library = typeLibrary()) {
        TLIBATTR* attributes = nullptr;
        if (SUCCEEDED(library->GetLibAttr(&attributes))) {
            // TYPE_E_REGISTRYACCESS and the like when it was never
            // registered: nothing of ours to remove.
            ::UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                                attributes->lcid, attributes->syskind);
            library->ReleaseTLibAttr(attributes);
        }
    }
    for (const char* progId : {served.progId, served.versionIndependentProgId}) {
        if (progIdIsOurs(progId, clsid)) {
            if (const ::HRESULT status = deleteTree(progId); FAILED(status)) {
                result = status;
            }
        }
    }
    if (const ::HRESULT status = deleteTree("CLSID\\" + clsid); FAILED(status)) {
        result = status;
    }
    return result;
}

}  // namespace platform::server

namespace platform::server {

void ForwardCall::add(::IDispatch* object) {
    platform::IDispatch* wrapped = nullptr;
    if (object != nullptr) {
        wrapped = win32::wrapSystemDispatch(object);
        if (wrapped == nullptr) {
            m_failed = true;
        } else {
            m_kept.push_back(wrapped);
        }
    }
    m_params.arguments.emplace_back(wrapped);
}

::HRESULT ForwardCall::call(platform::IDispatch* object, ::DISPID id) {
    if (m_failed) {
        return E_OUTOFMEMORY;
    }
    if (m_retvalText != nullptr) {
        *m_retvalText = nullptr;
    }
    platform::Variant result;
    const ::HRESULT status = object->Invoke(id, m_params, &result);
    std::wstring text;
    const bool hasText = SUCCEEDED(result.getString(&text));
    // The suite answers an in-out text, and an [out, retval] one, with
    // Invoke's result; a result that is no text leaves the caller's text.
    BSTR* target = m_retvalText != nullptr ? m_retvalText : m_inOutText;
    if (target != nullptr && (hasText || target == m_retvalText)) {
        BSTR answer = ::SysAllocStringLen(text.data(), static_cast<::UINT>(text.size()));
        if (answer == nullptr) {
            return E_OUTOFMEMORY;
        }
        if (target == m_inOutText) {
            ::SysFreeString(*target);
        }
        *target = answer;
    }
    return status;
}

}  // namespace platform::server
