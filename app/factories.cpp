// SPDX-License-Identifier: MIT
#include "app/factories.hpp"

#include <QApplication>
#include <QGridLayout>
#include <QSpacerItem>
#include <QStyle>

namespace zal::gui {

QFont control_font(control_size_t size, bool bold) {
    QFont font = QApplication::font();
    const qreal base = font.pointSizeF() > 0 ? font.pointSizeF() : 10;
    const qreal ratio = size == control_size_t::regular ? 1.0
                        : size == control_size_t::small ? 11.0 / 13.0
                                                        : 9.0 / 13.0;
    font.setPointSizeF(base * ratio);
    font.setBold(bold);
    return font;
}

QLabel* make_label(const QString& text, control_size_t size, bool bold, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(control_font(size, bold));
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QPushButton* make_button(const QString& title, control_size_t size, bezel_t bezel, QWidget* parent) {
    auto* button = new QPushButton(title, parent);
    button->setFont(control_font(size));
    // The help bezel is the desktop's help button: its icon and its title, so
    // that what the eye sees is what a screen reader says.
    if (bezel == bezel_t::help) button->setIcon(button->style()->standardIcon(QStyle::SP_DialogHelpButton));
    return button;
}

QString plain_tool_tip(const QString& text) {
    if (text.isEmpty()) return text;
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

void decorate_alert(QMessageBox* alert) {
    // Alerts show file names, package texts and the engine's words: plain
    // text, never markup or a link the box would open itself.
    alert->setTextFormat(Qt::PlainText);
    for (QLabel* label : alert->findChildren<QLabel*>()) {
        label->setTextFormat(Qt::PlainText);
        label->setOpenExternalLinks(false);
        label->setTextInteractionFlags(label->textInteractionFlags() &
                                       ~(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard));
    }
    // The title bar says what the alert is about; a screen reader names the
    // alert by it and reads its text as the description.
    alert->setWindowTitle(alert->text());
    alert->setAccessibleName(alert->text());
    alert->setAccessibleDescription(alert->informativeText());
    // Wide enough for the whole title beside the window's buttons.
    if (auto* grid = qobject_cast<QGridLayout*>(alert->layout())) {
        const int width = alert->fontMetrics().horizontalAdvance(alert->text()) * 3 / 2 + 160;
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
}

}  // namespace zal::gui
