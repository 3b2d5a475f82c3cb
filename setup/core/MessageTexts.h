#pragma once
// The setup tool's fixed message texts, exactly as installers have always
// seen them (spelling included: scripts and support notes quote them).
namespace setup::text {

// Adding and deleting devices.
inline constexpr const char* AddPrinterFirst = "Please,add printer!";
inline constexpr const char* SelectPrinter = "Please,select a printer!";
inline constexpr const char* SelectPort = "Please,select port!";
inline constexpr const char* InputName = "Please,input a Logical Device Name!";
inline constexpr const char* NameOccupied = "Logical Device Name '%s' already occupy!";
inline constexpr const char* HasDrawer = "%s already has a cashDrawer of %s";
inline constexpr const char* InstallPrinterFail = "Install printer fail!";
inline constexpr const char* InstallDrawerFail = "Install cashDrawer fail!";
inline constexpr const char* InstallDeviceFail = "Install device fail!";
inline constexpr const char* WriteInformationFail = "Write information fail!";
inline constexpr const char* DeleteOneName = "Are you sure delete the %s device?";
inline constexpr const char* DeleteSeveralNames =
    "Are you sure delete the %s device?\nOK:Dlelte the device;\nCancel:Delete the current logic device name.";
inline constexpr const char* OpenFail = "Open fail!";
inline constexpr const char* DeleteFail = "Delete fail!";

// Port settings and port ranges.
inline constexpr const char* PortOccupied = "%s already occupy by %s";
inline constexpr const char* NetworkConflict =
    "This setting may cause in conflict with the printer %s.\n\nDevice with not be set to %s port.";
inline constexpr const char* CannotOpenRegistry = "Cann't open regedit!";
inline constexpr const char* CouldNotModify = "Could not modification!";
inline constexpr const char* ModifySuccess = "Modify success!";
inline constexpr const char* ComMaxBelowUse =
    "Currently using a COM port that is higher\nthan the specified maxinum value\ncan not set COM port maximun";
inline constexpr const char* LptMaxBelowUse =
    "Currently using a LPT port that is higher\nthan the specified maxinum value\ncan not set LPT port maximun";

// USB search.
inline constexpr const char* UsbLimit =
    "We only support 8 USB printers that is used at the same time,\nPlease remove the unused USB LDN that "
    "installe reviously,\notherwise you can't install the USB port printer!";
inline constexpr const char* UsbOnlyOne =
    "When you config the USB port printer,\nMake sure that only one USB port printer is on-line!";
inline constexpr const char* UsbNotFound = "Searching USB port printers could not be found!";
inline constexpr const char* UsbPowerCycle = "Please Power off and power on the printer";
inline constexpr const char* LoadUsbLinkFail = "Loading usblink.dll fail!";

// Device test.
inline constexpr const char* PrinterOpenError = "Error Occurred in calling the Open method:\nOpenResult = %d";
inline constexpr const char* DrawerOpenError = "Error occurred in calling the Open method:\nOpenResult = %d";
inline constexpr const char* ClaimError = "Error occurred in calling the ClaimeDevice method:\nClaim(3000) = %d";
inline constexpr const char* EnableError = "Error occurred in calling the SetDeviceEnable method:\nResultCode = %d";

// Parallel port driver service.
inline constexpr const char* DriverInstallFail =
    "An error occurred during the install parallel driver into the system.\nPlease install the CORVANE OPOS into "
    "the system over again!";
inline constexpr const char* StartServiceFail = "Start Service failed!";

// Texts of our own, for cases the original window could not reach (a typed
// command line can name anything; a list box cannot).
inline constexpr const char* NameTooLong = "Logical Device Name '%s' is longer than 15 characters!";
inline constexpr const char* UnknownModel = "'%s' is not a printer model!";
inline constexpr const char* UnknownDevice = "'%s' is not a device of this setup!";
inline constexpr const char* UnknownPrinter = "'%s' is not a printer of this setup!";
inline constexpr const char* UnknownDrawer = "'%s' is not a cash drawer of this setup!";
inline constexpr const char* NotAdministrator = "Only an administrator can change the device configuration!";
inline constexpr const char* PortNotOffered = "Port '%s' is not offered; check the port range setting!";
inline constexpr const char* NameNotOfDevice = "Logical Device Name '%s' does not belong to %s!";
inline constexpr const char* UsbPortFixed = "The port of the USB printer %s cannot be changed!";
inline constexpr const char* ValueNotOffered = "%s is not offered for %s!";
inline constexpr const char* ComMaxRange = "Please enter an integer between 1 and 40.";
inline constexpr const char* LptMaxRange = "Please enter an integer between 1 and 4.";
inline constexpr const char* NoControlObject =
    "The OPOS control object for %s is not installed; the device cannot be tested.";

}  // namespace setup::text
