// SPDX-License-Identifier: MIT
#include "app/notes_accessible.hpp"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

#include <vector>

#include "app/strings.hpp"

namespace {

constexpr const char* exposed_property = "notes_expose_links";

struct link_t {
    int start = 0, end = 0;  // document positions
    QString text, href;
};

// The document's links, in order; neighbouring fragments of one anchor are one link.
std::vector<link_t> links_of(const QTextDocument& document) {
    std::vector<link_t> links;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (!fragment.isValid() || !format.isAnchor() || format.anchorHref().isEmpty()) continue;
            if (!links.empty() && links.back().end == fragment.position() && links.back().href == format.anchorHref()) {
                links.back().end += fragment.length();
                links.back().text += fragment.text();
            } else {
                links.push_back({fragment.position(), fragment.position() + fragment.length(), fragment.text(),
                                 format.anchorHref()});
            }
        }
    }
    return links;
}

class notes_interface_t;

// One link of the notes, as a child of their interface.
class link_interface_t final : public QAccessibleInterface,
                               public QAccessibleActionInterface,
                               public QAccessibleHyperlinkInterface {
public:
    link_interface_t(notes_interface_t* notes, link_t link) : notes_(notes), link_(std::move(link)) {}

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) return link_.text;
        if (t == QAccessible::Value) return link_.href;
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::Link; }
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ActionInterface) return static_cast<QAccessibleActionInterface*>(this);
        if (type == QAccessible::HyperlinkInterface) return static_cast<QAccessibleHyperlinkInterface*>(this);
        return nullptr;
    }

    QStringList actionNames() const override { return {pressAction(), setFocusAction()}; }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }
    void doAction(const QString& action) override;

    QString anchor() const override { return link_.text; }
    QString anchorTarget() const override { return link_.href; }
    int startIndex() const override { return link_.start; }
    int endIndex() const override { return link_.end; }

    const link_t& link() const { return link_; }

private:
    notes_interface_t* notes_;
    link_t link_;
};

