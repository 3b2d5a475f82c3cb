#pragma once
// Self-registration of an in-process server class, the work a service
// object module's CvDllRegisterServer and CvDllUnregisterServer do (what an
// ATL registrar script does on Windows).
//
// Registration writes, below HKEY_CLASSES_ROOT:
//   <ProgID>                      (default) = description
//   <ProgID>\CLSID                (default) = {CLSID}
//   <VersionIndependentProgID>    (default) = description
//   <VersionIndependentProgID>\CLSID  (default) = {CLSID}
//   <VersionIndependentProgID>\CurVer (default) = ProgID
//   CLSID\{CLSID}                 (default) = description
//   CLSID\{CLSID}\ProgID          (default) = ProgID
//   CLSID\{CLSID}\VersionIndependentProgID (default) = version-independent ProgID
//   CLSID\{CLSID}\InprocServer32  (default) = module path, ThreadingModel
//   CLSID\{CLSID}\Programmable    (no values)
// The CLSID is written in its canonical form (braces, upper case).
//
// Unregistration removes exactly those values, and each of those keys once
// it is left empty. A ProgID key is touched only while its CLSID value still
// names this class: when another class has registered the same ProgID since,
// its keys stay. Values or subkeys that someone else added keep their keys
// alive. HKCR\CLSID itself is never removed.
//
// Both block on the registry store; thread-safe as the registry is.
#include <string_view>

#include "platform/com.h"

namespace common {

struct ComClassRegistration {
    std::string_view progId;                    // "SOCorvane.posprinter.1"
    std::string_view versionIndependentProgId;  // "SOCorvane.posprinter"
    std::string_view clsid;                     // any spelling platform::canonicalGuid accepts
    std::string_view description;               // "posprinter Class"
    std::string_view threadingModel;            // "Apartment"
};

// S_OK, or: SELFREG_E_CLASS when the CLSID is not a GUID or a ProgID is
// empty; hresultFromWin32(registry error) when a write fails, after
// removing whatever this call had written.
platform::HRESULT registerComClass(const ComClassRegistration& registration, std::string_view modulePath);

// S_OK also when nothing was registered. SELFREG_E_CLASS for a malformed
// CLSID; hresultFromWin32(registry error) when a removal fails (what could
// be removed before it stays removed).
platform::HRESULT unregisterComClass(const ComClassRegistration& registration);

}  // namespace common
