// The system dialog a service object's interactive check shows when the
// host registered no provider. The test presses the buttons itself: a
// thread hook sees the dialog come up and posts the presses to its queue,
// so the modal loop runs them in order and nothing waits for a person.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui.h"

namespace {

const platform::DialogDescription kDialog{
    "CheckHealth Interactive", {"Push The [Start] Button To  Start", "CheckHealth Method"}, "Start", "Close", "Result"};

struct Control {
    std::string className;
    std::string text;
    int id = 0;
    LONG style = 0;
};

// What the hook saw of the dialog, and the presses it queued.
struct Shown {
    HWND dialog = nullptr;
    std::string caption;
    std::vector<Control> controls;
    int startPresses = 2;
};
Shown g_shown;

std::string windowText(HWND window) {
    char text[256] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

void pressButton(HWND dialog, const char* text) {
    const HWND button = ::FindWindowExA(dialog, nullptr, "Button", text);
    ASSERT_NE(button, nullptr) << text;
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
}

LRESULT CALLBACK afterWindowProcedure(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_INITDIALOG) {
        g_shown.dialog = call->hwnd;
        g_shown.caption = windowText(call->hwnd);
        for (HWND child = ::GetWindow(call->hwnd, GW_CHILD); child != nullptr;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            char className[64] = {};
            ::GetClassNameA(child, className, sizeof className);
            g_shown.controls.push_back(
                {className, windowText(child), ::GetDlgCtrlID(child), ::GetWindowLongA(child, GWL_STYLE)});
        }
        for (int press = 0; press < g_shown.startPresses; ++press) {
            pressButton(call->hwnd, "Start");
        }
        pressButton(call->hwnd, "Close");
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL CALLBACK cancelWindow(HWND window, LPARAM) {
    ::PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

// Ends a dialog nobody closed, so that a fault shows as a failure rather
// than a hung test.
class Watchdog {
public:
    explicit Watchdog(DWORD threadId)
        : m_thread([this, threadId] {
              std::unique_lock lock(m_mutex);
              if (!m_done.wait_for(lock, std::chrono::seconds(20), [this] { return m_finished; })) {
                  m_fired = true;
                  ::EnumThreadWindows(threadId, cancelWindow, 0);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        m_thread.join();
    }
    bool fired() {
        std::lock_guard lock(m_mutex);
        return m_fired;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    bool m_fired = false;
    std::thread m_thread;
};

class SystemDialog : public ::testing::Test {
protected:
    void SetUp() override {
        g_shown = Shown{};
        m_hook = ::SetWindowsHookExA(WH_CALLWNDPROCRET, afterWindowProcedure, nullptr, ::GetCurrentThreadId());
        ASSERT_NE(m_hook, nullptr);
    }
    void TearDown() override {
        ::UnhookWindowsHookEx(m_hook);
        platform::setDialogProvider({});
    }

private:
    HHOOK m_hook = nullptr;
};

TEST_F(SystemDialog, WithoutAProviderTheSystemDialogShowsTheDescriptionAndEachStartFillsTheResult) {
    std::vector<std::string> resultBeforePress;
    {
        Watchdog watchdog(::GetCurrentThreadId());
        platform::runModalDialog(kDialog, [&] {
            const HWND result = ::FindWindowExA(g_shown.dialog, nullptr, "Edit", nullptr);
            resultBeforePress.push_back(result == nullptr ? "(no field)" : windowText(result));
            return "OPOS_SUCCESS " + std::to_string(resultBeforePress.size());
        });
        ASSERT_FALSE(watchdog.fired()) << "the dialog did not close on its Close button";
    }
    EXPECT_EQ(resultBeforePress, (std::vector<std::string>{"", "OPOS_SUCCESS 1"}));
    EXPECT_EQ(g_shown.caption, "CheckHealth Interactive");
    ASSERT_EQ(g_shown.controls.size(), 6u);
    // Start and Close answer to Enter and Escape as IDOK and IDCANCEL.
    const struct {
        const char* className;
        const char* text;
        int id;
    } expected[] = {{"Static", "Push The [Start] Button To  Start", 0xFFFF},
                    {"Static", "CheckHealth Method", 0xFFFF},
                    {"Button", "Start", IDOK},
                    {"Button", "Close", IDCANCEL},
                    {"Static", "Result", 0xFFFF},
                    {"Edit", "", 202}};
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_STRCASEEQ(g_shown.controls[i].className.c_str(), expected[i].className) << i;
        EXPECT_EQ(g_shown.controls[i].text, expected[i].text) << i;
        EXPECT_EQ(g_shown.controls[i].id, expected[i].id) << i;
    }
    EXPECT_EQ(g_shown.controls[2].style & 0x0F, BS_DEFPUSHBUTTON) << "Enter presses Start";
    EXPECT_NE(g_shown.controls[5].style & ES_READONLY, 0) << "the result field is read-only";
}

TEST_F(SystemDialog, ClosingAtOnceRunsNoCheckAndAProviderOrHeadlessHostShowsNoSystemDialog) {
    g_shown.startPresses = 0;
    int starts = 0;
    {
        Watchdog watchdog(::GetCurrentThreadId());
        platform::runModalDialog(kDialog, [&] { return std::to_string(++starts); });
        ASSERT_FALSE(watchdog.fired());
    }
    EXPECT_EQ(starts, 0);
    ASSERT_NE(g_shown.dialog, nullptr);

    g_shown = Shown{};
    platform::setDialogProvider(platform::headlessDialog);
    platform::runModalDialog(kDialog, [&] { return std::to_string(++starts); });
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(g_shown.dialog, nullptr);
}

}  // namespace