// The notes: read-only multi-line text, with their links as children.
class notes_interface_t final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit notes_interface_t(QTextBrowser* view) : QAccessibleWidget(view, QAccessible::EditableText) {}
    ~notes_interface_t() override { forget_links(); }

    QTextBrowser* view() const { return static_cast<QTextBrowser*>(widget()); }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.multiLine = true;
        s.focusable = true;
        return s;
    }

    int childCount() const override { return int(links().size()); }
    QAccessibleInterface* child(int index) const override {
        const auto& all = links();
        return index >= 0 && index < int(all.size()) ? QAccessible::accessibleInterface(all[std::size_t(index)])
                                                     : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto& all = links();
        for (std::size_t i = 0; i < all.size(); ++i)
            if (QAccessible::accessibleInterface(all[i]) == child) return int(i);
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = 0; i < childCount(); ++i)
            if (QAccessibleInterface* link = child(i); link->rect().contains(x, y)) return link;
        return nullptr;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // --- text ---
    void selection(int index, int* start, int* end) const override {
        const QTextCursor cursor = view()->textCursor();
        *start = index == 0 && cursor.hasSelection() ? cursor.selectionStart() : 0;
        *end = index == 0 && cursor.hasSelection() ? cursor.selectionEnd() : 0;
    }
    int selectionCount() const override { return view()->textCursor().hasSelection() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override {
        QTextCursor cursor = view()->textCursor();
        cursor.clearSelection();
        view()->setTextCursor(cursor);
    }
    void setSelection(int, int start, int end) override {
        QTextCursor cursor(view()->document());
        cursor.setPosition(clamped(start));
        cursor.setPosition(clamped(end), QTextCursor::KeepAnchor);
        view()->setTextCursor(cursor);
    }
    int cursorPosition() const override { return view()->textCursor().position(); }
    void setCursorPosition(int position) override {
        QTextCursor cursor(view()->document());
        cursor.setPosition(clamped(position));
        view()->setTextCursor(cursor);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return view()->toPlainText();
        return QAccessibleWidget::text(t);
    }
    QString text(int start, int end) const override {
        const QString all = view()->toPlainText();
        start = std::clamp(start, 0, int(all.size()));
        end = std::clamp(end, start, int(all.size()));
        return all.mid(start, end - start);
    }
    int characterCount() const override { return std::max(0, view()->document()->characterCount() - 1); }
    QRect characterRect(int offset) const override {
        QTextCursor cursor(view()->document());
        cursor.setPosition(clamped(offset));
        QRect r = view()->cursorRect(cursor);
        const QString character = text(offset, offset + 1);
        r.setWidth(std::max(
            1, view()->fontMetrics().horizontalAdvance(character.isEmpty() ? QStringLiteral(" ") : character)));
        return QRect(view()->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    int offsetAtPoint(const QPoint& point) const override {
        const QPoint local = view()->viewport()->mapFromGlobal(point);
        if (!view()->viewport()->rect().contains(local)) return -1;
        return view()->cursorForPosition(local).position();
    }
    void scrollToSubstring(int start, int end) override {
        setSelection(0, start, end);
        view()->ensureCursorVisible();
    }
    QString attributes(int offset, int* start, int* end) const override {
        // Styles are not described; the run is the fragment around the offset.
        *start = *end = clamped(offset);
        const QTextBlock block = view()->document()->findBlock(*start);
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.contains(*start)) {
                *start = fragment.position();
                *end = fragment.position() + fragment.length();
            }
        }
        return {};
    }

    // The links of the current text, made anew when it changes.
    const std::vector<QAccessible::Id>& links() const {
        const QTextDocument* document = view()->document();
        if (document != document_ || document->revision() != revision_) {
            forget_links();
            document_ = document;
            revision_ = document->revision();
            for (link_t& link : links_of(*document)) {
                auto* child = new link_interface_t(const_cast<notes_interface_t*>(this), std::move(link));
                ids_.push_back(QAccessible::registerAccessibleInterface(child));
            }
        }
        return ids_;
    }

private:
    int clamped(int position) const { return std::clamp(position, 0, characterCount()); }

    void forget_links() const {
        for (QAccessible::Id id : ids_) QAccessible::deleteAccessibleInterface(id);
        ids_.clear();
    }

    mutable std::vector<QAccessible::Id> ids_;
    mutable const QTextDocument* document_ = nullptr;
    mutable int revision_ = -1;
};

bool link_interface_t::isValid() const { return notes_->isValid(); }

QWindow* link_interface_t::window() const { return notes_->window(); }

QAccessibleInterface* link_interface_t::parent() const { return notes_; }

QRect link_interface_t::rect() const {
    QRect r;
    for (int offset = link_.start; offset < link_.end; ++offset) r |= notes_->characterRect(offset);
    return r;
}

QAccessible::State link_interface_t::state() const {
    QAccessible::State s;
    s.focusable = true;
    s.linked = true;
    const QTextCursor cursor = notes_->view()->textCursor();
    s.focused =
        notes_->view()->hasFocus() && cursor.selectionStart() == link_.start && cursor.selectionEnd() == link_.end;
    s.invisible = !notes_->view()->isVisible();
    return s;
}

void link_interface_t::doAction(const QString& action) {
    QTextBrowser* view = notes_->view();
    if (action == setFocusAction()) {
        view->setFocus();
        notes_->setSelection(0, link_.start, link_.end);
    } else if (action == pressAction()) {
        emit view->anchorClicked(QUrl(link_.href));  // the notes' own rule decides whether it opens
    }
}

QAccessibleInterface* notes_factory(const QString&, QObject* object) {
    auto* view = qobject_cast<QTextBrowser*>(object);
    if (view && view->property(exposed_property).toBool()) return new notes_interface_t(view);
    return nullptr;
}

}  // namespace

void expose_note_links(QTextBrowser* notes) {
    static const bool installed = [] {
        QAccessible::installFactory(notes_factory);
        return true;
    }();
    (void)installed;
    notes->setProperty(exposed_property, true);
}
