#pragma once
// The system's own COM, on Windows only: what the service object modules
// and the control objects need beyond the suite's dispatch interface
// (com.h). Portable code keeps calling platform::IDispatch; these calls
// give it a system object to call, and give a system client a module's
// object to call. Not built for other platforms, where com.h is all there
// is.
//
// Marshalling (com.h) knows the objects made here: a system object that
// portable code holds is packed into a real COM stream, so a service
// object's event thread reaches the control object through a proxy into
// the control object's apartment.
#include <string_view>

#include "platform/com.h"

namespace platform {

// CLSIDFromProgID and CoCreateInstance (in-process server) for the object
// `progId` names, asked for its IDispatch and handed over as a
// platform::IDispatch holding one reference for the caller. The calling
// thread must have called coInitialize. The COM status on failure:
// REGDB_E_CLASSNOTREG (0x80040154) or CO_E_CLASSSTRING (0x800401F3) for a
// ProgID that is not registered, E_NOINTERFACE for an object without a
// dispatch interface. Blocks while the module loads.
HRESULT createObjectByProgId(std::string_view progId, IDispatch** object);

// What an in-process server module registers for its class, besides its
// type library. Strings live as long as the module.
struct InprocServerClass {
    const char* progId;                    // "SOCorvane.posprinter.1"
    const char* versionIndependentProgId;  // "SOCorvane.posprinter"
    const char* clsid;                     // "{0353F054-...}"
    const char* description;               // "posprinter Class"
    const char* threadingModel;            // "Apartment"
};

// Each in-process server module defines these two: the class it serves,
// and a new object of that class holding one reference for the caller
// (null when memory runs out). The module's COM entry points call them.
const InprocServerClass& inprocServerClass();
IDispatch* createInprocServerObject();

}  // namespace platform
