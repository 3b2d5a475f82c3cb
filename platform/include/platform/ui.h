#pragma once
// The modal dialogs a service object shows on the application's behalf (the
// interactive health check), and the console query a host needs to decide
// whether a person is there to answer one.
//
// A host may register a provider (the setup tool's window, the
// command-line host's terminal prompt) that shows the service object's
// description and lets the user press its buttons. Without a provider,
// Windows shows the system's own modal dialog (DialogBox with a template
// built from the description, owned by the calling thread's active window)
// when the process can show windows at all; otherwise, and always on POSIX,
// the dialog runs headless: Start is pressed once and the dialog closes, so
// an unattended check still exercises the device. A host or test that must
// never wait for a person registers headlessDialog as its provider.
#include <functional>
#include <string>
#include <vector>

namespace platform {

// What a service object's dialog shows. The provider lays it out as it
// likes; the texts are shown as given.
struct DialogDescription {
    std::string title;               // the caption
    std::vector<std::string> texts;  // static texts, top to bottom
    std::string startButton;         // the button that runs the check
    std::string closeButton;         // the button that ends the dialog
    std::string resultLabel;         // the label of the read-only result field
};

// Runs the service object's Start action on the calling thread and returns
// the text it puts into the result field. May be called any number of times
// while the dialog is shown, never after the provider returned.
using DialogStart = std::function<std::string()>;

// Shows `description` modally and returns when the user closes the dialog.
// Runs on the thread that called runModalDialog; must not throw.
using DialogProvider = std::function<void(const DialogDescription& description, const DialogStart& pressStart)>;

// Registers the host's provider, replacing the one before (an empty function
// goes back to headless dialogs), and returns the one it replaced.
// Thread-safe; a dialog already running keeps the provider it started with.
DialogProvider setDialogProvider(DialogProvider provider);

// DialogBox for the service objects: shows the dialog through the host's
// provider, else as the system's dialog, else headless (above), and returns
// once it is closed. Blocks for as long as the user keeps the dialog open.
// `onStart` runs on the calling thread for every press of Start and its text
// goes into the result field; the caller keeps whatever else it needs.
void runModalDialog(const DialogDescription& description, const DialogStart& onStart);

// The headless dialog as a provider: presses Start once and closes.
void headlessDialog(const DialogDescription& description, const DialogStart& pressStart);

// _isatty on standard input: true when a person can answer a prompt there.
// Never blocks.
bool standardInputIsTerminal();

}  // namespace platform
