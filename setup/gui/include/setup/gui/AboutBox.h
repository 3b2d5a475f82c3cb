#pragma once
#include <QDialog>

namespace setup::gui {

// "About Tessel OPOS ADK".
class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);
};

}  // namespace setup::gui
