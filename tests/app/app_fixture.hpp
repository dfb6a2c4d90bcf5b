// SPDX-License-Identifier: MIT
#pragma once

// What the application's tests share: they drive its real windows, sheets and
// alerts, against simulated devices on the virtual MIDI service and the
// simulated hidapi.

#include <QAccessible>
#include <QElapsedTimer>
#include <QWindow>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QShortcut>
#include <QTextBrowser>
#include <QTextCursor>
#include <QtTest>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <memory>

#include "app/application.hpp"
#include "app/log_window.hpp"
#include "app/quit_on_signals.hpp"
#include "app/shell.hpp"
#include "app/strings.hpp"
#include "common/async/async.hpp"
#include "common/async/main_queue.hpp"
#include "common/async/qt_driver.hpp"
#include "common/midi_io/midi_io.hpp"
#include "common/midi_io/virtual/virtual_service.hpp"
#include "devices/simulation.hpp"
#include "tools/package_writer.hpp"
#include "update/update_plan.hpp"
#include "updater/hid.hpp"

namespace zal::gui::app_tests {

// Each test program keeps its update history apart from the user's.
inline const QTemporaryDir state_home;
inline const bool state_home_set = qputenv("XDG_STATE_HOME", state_home.path().toUtf8());

// The simulated devices, made once per program.
inline devices::simulation_t* simulation = nullptr;

// A Ventaro 2.1.0 package with release notes.
inline std::vector<unsigned char> package_bytes(bool ventaro, bool ruvo, bool stage2 = false,
                                                const char* notes_fr = "# Notes") {
    std::vector<tools::zip_entry_t> notes = {{"notes-en.txt", "# Release notes\nSee **this**."}};
    if (notes_fr) notes.push_back({"notes-fr.txt", notes_fr});
    return tools::make_package_zip({.ventaro = ventaro,
                                    .ventaro_stage2 = ventaro && stage2,
                                    .ruvo = ruvo,
                                    .main_size = 40000,
                                    .stage2_size = 12000,
                                    .product = "Ventaro",
                                    .version = "2.1.0",
                                    .release_date = "2021-03-05",
                                    .extra = notes});
}

// A stand-in xdg-open first on PATH while this lives, which appends each
// address it is given to a file: what the desktop would have opened.
class recording_xdg_open_t {
public:
    recording_xdg_open_t() : path_(qgetenv("PATH")) {
        QFile script(bin_.filePath(QStringLiteral("xdg-open")));
        if (script.open(QIODevice::WriteOnly))
            script.write(QStringLiteral("#!/bin/sh\necho \"$1\" >> '%1'\n").arg(record()).toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", bin_.path().toUtf8() + ":" + path_);
    }
    ~recording_xdg_open_t() { qputenv("PATH", path_); }
    recording_xdg_open_t(const recording_xdg_open_t&) = delete;
    recording_xdg_open_t& operator=(const recording_xdg_open_t&) = delete;

    QString record() const { return bin_.filePath(QStringLiteral("opened")); }
    QByteArray opened() const {
        QFile file(record());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir bin_;
    QByteArray path_;
};

// Makes WINDOW the active window, as a window manager does when the user
// clicks it; neither offscreen nor a headless compositor activates windows
// itself, and Qt keeps no undeprecated way to say it.
inline void make_active(QWidget* window) {
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    QApplication::setActiveWindow(window);
    QT_WARNING_POP
}

// A Ventaro 2.1.0 package of a small image with these English notes.
inline std::vector<unsigned char> package_with_notes(const std::string& notes_en) {
    return tools::make_package_zip({.ventaro_stage2 = false,
                                    .main_size = 4000,
                                    .product = "Ventaro",
                                    .version = "2.1.0",
                                    .release_date = "2021-03-05",
                                    .extra = {{"notes-en.txt", notes_en}}});
}

inline QString write_package(const QTemporaryDir& dir, const QString& name, const std::vector<unsigned char>& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    return path;
}

// The alert shown on the update window now, if any.
inline QMessageBox* visible_alert() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
    for (QWidget* w : QApplication::allWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
    return nullptr;
}

inline QAbstractButton* button_titled(QMessageBox* box, const QString& text) {
    for (QAbstractButton* b : box->buttons())
        if (b->text().remove(u'&') == text) return b;
    return nullptr;
}

// What assistive technologies are told while it lives: each event's type and object.
class accessibility_events_t {
public:
    // Without a platform bridge (offscreen) no event is sent at all.
    // Qt's bridge switches on once it has reached the accessibility bus.
    static bool available() {
        if (QGuiApplication::platformName() == u"offscreen") return false;
        return QTest::qWaitFor([] { return QAccessible::isActive(); }, 5000);
    }
    accessibility_events_t() {
        events_ = &events;
        QAccessible::setActive(true);
        previous_ = QAccessible::installUpdateHandler([](QAccessibleEvent* event) {
            if (events_) events_->push_back({event->type(), event->object()});
        });
    }
    ~accessibility_events_t() {
        QAccessible::installUpdateHandler(previous_);
        QAccessible::setActive(false);
        events_ = nullptr;
    }
    int count(QAccessible::Event type, const QObject* object) const {
        return int(std::count_if(events.begin(), events.end(),
                                 [&](const auto& e) { return e.first == type && e.second == object; }));
    }
    int countFor(const QObject* object) const {
        return int(std::count_if(events.begin(), events.end(), [&](const auto& e) { return e.second == object; }));
    }
    std::vector<std::pair<QAccessible::Event, QObject*>> events;

private:
    static inline std::vector<std::pair<QAccessible::Event, QObject*>>* events_ = nullptr;
    QAccessible::UpdateHandler previous_ = nullptr;
};

// A dialog a compositor can place over the update window.
inline bool over_window(QWidget* dialog, QWidget* window) {
    return dialog->windowHandle() && dialog->windowHandle()->transientParent() == window->windowHandle();
}

// Every text of `root` shows whole: wrapped labels have the height their text
// needs at their width, others the width; buttons the width of their title.
inline QStringList cut_texts(QWidget* root) {
    QStringList cut;
    for (QLabel* label : root->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(root) || label->text().isEmpty()) continue;
        const bool fits = label->wordWrap() ? label->heightForWidth(label->width()) <= label->height()
                                            : label->sizeHint().width() <= label->width();
        if (!fits) cut << QStringLiteral("%1 (%2x%3)").arg(label->text()).arg(label->width()).arg(label->height());
    }
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        if (!button->isVisibleTo(root) || button->text().isEmpty()) continue;
        if (button->sizeHint().width() > button->width())
            cut << QStringLiteral("%1 (%2)").arg(button->text()).arg(button->width());
    }
    return cut;
}

inline devices::device_options_t options_for(const update_t& u, kind_t kind, bool bootloader = false) {
    devices::device_options_t o = devices::simulation_t::options_for(u, kind);
    o.start_in_bootloader = bootloader;
    return o;
}

// The launched application and what drives it; each test class's
// initTestCase and cleanup call set_up and clean_up.
class AppFixture : public QObject {
protected:
    std::unique_ptr<Application> delegate;
    QTemporaryDir bundle;
    int quitSignal = 0;
    // What the next launch trusts and whether it records its runs.
    trust_t trust;
    feed_source_t feed;
    bool recordsHistory = true;

