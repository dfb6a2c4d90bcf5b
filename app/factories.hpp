// SPDX-License-Identifier: MIT
#pragma once

// One look for every window, label and button of the application.

#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QString>
#include <QWidget>

namespace zal::gui {

enum class control_size_t { regular, small, mini };

// The application font for a control size; smaller ones in the 13 : 11 : 9 ratio.
QFont control_font(control_size_t size, bool bold = false);

// A text that cannot be edited or selected. An empty frame leaves the label to
// a layout, as every window of the application does.
QLabel* make_label(const QString& text, const QRect& frame, control_size_t size, bool bold, QWidget* parent);

enum class bezel_t { rounded, help };
QPushButton* make_button(const QString& title, const QRect& frame, control_size_t size, bezel_t bezel, QWidget* parent);

}  // namespace zal::gui
