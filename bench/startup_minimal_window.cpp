// SPDX-License-Identifier: MIT
// The yardstick of the start-up benchmark: the least a Qt Widgets program does
// to show text, a QLabel in a QMainWindow.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>

#include "bench/startup_probe.hpp"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QMainWindow window;
    auto* label = new QLabel(QStringLiteral("Ventaro v2.1.0 Update"));
    window.setCentralWidget(label);
    zal::bench::startup_probe_t probe(label, [] { return true; });
    window.show();
    return application.exec();
}
