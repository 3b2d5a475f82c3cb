#include "platform/com.h"

namespace platform {

// The pass-through stand-in for an IStream holding a marshalled interface:
// it keeps the interface and the reference taken for the receiver.
struct MarshalStream {
    IDispatch* dispatch;
};

namespace {

// coInitialize calls not yet matched by coUninitialize on this thread.
thread_local unsigned t_comInitialized = 0;

}  // namespace

HRESULT coInitialize() {
    return t_comInitialized++ == 0 ? S_OK : S_FALSE;
}

void coUninitialize() {
    if (t_comInitialized > 0) {
        --t_comInitialized;
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
    if (t_comInitialized == 0) {
        return CO_E_NOTINITIALIZED;
    }
    dispatch->AddRef();
    *stream = new MarshalStream{dispatch};
    return S_OK;
}

HRESULT getInterfaceAndReleaseStream(MarshalStream* stream, IDispatch** dispatch) {
    if (dispatch != nullptr) {
        *dispatch = nullptr;
    }
    if (stream == nullptr) {
        return E_INVALIDARG;
    }
    if (dispatch == nullptr || t_comInitialized == 0) {
        const HRESULT status = dispatch == nullptr ? E_POINTER : CO_E_NOTINITIALIZED;
        releaseMarshalStream(stream);
        return status;
    }
    *dispatch = stream->dispatch;
    delete stream;
    return S_OK;
}

void releaseMarshalStream(MarshalStream* stream) {
    if (stream != nullptr) {
        stream->dispatch->Release();
        delete stream;
    }
}

}  // namespace platform
