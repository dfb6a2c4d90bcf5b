// SPDX-License-Identifier: MIT
#pragma once

// The update history window: every run recorded on this computer, newest
// first (date, device, version, result), and the selected run's log.

#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

#include <cstdint>
#include <vector>

#include "updater/history.hpp"

namespace zal::gui {

class HistoryWindow : public QDialog {
    Q_OBJECT

public:
    explicit HistoryWindow(updater::history_t& history, QWidget* parent = nullptr);

    // Reads the history again; the newest run is selected.
    void reload();

    QTableWidget* table() const { return table_; }
    QPlainTextEdit* logView() const { return log_; }
    QPushButton* saveReportButton() const { return saveReport_; }

    // "Succeeded", "Failed (the device stopped answering)", ...: a run's result in the user's language.
    static QString resultText(const updater::run_record_t& run);

signals:
    void saveReportRequested();

private:
    void showLogOf(int row);

    updater::history_t& history_;
    std::vector<int64_t> ids_;  // by row
    QTableWidget* table_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
    QPushButton* saveReport_ = nullptr;
};

}  // namespace zal::gui
