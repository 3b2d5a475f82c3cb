#include "common/ComRegistration.h"

#include <initializer_list>
#include <string>

#include "platform/registry.h"
#include "schema/RegKey.h"

namespace common {

using platform::HRESULT;
using platform::LONG;

namespace {

constexpr platform::DWORD kGuidTextSize = 64;

struct ValueWrite {
    std::string key;
    const char* name;  // null: the key is written without a value
    std::string data;
};

// Deletes `values` of `path` and then the key itself if nothing is left in
// it. A key or value that is already gone is not an error.
LONG removeValuesAndEmptyKey(const std::string& path, std::initializer_list<const char*> values) {
    platform::HKey key = nullptr;
    LONG result = platform::regOpenKeyEx(platform::HKCR, path.c_str(), platform::KEY_ALL_ACCESS, &key);
    if (result == platform::ERROR_FILE_NOT_FOUND) {
        return platform::ERROR_SUCCESS;
    }
    if (result != platform::ERROR_SUCCESS) {
        return result;
    }
    for (const char* name : values) {
        result = platform::regDeleteValue(key, name);
        if (result != platform::ERROR_SUCCESS && result != platform::ERROR_FILE_NOT_FOUND) {
            platform::regCloseKey(key);
            return result;
        }
    }
    platform::DWORD subKeys = 0;
    platform::DWORD valuesLeft = 0;
    result = platform::regQueryInfoKey(key, &subKeys, &valuesLeft);
    platform::regCloseKey(key);
    if (result != platform::ERROR_SUCCESS) {
        return result;
    }
    if (subKeys != 0 || valuesLeft != 0) {
        return platform::ERROR_SUCCESS;
    }
    result = platform::regDeleteKey(platform::HKCR, path.c_str());
    return result == platform::ERROR_FILE_NOT_FOUND ? platform::ERROR_SUCCESS : result;
}

// True when HKCR\<progId>\CLSID names `clsid`: the ProgID still belongs to
// this class.
bool progIdNamesClass(std::string_view progId, const std::string& clsid) {
    schema::RegKey key;
    if (key.open(platform::HKCR, std::string(progId) + "\\CLSID", platform::KEY_READ) != platform::ERROR_SUCCESS) {
        return false;
    }
    std::string registered;
    return key.readString("", kGuidTextSize, &registered) == platform::ERROR_SUCCESS &&
           platform::sameGuid(registered, clsid);
}

}  // namespace

HRESULT registerComClass(const ComClassRegistration& registration, std::string_view modulePath) {
    std::string clsid;
    if (!platform::canonicalGuid(registration.clsid, &clsid) || registration.progId.empty() ||
        registration.versionIndependentProgId.empty()) {
        return platform::SELFREG_E_CLASS;
    }
    const std::string progId(registration.progId);
    const std::string independent(registration.versionIndependentProgId);
    const std::string description(registration.description);
    const std::string classKey = "CLSID\\" + clsid;
    const ValueWrite writes[] = {
        {progId, "", description},
        {progId + "\\CLSID", "", clsid},
        {independent, "", description},
        {independent + "\\CLSID", "", clsid},
        {independent + "\\CurVer", "", progId},
        {classKey, "", description},
        {classKey + "\\ProgID", "", progId},
        {classKey + "\\VersionIndependentProgID", "", independent},
        {classKey + "\\InprocServer32", "", std::string(modulePath)},
        {classKey + "\\InprocServer32", "ThreadingModel", std::string(registration.threadingModel)},
        {classKey + "\\Programmable", nullptr, {}},
    };
    for (const ValueWrite& write : writes) {
        schema::RegKey key;
        LONG result = key.create(platform::HKCR, write.key);
        if (result == platform::ERROR_SUCCESS && write.name != nullptr) {
            result = key.writeString(write.name, write.data);
        }
        if (result != platform::ERROR_SUCCESS) {
            key.close();
            unregisterComClass(registration);
            return platform::hresultFromWin32(result);
        }
    }
    return platform::S_OK;
}

HRESULT unregisterComClass(const ComClassRegistration& registration) {
    std::string clsid;
    if (!platform::canonicalGuid(registration.clsid, &clsid)) {
        return platform::SELFREG_E_CLASS;
    }
    const std::string classKey = "CLSID\\" + clsid;
    const std::string progId(registration.progId);
    const std::string independent(registration.versionIndependentProgId);
    // Decided before anything is removed: the ProgID keys' CLSID values are
    // the only proof that they are this class's.
    const bool ownsProgId = !progId.empty() && progIdNamesClass(progId, clsid);
    const bool ownsIndependent = !independent.empty() && progIdNamesClass(independent, clsid);

    LONG result = removeValuesAndEmptyKey(classKey + "\\InprocServer32", {"", "ThreadingModel"});
    if (result == platform::ERROR_SUCCESS) {
        result = removeValuesAndEmptyKey(classKey + "\\ProgID", {""});
    }
    if (result == platform::ERROR_SUCCESS) {
        result = removeValuesAndEmptyKey(classKey + "\\VersionIndependentProgID", {""});
    }
    if (result == platform::ERROR_SUCCESS) {
        result = removeValuesAndEmptyKey(classKey + "\\Programmable", {});
    }
    if (result == platform::ERROR_SUCCESS) {
        result = removeValuesAndEmptyKey(classKey, {""});
    }
    if (result == platform::ERROR_SUCCESS && ownsProgId) {
        result = removeValuesAndEmptyKey(progId + "\\CLSID", {""});
        if (result == platform::ERROR_SUCCESS) {
            result = removeValuesAndEmptyKey(progId, {""});
        }
    }
    if (result == platform::ERROR_SUCCESS && ownsIndependent) {
        result = removeValuesAndEmptyKey(independent + "\\CLSID", {""});
        if (result == platform::ERROR_SUCCESS) {
            result = removeValuesAndEmptyKey(independent + "\\CurVer", {""});
        }
        if (result == platform::ERROR_SUCCESS) {
            result = removeValuesAndEmptyKey(independent, {""});
        }
    }
    return platform::hresultFromWin32(result);
}

}  // namespace common
