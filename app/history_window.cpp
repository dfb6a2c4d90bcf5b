// SPDX-License-Identifier: MIT
#include "app/history_window.hpp"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QSplitter>
#include <QVBoxLayout>

#include "app/factories.hpp"
#include "app/strings.hpp"
#include "common/text/printable.hpp"

namespace zal::gui {

// Runs recorded on this computer, from devices and packages: shown as plain
// text with their control characters escaped.

HistoryWindow::HistoryWindow(updater::history_t& history, QWidget* parent) : QDialog(parent), history_(history) {
    setWindowTitle(Messages::tr("History"));
    setObjectName(QStringLiteral("HistoryWindow"));

    table_ = new QTableWidget(0, 4);
    table_->setHorizontalHeaderLabels(
        {Messages::tr("Date"), Messages::tr("Device"), Messages::tr("Version"), Messages::tr("Result")});
    table_->setAccessibleName(Messages::tr("Updates made on this computer"));
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setTabKeyNavigation(false);  // Tab goes on to the log, as elsewhere
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    connect(table_, &QTableWidget::currentCellChanged, this, [this](int row) { showLogOf(row); });

    log_ = new QPlainTextEdit;
    log_->setReadOnly(true);
    log_->setLineWrapMode(QPlainTextEdit::NoWrap);
    log_->setAccessibleName(Messages::tr("Log of the selected update"));
    log_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(table_);
    splitter->addWidget(log_);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    saveReport_ = buttons->addButton(Messages::tr("Save Support Report…"), QDialogButtonBox::ActionRole);
    saveReport_->setAutoDefault(false);
    connect(saveReport_, &QPushButton::clicked, this, &HistoryWindow::saveReportRequested);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* where = new QLabel(Messages::tr("Kept in %1").arg(QString::fromStdString(history.path())));
    where->setTextFormat(Qt::PlainText);
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    where->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addWidget(where);
    layout->addWidget(buttons);
    resize(720, 520);
}

QString HistoryWindow::resultText(const updater::run_record_t& run) {
    const run_end_text_t text = run_end_text(run.outcome, run.failure);
    return text.reason ? engine_text(text.english).arg(engine_text(text.reason)) : engine_text(text.english);
}

void HistoryWindow::reload() {
    const result_t<std::vector<updater::run_record_t>> found =
        history_.runs({.kind = std::nullopt, .limit = updater::history_t::kept_runs});
    ids_.clear();
    if (!found) {
        table_->setRowCount(0);
        log_->setPlainText(said({history_unreadable, {found.failure().text}}));
        return;
    }
    const std::vector<updater::run_record_t>& runs = *found;
    table_->setRowCount(int(runs.size()));
    for (int row = 0; row < int(runs.size()); ++row) {
        const updater::run_record_t& r = runs[std::size_t(row)];
        ids_.push_back(r.id);
        const QDateTime started = QDateTime::fromMSecsSinceEpoch(r.started_ms);
        const std::optional<kind_t> kind = kind_of_word(r.kind);
        QString device = kind ? QString::fromLatin1(kind_name(*kind)) : Messages::tr("Not found");
        if (!r.usb_port.empty()) device = Messages::tr("%1 (USB port %2)").arg(device, printable_text(r.usb_port));
        const QStringList cells{QLocale(language()).toString(started, QLocale::ShortFormat), device,
                                printable_text(r.version), resultText(r)};
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            item->setToolTip(plain_tool_tip(cells[column]));  // a long result is cut in its cell
            table_->setItem(row, column, item);
        }
    }
    table_->resizeColumnsToContents();
    table_->horizontalHeader()->setStretchLastSection(true);
    if (runs.empty()) {
        log_->setPlainText(engine_text(history_empty));
        return;
    }
    table_->setCurrentCell(0, 0);
    showLogOf(0);
}

void HistoryWindow::showLogOf(int row) {
    if (row < 0 || row >= int(ids_.size())) return;
    const result_t<std::optional<updater::run_record_t>> found = history_.run(ids_[std::size_t(row)]);
    if (!found) {
        log_->setPlainText(said({history_unreadable, {found.failure().text}}));
        return;
    }
    const std::optional<updater::run_record_t>& run = *found;
    if (!run) return;
    QStringList lines;
    std::size_t from = 0;
    while (from < run->log.size()) {
        std::size_t end = run->log.find('\n', from);
        if (end == std::string::npos) end = run->log.size();
        lines << printable_text(run->log.substr(from, end - from));
        from = end + 1;
    }
    if (!run->message.empty()) lines << QString() << printable_text(run->message);
    log_->setPlainText(lines.join(u'\n'));
}

}  // namespace zal::gui
