// SPDX-License-Identifier: MIT
#pragma once

// One look for every window, label and button of the application.

#include <QFont>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QWidget>

namespace zal::gui {

enum class control_size_t { regular, small, mini };

// The application font for a control size; smaller ones in the 13 : 11 : 9 ratio.
QFont control_font(control_size_t size, bool bold = false);

// A text that cannot be edited or selected, placed by its parent's layout.
QLabel* make_label(const QString& text, control_size_t size, bool bold, QWidget* parent);

// TEXT as a tool tip that shows it literally: Qt takes any tool tip that looks
// like markup for rich text, images and all.
QString plain_tool_tip(const QString& text);

enum class bezel_t { rounded, help };
QPushButton* make_button(const QString& title, control_size_t size, bezel_t bezel, QWidget* parent);

// Every alert: its texts plain, its title bar and accessible name what it
// says, and wide enough for the whole title.
void decorate_alert(QMessageBox* alert);

}  // namespace zal::gui
