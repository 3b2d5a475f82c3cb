// Each module's embedded type library against the published interface: the
// names, slot order (DISPIDs) and parameter names clients bind to, and the
// module's own dispatch numbering the same methods the same way (the COM
// side forwards by DISPID, so a difference would call the wrong method).
#include "ComServerSupport.h"

#include <string>
#include <cstring>
#include <ostream>
#include <vector>

namespace comtest {
namespace {

struct Method {
    const wchar_t* name;
    std::vector<std::wstring> parameters;
};

const std::vector<Method> kPrinterMethods = {
    {L"CheckHealth", {L"Level", L"pRC"}},
    {L"ClaimDevice", {L"Timeout", L"pRC"}},
    {L"ClearInput", {L"pRC"}},
    {L"ClearOutput", {L"pRC"}},
    {L"CloseService", {L"pRC"}},
    {L"COFreezeEvents", {L"Freeze", L"pRC"}},
    {L"DirectIO", {L"Command", L"pData", L"pString", L"pRC"}},
    {L"GetOpenResult", {L"pRC"}},
    {L"OpenService", {L"DeviceClass", L"DeviceName", L"pDispatch", L"pRC"}},
    {L"ReleaseDevice", {L"pRC"}},
    {L"GetPropertyNumber", {L"PropIndex", L"pNumber"}},
    {L"SetPropertyNumber", {L"PropIndex", L"Number"}},
    {L"GetPropertyString", {L"PropIndex", L"pString"}},
    {L"SetPropertyString", {L"PropIndex", L"String"}},
    {L"BeginInsertion", {L"Timeout", L"pRC"}},
    {L"BeginRemoval", {L"Timeout", L"pRC"}},
    {L"CutPaper", {L"Percentage", L"pRC"}},
    {L"EndInsertion", {L"pRC"}},
    {L"EndRemoval", {L"pRC"}},
    {L"PrintBarCode", {L"Station", L"Data", L"Symbology", L"Height", L"Width", L"Alignment", L"TextPosition", L"pRC"}},
    {L"PrintBitmap", {L"Station", L"FileName", L"Width", L"Alignment", L"pRC"}},
    {L"PrintImmediate", {L"Station", L"Data", L"pRC"}},
    {L"PrintNormal", {L"Station", L"Data", L"pRC"}},
    {L"PrintTwoNormal", {L"Stations", L"Data1", L"Data2", L"pRC"}},
    {L"RotatePrint", {L"Station", L"Rotation", L"pRC"}},
    {L"SetBitmap", {L"BitmapNumber", L"Station", L"FileName", L"Width", L"Alignment", L"pRC"}},
    {L"SetLogo", {L"Location", L"Data", L"pRC"}},
    {L"TransactionPrint", {L"Station", L"Control", L"pRC"}},
    {L"ValidateData", {L"Station", L"Data", L"pRC"}},
    {L"ChangePrintSide", {L"Side", L"pRC"}},
    {L"MarkFeed", {L"Type", L"pRC"}},
    {L"Open", {L"DeviceClass", L"DeviceName", L"pDispatch", L"pRC"}},
    {L"Claim", {L"Timeout", L"pRC"}},
    {L"Release", {L"pRC"}},
    {L"Close", {L"pRC"}},
};

const std::vector<Method> kDrawerMethods = {
    {L"CheckHealth", {L"Level", L"pRC"}},
    {L"ClaimDevice", {L"Timeout", L"pRC"}},
    {L"ClearInput", {L"pRC"}},
    {L"ClearOutput", {L"pRC"}},
    {L"CloseService", {L"pRC"}},
    {L"DirectIO", {L"Command", L"pData", L"pString", L"pRC"}},
    {L"OpenService", {L"DeviceClass", L"DeviceName", L"pDispatch", L"pRC"}},
    {L"ReleaseDevice", {L"pRC"}},
    {L"openDrawer", {L"pRC"}},
    {L"waitForDrawerClose", {L"beepTimeout", L"beepFrequency", L"beepDuration", L"beepDelay", L"pRC"}},
    {L"GetPropertyNumber", {L"PropIndex", L"pNumber"}},
    {L"SetPropertyNumber", {L"PropIndex", L"Number"}},
    {L"GetPropertyString", {L"PropIndex", L"pString"}},
    {L"SetPropertyString", {L"PropIndex", L"String"}},
    {L"COFreezeEvents", {L"Freeze", L"pRC"}},
};

std::wstring text(BSTR value) {
    std::wstring copy = value == nullptr ? L"" : value;
    ::SysFreeString(value);
    return copy;
}

struct Case {
    const ServerModule* module;
    const std::vector<Method>* methods;
};

// The module's file name in the test's name.
void PrintTo(const Case& value, std::ostream* out) {
    *out << (value.module == &kReceipt ? "receiptso" : "drawerso");
}

class TypeLibraryTest : public ::testing::TestWithParam<Case> {};

TEST_P(TypeLibraryTest, NamesSlotsAndParametersMatchThePublishedInterfaceAndTheModulesOwnDispatch) {
    const ServerModule& module = *GetParam().module;
    const std::wstring path = modulePath(module);
    ASSERT_FALSE(path.empty());

    ITypeLib* library = nullptr;
    ASSERT_EQ(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library), S_OK);
    BSTR name = nullptr;
    BSTR doc = nullptr;
    ASSERT_EQ(library->GetDocumentation(-1, &name, &doc, nullptr, nullptr), S_OK);
    EXPECT_EQ(text(name), module.library);
    EXPECT_EQ(text(doc), module.libraryText);

