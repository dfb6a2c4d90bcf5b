// SPDX-License-Identifier: MIT
// The application: its update history, the support report and the notice
// before going back to older firmware.
#include "app/application.hpp"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTimer>

#include "app/strings.hpp"
#include "common/hid_io/hid_io.hpp"
#include "common/midi_io/midi_io.hpp"
#include "common/session/logind_inhibitor.hpp"
#include "common/text/printable.hpp"
#include "updater/package_verdict.hpp"
#include "updater/support_report.hpp"

namespace zal::gui {

void Application::showHistory() {
    if (!historyWindow_) {
        historyWindow_ = new HistoryWindow(history_, window_.get());
        historyWindow_->setAttribute(Qt::WA_DeleteOnClose);
        connect(historyWindow_, &HistoryWindow::saveReportRequested, this, &Application::saveSupportReport);
        window_->shareKeys(historyWindow_);
    }
    historyWindow_->reload();
    historyWindow_->show();
    historyWindow_->raise();
    historyWindow_->activateWindow();
    historyWindow_->table()->setFocus();
}

void Application::saveSupportReport() {
    QWidget* parent =
        historyWindow_ && historyWindow_->isVisible() ? static_cast<QWidget*>(historyWindow_.data()) : window_.get();
    QFileDialog* panel = save_text_panel(parent, QStringLiteral("ventaro-update-report.txt"));
    QObject::connect(panel, &QFileDialog::finished, this, [this, panel](int result) {
        if (result != QDialog::Accepted || panel->selectedFiles().isEmpty()) return;
        const QString path = panel->selectedFiles().first();
        QTimer::singleShot(0, this, [this, path] {  // after accept() has returned, as for opening
            if (writeSupportReport(path))
                showSaved(Messages::tr("Support report saved"), path);
            else
                showAlert(Messages::tr("The support report could not be saved"), QDir::toNativeSeparators(path));
        });
    });
    panel->open();
}

bool Application::writeSupportReport(const QString& path) {
    // The connected devices are listed through the layers a run uses.
    hid_io::backend().init();
    midi::io::init("VentaroUpdate");
    updater::report_facts_t facts{.program = "ventaro-update " ZAL_VERSION,
                                  .qt_version = qVersion(),
                                  .inhibitors = {"logind: " + session::logind_support()},
                                  .trusted_key_ids = {}};
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const bool portal = bus.isConnected() && bus.interface() &&
                        bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.portal.Desktop"));
    facts.inhibitors.push_back(std::string("desktop portal: ") + (!bus.isConnected() ? "no session bus"
                                                                  : portal           ? "available"
                                                                                     : "not running"));
    for (const public_key_t& key : settings_.trust.keys) facts.trusted_key_ids.push_back(key_id_text(key.key_id));
    const std::string report = updater::support_report(history_, facts);
    if (!updater::write_report(QFile::encodeName(path).toStdString(), report)) return false;
    std::fprintf(stderr, "Support report written to %s.\n", printable(path.toStdString()).c_str());
    return true;
}

void Application::checkOlderFirmware() {
    if (!window_) return;
    if (!hasUpdate_) return window_->setNotice(QString());
    const updater::package_verdict_t verdict =
        updater::package_verdict(update_, trustFor(packageFromFeed_), false, &history_);
    window_->setNotice(verdict.older ? older_notice_text(verdict) : QString());
}

}  // namespace zal::gui
