#include "SystemDialog.h"

#include <windows.h>

#include <exception>

#include "DialogTemplate.h"

namespace platform::detail {

namespace {

// A process in a window station that no one sees (a service, a scheduled
// task) has no one to press a button: its dialog runs headless instead.
bool processCanShowWindows() {
    USEROBJECTFLAGS flags{};
    const HWINSTA station = ::GetProcessWindowStation();
    return station != nullptr &&
           ::GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, nullptr) != 0 &&
           (flags.dwFlags & WSF_VISIBLE) != 0;
}

INT_PTR CALLBACK dialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == kDialogStartId) {
            const auto* onStart = reinterpret_cast<const DialogStart*>(::GetWindowLongPtrA(dialog, DWLP_USER));
            // Nothing may unwind through the system's message loop.
            std::string result;
            try {
                result = (*onStart)();
            } catch (const std::exception& failure) {
                result = failure.what();
            } catch (...) {
                result.clear();
            }
            ::SetDlgItemTextA(dialog, kDialogResultId, result.c_str());
            return TRUE;
        }
        if (LOWORD(wParam) == kDialogCloseId) {
            ::EndDialog(dialog, kDialogCloseId);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

bool runSystemDialog(const DialogDescription& description, const DialogStart& onStart) {
    if (!processCanShowWindows()) {
        return false;
    }
    const std::vector<WORD> dialogTemplate = buildDialogTemplate(description);
    const INT_PTR ended = ::DialogBoxIndirectParamA(
        ::GetModuleHandleA(nullptr), reinterpret_cast<const DLGTEMPLATE*>(dialogTemplate.data()), ::GetActiveWindow(),
        dialogProcedure, reinterpret_cast<LPARAM>(&onStart));
    // A dialog the system could not create at all: the check still runs.
    return ended != -1;
}

}  // namespace platform::detail