    // The shipped launch, on the simulated devices, with the bundled package
    // looked for in `bundle`.
    Application& launch(const QStringList& paths = {}) {
        platform_t platform;
        platform.bundle_directory = bundle.path();
        platform.records_history = recordsHistory;
        delegate = gui::launch(platform, paths, trust, feed);
        return *delegate;
    }

    devices::simulated_device_t& plug(const devices::device_options_t& o) {
        devices::simulated_device_t& device = simulation->add(o);
        device.plug();
        return device;
    }

    // False when there is no such button or it cannot be clicked.
    [[nodiscard]] static bool click(QAbstractButton* button) {
        if (!button || !button->isEnabled()) return false;
        QTest::mouseClick(button, Qt::LeftButton);
        return true;
    }

    static QMessageBox* wait_for_alert(int timeout = 30000) {
        QMessageBox* box = nullptr;
        (void)QTest::qWaitFor([&] { return (box = visible_alert()) != nullptr; }, timeout);
        return box;
    }

    // The alert after `previous`. Pointers are not compared: the next alert
    // may well be allocated where the deleted one was.
    static QMessageBox* wait_for_alert_after(const QPointer<QMessageBox>& previous, int timeout = 30000) {
        QMessageBox* box = nullptr;
        (void)QTest::qWaitFor([&] { return (!previous || !previous->isVisible()) && (box = visible_alert()); },
                              timeout);
        return box;
    }

    static void close_alerts() {
        while (QMessageBox* box = visible_alert()) {
            box->done(0);
            QTest::qWait(10);
        }
    }

    [[nodiscard]] bool set_up() {
        if (!bundle.isValid()) return false;
        main_queue::drive_with_qt();
        quit_on_termination_signals([this](int signal) { quitSignal = signal; });
        simulation = new devices::simulation_t;
        simulation->install();
        return true;
    }

    void clean_up() {
        if (delegate && delegate->inUpdate()) delegate->endUpdate();
        close_alerts();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QFileDialog*>(w)) w->close();
        simulation->remove_all();
        delegate.reset();
        trust = {};
        feed = {};
        recordsHistory = true;
        QDir(bundle.path()).removeRecursively();
        QDir().mkpath(bundle.path());
        use_language(QStringLiteral("en"));
        QTest::qWait(50);
    }
};

}  // namespace zal::gui::app_tests