    // The coclass's default interface, in its dispatch view (what
    // IDispatch clients see) and its vtable view (the parameter names).
    CLSID clsid;
    const std::wstring clsidText(module.clsid, module.clsid + std::strlen(module.clsid));
    ASSERT_EQ(::CLSIDFromString(clsidText.c_str(), &clsid), S_OK);
    ITypeInfo* coclass = nullptr;
    ASSERT_EQ(library->GetTypeInfoOfGuid(clsid, &coclass), S_OK);
    HREFTYPE reference = 0;
    ITypeInfo* dispatchView = nullptr;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &reference), S_OK);
    ASSERT_EQ(coclass->GetRefTypeInfo(reference, &dispatchView), S_OK);
    ASSERT_EQ(dispatchView->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(text(name), module.interfaceName);
    ITypeInfo* vtableView = nullptr;
    ASSERT_EQ(dispatchView->GetRefTypeOfImplType(-1, &reference), S_OK);
    ASSERT_EQ(dispatchView->GetRefTypeInfo(reference, &vtableView), S_OK);

    auto getObject = reinterpret_cast<platform::DllGetObjectFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(module.file), platform::kDllGetObjectExport)));
    ASSERT_NE(getObject, nullptr);
    platform::IDispatch* own = nullptr;
    ASSERT_EQ(getObject(module.clsid, &own), S_OK);

    const std::vector<Method>& methods = *GetParam().methods;
    for (std::size_t slot = 0; slot < methods.size(); ++slot) {
        const Method& method = methods[slot];
        SCOPED_TRACE(method.name);
        std::wstring copy = method.name;
        LPOLESTR names[] = {copy.data()};
        MEMBERID id = DISPID_UNKNOWN;
        ASSERT_EQ(dispatchView->GetIDsOfNames(names, 1, &id), S_OK);
        EXPECT_EQ(id, static_cast<MEMBERID>(slot + 1)) << "slot order";
        platform::DISPID ownId = DISPID_UNKNOWN;
        EXPECT_EQ(own->GetIDsOfNames(method.name, &ownId), S_OK);
        EXPECT_EQ(ownId, id) << "the module's own dispatch";

        BSTR found[16] = {};
        UINT count = 0;
        ASSERT_EQ(vtableView->GetNames(id, found, 16, &count), S_OK);
        std::vector<std::wstring> parameters;
        for (UINT i = 0; i < count; ++i) {
            std::wstring value = text(found[i]);
            if (i > 0) {
                parameters.push_back(std::move(value));
            }
        }
        EXPECT_EQ(parameters, method.parameters);
    }
    own->Release();
    vtableView->Release();
    dispatchView->Release();
    coclass->Release();
    library->Release();
}

INSTANTIATE_TEST_SUITE_P(Modules, TypeLibraryTest,
                         ::testing::Values(Case{&kReceipt, &kPrinterMethods}, Case{&kDrawer, &kDrawerMethods}),
                         [](const auto& info) { return info.index == 0 ? "receiptso" : "drawerso"; });

}  // namespace
}  // namespace comtest
