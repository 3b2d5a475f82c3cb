#pragma once
// Driving tillsetup's window in tests: boxes recorded instead of shown,
// modal dialogs driven from inside their own event loop, controls found by
// their object names.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "setup/core/DeviceCreation.h"
#include "setup/gui/MessagePresenter.h"

namespace setupgui {

using setup::Message;
using setup::gui::MessagePresenter;

// Keeps every box the window would show; questions are answered from a
// queue (Cancel once it is empty).
class RecordingPresenter : public MessagePresenter {
public:
    void show(QWidget*, const Message& message) override { shown.push_back(message); }
    bool confirm(QWidget*, const Message& question) override {
        questions.push_back(question);
        if (answers.empty()) {
            return false;
        }
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::vector<std::string> texts() const {
        std::vector<std::string> all;
        for (const Message& message : shown) {
            all.push_back(message.text);
        }
        return all;
    }

    std::vector<Message> shown;
    std::vector<Message> questions;
    std::deque<bool> answers;
};

template <typename T>
T* need(const QObject& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
        throw std::runtime_error(std::string("no control named ") + name);
    }
    return found;
}

// Chooses an entry as the installer would: the choice and its signal.
inline void choose(QComboBox* combo, const QString& text) {
    const int index = combo->findText(text);
    if (index < 0) {
        throw std::runtime_error("no entry " + text.toStdString() + " in " + combo->objectName().toStdString());
    }
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

inline QStringList entries(const QComboBox* combo) {
    QStringList all;
    for (int i = 0; i < combo->count(); ++i) {
        all << combo->itemText(i);
    }
    return all;
}

// Drives the next modal dialog from inside its own event loop, then makes
// sure it is closed so that the command that opened it returns.
class ModalDriver {
public:
    explicit ModalDriver(std::function<void(QDialog&)> drive) : m_drive(std::move(drive)) {
        m_deadline.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start(5);
    }
    bool ran() const { return m_ran; }

private:
    void poll() {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) {
            if (m_deadline.hasExpired(5000)) {
                m_timer.stop();
            }
            return;
        }
        m_timer.stop();
        m_ran = true;
        try {
            m_drive(*dialog);
        } catch (const std::exception& error) {
            ADD_FAILURE() << error.what();
        }
        if (dialog->isVisible()) {
            dialog->reject();
        }
    }

    std::function<void(QDialog&)> m_drive;
    QTimer m_timer;
    QElapsedTimer m_deadline;
    bool m_ran = false;
};

inline std::string seedPrinter(const char* model, const std::string& port, const char* name, schema::DWORD baudrate = 9600,
                               schema::DWORD parity = schema::ParityNone) {
    setup::NewPrinter printer;
    printer.model = model;
    printer.port = port;
    printer.logicalName = name;
    printer.baudrate = baudrate;
    printer.parity = parity;
    const setup::CreatedDevice created = setup::createPrinter(printer);
    EXPECT_TRUE(created.success) << created.message.text;
    return created.deviceKeyName;
}

inline std::string seedDrawer(const std::string& printerKey, const char* name) {
    setup::DrawerChoice choice = setup::choosePrinterForDrawer(printerKey);
    EXPECT_TRUE(choice.success) << choice.message.text;
    choice.drawer.logicalName = name;
    const setup::CreatedDevice created = setup::createDrawer(choice.drawer);
    EXPECT_TRUE(created.success) << created.message.text;
    return created.deviceKeyName;
}

// Selects the tree item of a device key, as a click on it does.
inline void selectDevice(QWidget& window, const std::string& key) {
    auto* tree = need<QTreeWidget>(window, "deviceTree");
    const QList<QTreeWidgetItem*> found =
        tree->findItems(QString::fromStdString(key), Qt::MatchExactly | Qt::MatchRecursive);
    if (found.isEmpty()) {
        throw std::runtime_error("no tree item " + key);
    }
    tree->setCurrentItem(found.front());
}

}  // namespace setupgui
