// SPDX-License-Identifier: MIT
// The Qt driver keeps the main queue running inside nested modal loops.
#include "common/async/qt_driver.hpp"

#include <QApplication>
#include <QDialog>
#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "common/async/async.hpp"

class QtDriverTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { zal::main_queue::drive_with_qt(); }

    void tasksRunInsideAModalDialog() {
        QDialog dialog;
        bool worker_task_in_dialog = false;
        bool delayed_task_in_dialog = false;
        std::thread worker(
            [&] { zal::async_main([&] { worker_task_in_dialog = QApplication::activeModalWidget() == &dialog; }); });
        zal::async_main([&] { delayed_task_in_dialog = QApplication::activeModalWidget() == &dialog; }, 50);
        zal::async_main([&] { dialog.accept(); }, 100);
        // Safety net: a broken driver must fail the test, not hang it.
        QTimer::singleShot(5000, &dialog, &QDialog::reject);
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        worker.join();
        QVERIFY(worker_task_in_dialog);
        QVERIFY(delayed_task_in_dialog);
    }

    // A driver deleted while another thread queues tasks: its wake-up calls
    // under way finish first, and none comes after (AddressSanitizer would see one).
    void aDriverDeletedWhileTasksArriveIsNotCalledAfterward() {
        std::atomic<bool> stop{false};
        std::atomic<int> queued{0};
        std::thread worker([&] {
            while (!stop) {
                zal::async_main([] {});
                ++queued;
            }
        });
        // Stopped however the test ends: a flooding worker would starve the next tests.
        const std::unique_ptr<void, std::function<void(void*)>> join(&worker, [&](void*) {
            stop = true;
            worker.join();
        });
        QTRY_VERIFY(queued > 100);  // the worker is under way
        for (int i = 0; i < 200; ++i) {
            QObject* driver = zal::main_queue::drive_with_qt();
            QCoreApplication::processEvents();
            delete driver;
        }
        zal::main_queue::drive_with_qt();  // for the tests that follow
        bool ran = false;
        zal::async_main([&] { ran = true; });
        QTRY_VERIFY(ran);
    }

    void syncMainFromAWorkerRunsOnTheEventLoop() {
        std::atomic<bool> done{false};
        bool on_main = false;
        std::thread worker([&] {
            zal::sync_main([&] { on_main = zal::is_main_thread(); });
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 5000);
        worker.join();
        QVERIFY(on_main);
    }
};

QTEST_MAIN(QtDriverTest)
#include "qt_driver_test.moc"
