// SPDX-License-Identifier: MIT
// The application: alerts, over the update window.
#include "app/application.hpp"

#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "app/factories.hpp"
#include "app/shell.hpp"
#include "app/strings.hpp"

namespace zal::gui {

void Application::presentAlert(QMessageBox* alert, std::function<void(QAbstractButton*)> didEnd) {
    disableControls();
    // Scheduled, so that the progress sheet has gone before the alert appears.
    QTimer::singleShot(0, alert, [this, alert, didEnd = std::move(didEnd)] {
        connect(alert, &QMessageBox::finished, this, [this, alert, didEnd](int) {
            QAbstractButton* clicked = alert->clickedButton();
            alert->deleteLater();
            didEnd(clicked);
            focusMainControl();
        });
        decorate_alert(alert);
        window_->shareKeys(alert);
        // A window-modal QMessageBox makes itself a Qt::Sheet, which Wayland
        // compositors show undecorated and unattached: a dialog it stays.
        alert->setWindowFlags((alert->windowFlags() & ~Qt::WindowType_Mask) | Qt::Dialog);
        alert->QWidget::setWindowModality(Qt::WindowModal);  // QMessageBox's own would make it a sheet again
        alert->open();
    });
}

void Application::showAlert(const QString& title, const QString& message, QMessageBox::Icon icon) {
    auto* alert = new QMessageBox(icon, app_name(QString()), title, QMessageBox::Ok, window_.get());
    alert->setInformativeText(message);
    alert->setWindowModality(Qt::WindowModal);
    presentAlert(alert, [this](QAbstractButton*) { enableControls(); });
}

void Application::showSaved(const QString& title, const QString& path) {
    QMessageBox* alert = saved_alert(title, path, window_.get());
    alert->setWindowModality(Qt::WindowModal);
    presentAlert(alert, [this](QAbstractButton*) { enableControls(); });
}

void Application::showFailureAlert(const QString& title, const QString& message, const QString& details,
                                   bool offerReport) {
    auto* alert =
        new QMessageBox(QMessageBox::Warning, app_name(QString()), title, QMessageBox::NoButton, window_.get());
    alert->setInformativeText(message);
    if (!details.isEmpty()) alert->setDetailedText(details);
    QPushButton* ok = alert->addButton(QMessageBox::Ok);
    QPointer<QPushButton> troubleshooting = alert->addButton(Messages::tr("Troubleshooting"), QMessageBox::HelpRole);
    QPointer<QPushButton> report;
    if (offerReport) report = alert->addButton(Messages::tr("Save Support Report…"), QMessageBox::ActionRole);
    alert->setDefaultButton(ok);
    alert->setEscapeButton(ok);
    alert->setWindowModality(Qt::WindowModal);
    presentAlert(alert, [this, troubleshooting, report](QAbstractButton* clicked) {
        enableControls();
        if (clicked && clicked == troubleshooting) showWebHelp();
        if (clicked && clicked == report) saveSupportReport();
    });
}

}  // namespace zal::gui
