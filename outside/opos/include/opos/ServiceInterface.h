#pragma once
// What a control object knows of the service objects it drives: the methods
// and properties of each device class by their OPOS names, and the calling
// convention on the service object's dispatch interface.
//
// Calling convention. The control object finds each method of the service
// object by name (GetIDsOfNames) and calls it with Invoke:
// - Arguments are the method's parameters in their declared order
//   (DispParams keeps the natural order).
// - long is VT_I4, BSTR is VT_BSTR, OpenService's pDispatch is VT_DISPATCH.
// - long* (pRC, pNumber, pData, an error event's pErrorResponse) is
//   VT_BYREF | VT_I4 on the caller's LONG: the callee reads the caller's
//   value and stores its answer through it. pRC starts at OPOS_E_FAILURE, so
//   a method that returns without setting it has failed.
// - A BSTR* that only returns text (GetPropertyString's pString) is not
//   passed; the text comes back as Invoke's result, VT_BSTR. An in-out BSTR*
//   (DirectIO's pString) is passed as VT_BSTR with the caller's text; a new
//   text comes back as the result, and a result of any other type leaves the
//   caller's text as it was.
// - The HRESULT is the method's COM status: S_OK, or S_FALSE for a method
//   that failed after logging. The OPOS result is in pRC either way.
// Callbacks from the service object to the control object ("SOError",
// "SOOutputComplete", "SOStatusUpdate", "SODirectIO", "SOData") follow the
// same rules.
#include <span>
#include <string_view>

#include "platform/types.h"
#include "schema/RegistrySchema.h"

namespace opos {

using platform::LONG;
using schema::DeviceClass;

enum class ParameterKind : unsigned char {
    Number,       // long, in
    Text,         // BSTR, in
    NumberInOut,  // long*, in and out
    TextInOut,    // BSTR*, in and out
};

struct Parameter {
    std::string_view name;  // the type library's parameter name ("pData")
    ParameterKind kind;
};

struct MethodInfo {
    std::string_view name;         // the OPOS name a host calls ("OpenDrawer")
    std::string_view serviceName;  // the service object's method ("openDrawer"); empty for the
                                   // control object's own Open and Close
    std::span<const Parameter> parameters;  // without the trailing pRC
};

enum class PropertyOwner : unsigned char { ServiceObject, ControlObject };

// The properties a control object answers itself.
enum ControlProperty : LONG { OpenResult = 1, ControlObjectDescription = 2, ControlObjectVersion = 3 };

struct PropertyInfo {
    std::string_view name;  // the part of PIDX_*, PIDXPtr_* or PIDXCash_* after the prefix
    LONG index;             // the PIDX value, or a ControlProperty
    PropertyOwner owner;
    bool isText;
};

// Every method a host may call on a control object of `deviceClass`, in the
// service object interface's order, followed by the control object's own.
std::span<const MethodInfo> methods(DeviceClass deviceClass);

// Names are matched without regard to case, as automation matches them.
// Null for a name the class does not have.
const MethodInfo* findMethod(DeviceClass deviceClass, std::string_view name);
const PropertyInfo* findProperty(DeviceClass deviceClass, std::string_view name);

// Service object methods the control object calls for the life cycle and
// the properties; they have no OPOS method of their own.
namespace service {
inline constexpr std::string_view OpenService = "OpenService";
inline constexpr std::string_view CloseService = "CloseService";
inline constexpr std::string_view GetOpenResult = "GetOpenResult";  // POSPrinter only
inline constexpr std::string_view COFreezeEvents = "COFreezeEvents";
inline constexpr std::string_view GetPropertyNumber = "GetPropertyNumber";
inline constexpr std::string_view SetPropertyNumber = "SetPropertyNumber";
inline constexpr std::string_view GetPropertyString = "GetPropertyString";
inline constexpr std::string_view SetPropertyString = "SetPropertyString";
}  // namespace service

// Callback names the service object looks up on the control object.
namespace callback {
inline constexpr std::string_view SODirectIO = "SODirectIO";
inline constexpr std::string_view SOError = "SOError";
inline constexpr std::string_view SOOutputComplete = "SOOutputComplete";
inline constexpr std::string_view SOStatusUpdate = "SOStatusUpdate";
inline constexpr std::string_view SOData = "SOData";
}  // namespace callback

}  // namespace opos
