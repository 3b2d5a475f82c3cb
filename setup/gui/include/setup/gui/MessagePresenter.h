#pragma once
// How the window shows the core's messages. Every box goes through one
// presenter so that the whole window can be driven without a person to
// press OK.
#include "setup/core/Outcome.h"

class QWidget;

namespace setup::gui {

class MessagePresenter {
public:
    virtual ~MessagePresenter() = default;
    // A box with OK, captioned kMessageCaption, with the message's icon.
    virtual void show(QWidget* parent, const Message& message) = 0;
    // An OK/Cancel question; true for OK.
    virtual bool confirm(QWidget* parent, const Message& question) = 0;

    // Shows the outcome's message, if it has one; returns its success.
    bool report(QWidget* parent, const Outcome& outcome);
};

// Modal QMessageBoxes.
class MessageBoxPresenter : public MessagePresenter {
public:
    void show(QWidget* parent, const Message& message) override;
    bool confirm(QWidget* parent, const Message& question) override;
};

}  // namespace setup::gui
