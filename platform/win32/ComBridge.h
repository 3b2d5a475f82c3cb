#pragma once
// The bridge between the suite's dispatch interface (platform::IDispatch,
// Variant, DispParams) and the system's (::IDispatch, VARIANT, DISPPARAMS),
// both ways. Used by this backend's marshalling and by the in-process server
// code that each service object module builds from platform/win32/server.
#include "platform/com.h"

#include <windows.h>
#include <oaidl.h>

namespace platform::win32 {

// A system object as a platform::IDispatch. The wrapper takes a reference
// of its own (AddRef now, Release with the wrapper) and starts with one
// reference for the caller. Calls go out as
// DISPATCH_METHOD with LOCALE_USER_DEFAULT; arguments are converted as
// toSystemVariant does, and by-reference integers are written back after
// the call. Null when memory runs out.
platform::IDispatch* wrapSystemDispatch(::IDispatch* system);

// The system object behind `dispatch` when it is a wrapper made by
// wrapSystemDispatch, else null.
::IDispatch* systemDispatchOf(platform::IDispatch* dispatch);

// A platform object as a system IDispatch holding one reference for the
// caller: the object it wraps when it is a wrapper, else a late-bound
// adapter (names and calls forwarded, no type information) that is
// free-threaded: marshalled to another apartment it stays a direct
// pointer, so the object must be thread-safe, as the suite's own objects
// are. Null for null, or when memory runs out.
::IDispatch* exposeDispatch(platform::IDispatch* dispatch);

// One call's arguments on their way from a system caller to a platform
// object: converted in natural order, dispatch arguments wrapped (and
// released with the call), and integers of other widths coerced to VT_I4.
// By-reference VT_I4 arguments point at the caller's own storage.
class InboundCall {
public:
    InboundCall() = default;
    ~InboundCall();
    InboundCall(const InboundCall&) = delete;
    InboundCall& operator=(const InboundCall&) = delete;

    // Appends one argument; DISP_E_TYPEMISMATCH for a type the suite does
    // not pass.
    HRESULT add(const VARIANT& argument);
    // Appends an object argument (null passes a null VT_DISPATCH).
    HRESULT addDispatch(::IDispatch* object);

    platform::DispParams params;

private:
    std::vector<platform::IDispatch*> m_wrapped;
};

// A platform result as a system VARIANT: VT_I4, VT_BSTR, VT_DISPATCH
// (through exposeDispatch) or VT_EMPTY. `out` must be initialised.
HRESULT toSystemVariant(const platform::Variant& value, VARIANT* out);

}  // namespace platform::win32
