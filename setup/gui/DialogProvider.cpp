#include "setup/gui/DialogProvider.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

namespace setup::gui {

HealthCheckDialog::HealthCheckDialog(const platform::DialogDescription& description, platform::DialogStart pressStart,
                                     QWidget* parent)
    : QDialog(parent), m_pressStart(std::move(pressStart)), m_result(new QLineEdit(this)) {
    setObjectName(QStringLiteral("healthCheckDialog"));
    setWindowTitle(QString::fromStdString(description.title));
    auto* layout = new QVBoxLayout(this);
    int line = 0;
    for (const std::string& text : description.texts) {
        auto* label = new QLabel(QString::fromStdString(text), this);
        label->setObjectName(QStringLiteral("text%1").arg(line++));
        layout->addWidget(label);
    }
    m_result->setObjectName(QStringLiteral("resultEdit"));
    m_result->setReadOnly(true);
    m_result->setMinimumWidth(240);
    auto* result = new QFormLayout;
    result->addRow(QString::fromStdString(description.resultLabel), m_result);
    layout->addLayout(result);
    auto* startButton = new QPushButton(QString::fromStdString(description.startButton), this);
    startButton->setObjectName(QStringLiteral("startButton"));
    auto* closeButton = new QPushButton(QString::fromStdString(description.closeButton), this);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(startButton);
    buttons->addWidget(closeButton);
    layout->addLayout(buttons);
    connect(startButton, &QPushButton::clicked, this, &HealthCheckDialog::start);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

void HealthCheckDialog::start() {
    // The check may take the printer's full time-out; the wait cursor says
    // the window has not hung.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::string result = m_pressStart ? m_pressStart() : std::string();
    QApplication::restoreOverrideCursor();
    m_result->setText(QString::fromStdString(result));
}

DialogProviderRegistration::DialogProviderRegistration()
    : m_previous(platform::setDialogProvider(
          [](const platform::DialogDescription& description, const platform::DialogStart& pressStart) {
              // Widgets live on the GUI thread only. A service object that
              // checks from a thread of its own gets the headless dialog:
              // Start pressed once.
              if (qApp == nullptr || QThread::currentThread() != qApp->thread()) {
                  pressStart();
                  return;
              }
              // The service object called in through a C boundary: nothing
              // may escape back into it.
              try {
                  HealthCheckDialog dialog(description, pressStart, QApplication::activeWindow());
                  dialog.exec();
              } catch (...) {
              }
          })) {}

DialogProviderRegistration::~DialogProviderRegistration() { platform::setDialogProvider(std::move(m_previous)); }

}  // namespace setup::gui
