#pragma once
// Enough of COM and OLE Automation to keep the suite's shape: HRESULTs,
// VARIANTs and DISPPARAMS, IDispatch with reference counting, BSTRs,
// CoInitialize and inter-thread interface marshalling, GUID strings, and the
// entry points an in-process server module exports.
//
// The control object hands the service object an IDispatch for callbacks;
// the service object's event thread must call it only through a pointer
// unmarshalled on that thread. On Windows marshalling gives the thread a
// proxy into the control object's apartment (for a system object that
// portable code holds through platform/comsystem.h; the suite's own objects
// are handed over as they are there too). Here every object is
// free-threaded: marshalling hands the same pointer over, and an object's
// Invoke may be called from any thread (its implementation must be
// thread-safe).
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform {

using ULONG = std::uint32_t;
using UINT = std::uint32_t;
using DISPID = LONG;
using VARTYPE = WORD;
using BSTR = wchar_t*;

constexpr DISPID DISPID_UNKNOWN = -1;

constexpr HRESULT makeHresult(std::uint32_t bits) { return static_cast<HRESULT>(bits); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = makeHresult(0x80004001u);
constexpr HRESULT E_POINTER = makeHresult(0x80004003u);
constexpr HRESULT E_FAIL = makeHresult(0x80004005u);
constexpr HRESULT E_ACCESSDENIED = makeHresult(0x80070005u);
constexpr HRESULT E_OUTOFMEMORY = makeHresult(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = makeHresult(0x80070057u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = makeHresult(0x80020003u);
constexpr HRESULT DISP_E_PARAMNOTFOUND = makeHresult(0x80020004u);
constexpr HRESULT DISP_E_TYPEMISMATCH = makeHresult(0x80020005u);
constexpr HRESULT DISP_E_UNKNOWNNAME = makeHresult(0x80020006u);
constexpr HRESULT DISP_E_BADPARAMCOUNT = makeHresult(0x8002000Eu);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = makeHresult(0x80040111u);
constexpr HRESULT SELFREG_E_CLASS = makeHresult(0x80040201u);
constexpr HRESULT CO_E_NOTINITIALIZED = makeHresult(0x800401F0u);

constexpr bool succeeded(HRESULT status) { return status >= 0; }
constexpr bool failed(HRESULT status) { return status < 0; }

// HRESULT_FROM_WIN32: a Win32 error code (a registry call's result) as an
// HRESULT. ERROR_SUCCESS becomes S_OK.
constexpr HRESULT hresultFromWin32(LONG error) {
    return error <= 0 ? error : makeHresult(0x80070000u | (static_cast<std::uint32_t>(error) & 0xFFFFu));
}

constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_DISPATCH = 9;
constexpr VARTYPE VT_BYREF = 0x4000;

class IDispatch;

// A VARIANT of the kinds the suite passes: empty, a 32-bit integer, a wide
// string (owned by the variant, as a VARIANT owns its BSTR), a reference
// to the caller's LONG (an out-parameter such as an error event's
// ErrorResponse), or an interface pointer (the control object's dispatch
// that OpenService receives). Copying copies the string and shares the
// reference, as VariantCopy does. Not thread-safe; a variant belongs to one
// call.
class Variant {
public:
    Variant() = default;
    explicit Variant(LONG value);
    explicit Variant(std::wstring text);
    // The reference must stay valid as long as the variant is used.
    static Variant byRef(LONG* target);
    // Holds no reference of its own: the caller keeps the object alive for
    // the call, as for an [in] interface argument, and a callee that keeps
    // the pointer past the call relies on its own contract with the caller.
    explicit Variant(IDispatch* dispatch);

    // VT_EMPTY, VT_I4, VT_BSTR, VT_DISPATCH or VT_BYREF | VT_I4.
    VARTYPE type() const { return m_type; }

    // The integer of a VT_I4, or the referenced integer of a by-reference
    // VT_I4 (read through the reference, as DispGetParam coerces it).
    // DISP_E_TYPEMISMATCH for any other type (no string parsing, no empty
    // as 0), E_POINTER for a null `value` or a null reference.
    HRESULT getI4(LONG* value) const;

    // The text of a VT_BSTR; DISP_E_TYPEMISMATCH for any other type,
    // E_POINTER for a null `text`.
    HRESULT getString(std::wstring* text) const;

    // The pointer of a VT_DISPATCH (possibly null); DISP_E_TYPEMISMATCH for
    // any other type, E_POINTER for a null `dispatch`.
    HRESULT getDispatch(IDispatch** dispatch) const;

    // Stores through a by-reference VT_I4 (how a callee answers an
    // out-parameter). DISP_E_TYPEMISMATCH for any other type, E_POINTER for
    // a null reference.
    HRESULT setByRefI4(LONG value) const;

    // VariantClear: back to VT_EMPTY.
    void clear();

private:
    VARTYPE m_type = VT_EMPTY;
    LONG m_integer = 0;
    LONG* m_reference = nullptr;
    IDispatch* m_dispatch = nullptr;
    std::wstring m_text;
};

// The arguments of one Invoke, in natural order: arguments[0] is the
// method's first parameter. (A Windows DISPPARAMS lists them in reverse; the
// Windows backend reverses them at the boundary so callers and callees here
// never do.) Named arguments are not supported.
struct DispParams {
    DispParams() = default;
    DispParams(std::initializer_list<Variant> values) : arguments(values) {}

    // DispGetParam(position, VT_I4): DISP_E_PARAMNOTFOUND when there is no
    // such argument, otherwise as Variant::getI4.
    HRESULT getI4(std::size_t position, LONG* value) const;

    std::vector<Variant> arguments;
};

// An automation object called by name. Reference counting as in COM: the
// holder of a pointer owns one reference; AddRef and Release return the new
// count (for diagnostics only) and Release destroys the object at 0.
class IDispatch {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

    // The DISPID of the method or property called `name` (compared as the
    // object defines, COM objects usually without regard to case).
    // DISP_E_UNKNOWNNAME when there is none.
    virtual HRESULT GetIDsOfNames(std::wstring_view name, DISPID* dispid) = 0;

    // Calls member `dispid` with `params` (natural order). `result` may be
    // null when the caller wants no result. DISP_E_MEMBERNOTFOUND,
    // DISP_E_BADPARAMCOUNT, DISP_E_TYPEMISMATCH as in COM; otherwise the
    // member's own status.
    virtual HRESULT Invoke(DISPID dispid, DispParams& params, Variant* result) = 0;

protected:
    virtual ~IDispatch() = default;
};

// The reference counting every IDispatch implementation needs. A new object
// starts with one reference, the creator's. Thread-safe.
class RefCountedDispatch : public IDispatch {
public:
    ULONG AddRef() override { return m_references.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        const ULONG left = m_references.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete this;
        }
        return left;
    }

protected:
    RefCountedDispatch() = default;
    ~RefCountedDispatch() override = default;

private:
    std::atomic<ULONG> m_references{1};
};

// System strings (SysAllocString...) for texts handed to a caller who frees
// them: length-prefixed wide strings that keep embedded NULs and are also
// NUL-terminated. They must be freed with sysFreeString, never with free or
// delete. Thread-safe.

// A new BSTR holding `text`; null only when memory runs out.
BSTR sysAllocString(std::wstring_view text);
// Accepts null.
void sysFreeString(BSTR text);
// The length in characters (embedded NULs included); 0 for null.
UINT sysStringLen(BSTR text);

// CoInitialize / CoUninitialize for the calling thread. S_OK for the first
// call on a thread, S_FALSE for a nested one; every call, S_FALSE included,
// needs one coUninitialize. Marshalling refuses a thread that is not
// initialised, as COM does, so a missing call shows up here and not first
// on Windows.
HRESULT coInitialize();
void coUninitialize();

struct MarshalStream;

// CoMarshalInterThreadInterfaceInStream: packs `dispatch` for another
// thread. The stream holds a reference until it is unmarshalled or
// released. E_INVALIDARG for a null `dispatch`, E_POINTER for a null
// `stream`, CO_E_NOTINITIALIZED when the calling thread has not called
// coInitialize. Never blocks.
HRESULT marshalInterThreadInterface(IDispatch* dispatch, MarshalStream** stream);

// CoGetInterfaceAndReleaseStream, on the receiving thread: gives the
// receiver the interface (its reference now belongs to the receiver, who
// releases it) and frees the stream, which is consumed whether or not the
// call succeeds. E_INVALIDARG for a null stream, E_POINTER for a null
// `dispatch`, CO_E_NOTINITIALIZED when the calling thread has not called
// coInitialize (the marshalled reference is then dropped). Never blocks.
HRESULT getInterfaceAndReleaseStream(MarshalStream* stream, IDispatch** dispatch);

// Frees a stream that will never be unmarshalled (CoReleaseMarshalData and
// the stream's Release), dropping its reference. Accepts null.
void releaseMarshalStream(MarshalStream* stream);

// A CLSID or other GUID in the registry form "{0353F054-4D22-44C1-BD26-
// 0F0FE4360036}". Accepts the same with or without braces and in any case;
// writes the canonical form (braces, upper case) and returns true. False
// (and `canonical` untouched) for anything else. `canonical` may be null
// to check only.
bool canonicalGuid(std::string_view text, std::string* canonical);

// True when both are GUIDs and name the same one.
bool sameGuid(std::string_view a, std::string_view b);

// The C entry points of a service object module, found by name with
// getProcAddress. They never let an exception out.
//
// CvDllGetObject(clsid, object): creates the object of class `clsid` (any
// spelling canonicalGuid accepts) and stores it, holding one reference for
// the caller, in *object. CLASS_E_CLASSNOTAVAILABLE for a class the module
// does not serve, E_POINTER for a null argument, E_OUTOFMEMORY.
//
// CvDllRegisterServer(modulePath): writes the module's classes into the
// registry: HKCR\<ProgID>\CLSID, HKCR\<ProgID>\CurVer and
// HKCR\CLSID\{...}\InprocServer32 = modulePath, ProgID, Programmable.
// SELFREG_E_CLASS or hresultFromWin32(registry error) on failure.
//
// CvDllUnregisterServer(): removes what registration wrote. S_OK also when
// nothing was registered.
using DllGetObjectFunction = HRESULT (*)(const char* clsid, IDispatch** object);
using DllRegisterServerFunction = HRESULT (*)(const char* modulePath);
using DllUnregisterServerFunction = HRESULT (*)();

constexpr const char* kDllGetObjectExport = "CvDllGetObject";
constexpr const char* kDllRegisterServerExport = "CvDllRegisterServer";
constexpr const char* kDllUnregisterServerExport = "CvDllUnregisterServer";

}  // namespace platform
