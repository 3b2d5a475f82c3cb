#include "platform/com.h"
#include "platform/threads.h"
#include "ComBridge.h"

#include <new>
#include <vector>

#include <objbase.h>

namespace platform {

// A marshalled interface: a real COM stream for a system object (the
// control object's dispatch), or the suite's own free-threaded object
// handed over as it is, with the reference taken for the receiver.
struct MarshalStream {
    ::IStream* stream;
    IDispatch* own;
};

namespace {

// Per coInitialize on this thread, whether CoInitializeEx accepted it: only
// those are matched by CoUninitialize.
thread_local std::vector<bool> t_initialised;

bool initialisedHere() {
    for (bool accepted : t_initialised) {
        if (accepted) {
            return true;
        }
    }
    return false;
}

}  // namespace

// Apartment-threaded, as the service objects are registered: a thread that
// is already in the multi-threaded apartment keeps it (RPC_E_CHANGED_MODE,
// returned as the caller's status and not undone later).
HRESULT coInitialize() {
    const ::HRESULT status = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    t_initialised.push_back(SUCCEEDED(status));
    return status;
}

void coUninitialize() {
    if (t_initialised.empty()) {
        return;
    }
    const bool accepted = t_initialised.back();
    t_initialised.pop_back();
    if (accepted) {
        ::CoUninitialize();
    }
}

HRESULT marshalInterThreadInterface(IDispatch* dispatch, MarshalStream** stream) {
    if (stream == nullptr) {
        return E_POINTER;
    }
    *stream = nullptr;
    if (dispatch == nullptr) {
        return E_INVALIDARG;
    }
    if (!initialisedHere()) {
        return CO_E_NOTINITIALIZED;
    }
    auto* packed = new (std::nothrow) MarshalStream{nullptr, nullptr};
    if (packed == nullptr) {
        return E_OUTOFMEMORY;
    }
    if (::IDispatch* system = win32::systemDispatchOf(dispatch)) {
        const ::HRESULT status = ::CoMarshalInterThreadInterfaceInStream(IID_IDispatch, system, &packed->stream);
        if (FAILED(status)) {
            delete packed;
            return status;
        }
    } else {
        dispatch->AddRef();
        packed->own = dispatch;
    }
    *stream = packed;
    return S_OK;
}

HRESULT getInterfaceAndReleaseStream(MarshalStream* stream, IDispatch** dispatch) {
    if (dispatch != nullptr) {
        *dispatch = nullptr;
    }
    if (stream == nullptr) {
        return E_INVALIDARG;
    }
    if (dispatch == nullptr || !initialisedHere()) {
        const HRESULT status = dispatch == nullptr ? E_POINTER : CO_E_NOTINITIALIZED;
        releaseMarshalStream(stream);
        return status;
    }
    if (stream->own != nullptr) {
        *dispatch = stream->own;
        delete stream;
        return S_OK;
    }
    ::IDispatch* proxy = nullptr;
    const ::HRESULT status =
        ::CoGetInterfaceAndReleaseStream(stream->stream, IID_IDispatch, reinterpret_cast<void**>(&proxy));
    delete stream;
    if (FAILED(status)) {
        return status;
    }
    *dispatch = win32::wrapSystemDispatch(proxy);
    proxy->Release();
    return *dispatch == nullptr ? E_OUTOFMEMORY : S_OK;
}

void releaseMarshalStream(MarshalStream* stream) {
    if (stream == nullptr) {
        return;
    }
    if (stream->own != nullptr) {
        stream->own->Release();
    } else {
        // CoReleaseMarshalData needs the stream at the start of the data.
        const LARGE_INTEGER start{};
        stream->stream->Seek(start, STREAM_SEEK_SET, nullptr);
        ::CoReleaseMarshalData(stream->stream);
        stream->stream->Release();
    }
    delete stream;
}

// A thread in a single-threaded apartment (whoever initialised it)
// dispatches its messages every 10 ms while it waits: short enough that a
// call into it from an event thread is not noticed, long enough to cost
// nothing.
std::chrono::milliseconds apartmentDispatchInterval() {
    APTTYPE type = APTTYPE_CURRENT;
    APTTYPEQUALIFIER qualifier = APTTYPEQUALIFIER_NONE;
    const bool singleThreaded = SUCCEEDED(::CoGetApartmentType(&type, &qualifier)) &&
                                (type == APTTYPE_STA || type == APTTYPE_MAINSTA);
    return std::chrono::milliseconds(singleThreaded ? 10 : 0);
}

void dispatchApartmentMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

}  // namespace platform
