// SPDX-License-Identifier: MIT
// The application: the maker's list of firmware, checked when the user asks
// or once a day, and the firmware it offers downloaded and opened.
#include "app/application.hpp"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <utility>

#include "app/strings.hpp"
#include "common/async/async.hpp"
#include "common/text/printable.hpp"

namespace zal::gui {

namespace {

constexpr qint64 day_s = 24 * 60 * 60;
const QString automatic_key = QStringLiteral("feed/check-automatically");
const QString last_check_key = QStringLiteral("feed/last-check");

// The user's own choices, apart from the administrator's settings file.
QSettings user_settings() { return QSettings(QStringLiteral("ventaro-update"), QStringLiteral("application")); }

// "2026-12-01" as the user's language writes a day; any other text unchanged.
std::string said_day(const std::string& text) {
    const QDate date = QDate::fromString(QString::fromStdString(text), Qt::ISODate);
    return date.isValid() ? QLocale(language()).toString(date, QStringLiteral("d MMMM yyyy")).toStdString() : text;
}

}  // namespace

// What a check or a download holds, shared with the thread it runs on, which
// may outlive the application: a history of its own, the same file.
struct Application::feed_job_t {
    feed_job_t(const std::string& history_path, const feed_source_t& feed, trust_t trust)
        : history(history_path),
          checker(feed.url, feed.keys, std::move(trust), history, updater::default_cache_folder()) {}
    updater::history_t history;
    updater::feed_checker_t checker;
    std::atomic<bool> cancel{false};
};

trust_t Application::trustFor(bool fromFeed) const {
    trust_t trust = settings_.trust;
    trust.require_signature = trust.require_signature || fromFeed;
    return trust;
}

std::shared_ptr<Application::feed_job_t> Application::startFeedJob() {
    feedJob_ = std::make_shared<feed_job_t>(history_.path(), settings_.feed, trustFor(true));
    window_->setUpdateEnabled(false);  // the package to install may be about to change
    updateActions();
    return feedJob_;
}

void Application::endFeedJob() {
    feedJob_.reset();
    enableControls();
    updateActions();
}

void Application::checkForFirmware(bool asked) {
    if (inUpdate_ || feedJob_) return;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    user_settings().setValue(last_check_key, now);
    const std::shared_ptr<feed_job_t> job = startFeedJob();
    async_on_own_thread("feed check", [self = QPointer<Application>(this), job, now, asked] {
        auto checked = std::make_shared<result_t<updater::check_t>>(job->checker.check(now));
        async_main([self, job, checked, asked] {
            if (self && self->feedJob_ == job) self->checkEnded(std::move(*checked), asked);
        });
    });
}

void Application::checkEnded(result_t<updater::check_t> checked, bool asked) {
    endFeedJob();
    scheduleAutomaticCheck();
    const QString title = Messages::tr("Could not check for firmware updates");
    if (!checked) {
        write_line(stderr, "Firmware check: " + checked.failure().text);
        if (asked)
            showFailureAlert(title, said(feed_failure_sentence(checked.failure())),
                             printable_text(checked.failure().text));
        return;
    }
    if (checked->refusal) {
        write_line(stderr, "Firmware check: " + fill(checked->refusal->english, checked->refusal->values));
        sentence_t refusal = *checked->refusal;
        for (std::string& value : refusal.values) value = said_day(value);
        if (asked) showFailureAlert(title, said(refusal), QString());
        return;
    }
    offered_.reset();
    for (const updater::offer_t& offer : checked->offers)
        if (newerThanOpen(offer.package)) {
            offered_ = offer.package;
            break;
        }
    if (offered_)
        showOffer(*offered_);
    else
        window_->feedBar()->hide();
    if (!asked) return;
    if (offered_) return askAboutAutomaticChecks();
    auto* alert = new QMessageBox(QMessageBox::Information, app_name(QString()), Messages::tr("No newer firmware"),
                                  QMessageBox::Ok, window_.get());
    alert->setInformativeText(checked->offers.empty()
                                  ? engine_text(feed_up_to_date)
                                  : Messages::tr("The open package holds the newest firmware the maker lists."));
    presentAlert(alert, [this](QAbstractButton*) {
        enableControls();
        askAboutAutomaticChecks();
    });
}

// The core offers only firmware newer than this computer installed.
bool Application::newerThanOpen(const updater::feed_package_t& package) const {
    const bool holds = package.kind == kind_t::ventaro ? update_.ventaro.has_value() : update_.ruvo.has_value();
    return !hasUpdate_ || !holds || updater::compare_versions(package.version, update_.version_string) > 0;
}

void Application::showOffer(const updater::feed_package_t& package) {
    auto notes = package.notes.find(language().toStdString());
    if (notes == package.notes.end()) notes = package.notes.find("en");
    QStringList lines;
    if (notes != package.notes.end())
        for (const QString& line : QString::fromStdString(notes->second).split(u'\n'))
            lines << printable_text(line.toStdString());
    window_->feedBar()->showOffer(said(offer_sentence(package.kind, package.version, said_day(package.release_date))),
                                  lines.join(u'\n'));
}

void Application::downloadFirmware() {
    if (inUpdate_ || feedJob_ || !offered_) return;
    const std::shared_ptr<feed_job_t> job = startFeedJob();
    window_->feedBar()->showProgress(0, offered_->size);
    async_on_own_thread("feed download", [self = QPointer<Application>(this), job, package = *offered_] {
        // A step a thousandth of the way: the main thread is not flooded.
        const auto progress = [self, job, shown = -1](uint64_t received, uint64_t total) mutable {
            const int step = total ? int(received * 1000 / total) : 0;
            if (step == std::exchange(shown, step)) return;
            async_main([self, job, received, total] {
                if (self && self->feedJob_ == job) self->window_->feedBar()->showProgress(received, total);
            });
        };
        auto downloaded =
            std::make_shared<result_t<updater::downloaded_t>>(job->checker.download(package, progress, job->cancel));
        async_main([self, job, downloaded] {
            if (self && self->feedJob_ == job) self->downloadEnded(std::move(*downloaded));
        });
    });
}

void Application::cancelDownload() {
    if (feedJob_) feedJob_->cancel = true;
}

void Application::downloadEnded(result_t<updater::downloaded_t> downloaded) {
    endFeedJob();
    if (!downloaded) {
        write_line(stderr, "Firmware download: " + downloaded.failure().text);
        showOffer(*offered_);
        if (downloaded.failure().code != ECANCELED)
            showFailureAlert(Messages::tr("The firmware could not be downloaded"),
                             said(feed_failure_sentence(downloaded.failure())),
                             printable_text(downloaded.failure().text));
        return;
    }
    offered_.reset();
    window_->feedBar()->hide();
    package_read_t read;
    read.update = std::move(downloaded->update);
    showPackage(std::move(read), QUrl::fromLocalFile(QString::fromStdString(downloaded->path)), true);
}

bool Application::checksAutomatically() const {
    return settings_.feed.check_automatically || user_settings().value(automatic_key).toBool();
}

// Once, after the first check the user asked for, unless the administrator decided.
void Application::askAboutAutomaticChecks() {
    if (settings_.feed.check_automatically || user_settings().contains(automatic_key)) return;
    auto* question = new QMessageBox(QMessageBox::Question, app_name(QString()),
                                     Messages::tr("Check for firmware updates automatically?"), QMessageBox::NoButton,
                                     window_.get());
    question->setInformativeText(
        Messages::tr("Once a day, the maker's list of firmware is read, and this window tells you when newer firmware "
                     "is available. Nothing about you or your devices is sent."));
    QPushButton* daily = question->addButton(Messages::tr("Check Daily"), QMessageBox::AcceptRole);
    QPushButton* never = question->addButton(Messages::tr("Only When I Ask"), QMessageBox::RejectRole);
    question->setDefaultButton(daily);
    question->setEscapeButton(never);
    presentAlert(question, [this, daily](QAbstractButton* clicked) {
        enableControls();
        user_settings().setValue(automatic_key, clicked == daily);
        scheduleAutomaticCheck();
    });
}

// A day after the last check, a few minutes later still: not every computer
// asks the maker's server at the same moment.
void Application::scheduleAutomaticCheck() {
    if (!checksAutomatically()) return;
    const qint64 since = QDateTime::currentSecsSinceEpoch() - user_settings().value(last_check_key, 0).toLongLong();
    const qint64 wait_s = std::clamp(day_s - since, qint64(0), day_s) + QRandomGenerator::global()->bounded(60, 900);
    automaticCheck_.start(std::chrono::seconds(wait_s));
}

}  // namespace zal::gui
