// SPDX-License-Identifier: MIT
#pragma once

// Text with attribute runs, edited by UTF-16 range: the working model of the
// release-notes renderer, turned into a QTextDocument once at the end.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>
#include <vector>

namespace zal::gui {

struct text_attachment_t {
    QImage image;
    QRectF bounds;
};

// The attributes of a range; a key that is set replaces the earlier value.
struct text_attributes_t {
    std::optional<QFont> font;
    std::optional<QColor> foreground;
    std::optional<int> underline;  // 1: single
    std::optional<QUrl> link;
    std::optional<text_attachment_t> attachment;

    void merge(const text_attributes_t& other);
    // Equal values; images are equal when they are the same image.
    bool operator==(const text_attributes_t& other) const;
    bool empty() const { return !font && !foreground && !underline && !link && !attachment; }
};

// The character that stands for an attachment in the text.
constexpr char16_t attachment_character = u'\uFFFC';

class styled_text_t {
public:
    styled_text_t() = default;
    explicit styled_text_t(QString text, const text_attributes_t& attributes = {});

    const QString& text() const { return text_; }
    qsizetype length() const { return text_.size(); }

    // The attributes at a position (0 <= position < length).
    const text_attributes_t& attributes_at(qsizetype position) const;
    // Whether any character of the range has a link target.
    bool has_link(qsizetype start, qsizetype length) const;

    void add_attributes(qsizetype start, qsizetype length, const text_attributes_t& attributes);
    // The new text takes the attributes of the first replaced character (or, for
    // an empty range, of the one before it, else the one after). For a piece cut
    // out of a larger text, the one before its start is that of the larger text.
    void replace(qsizetype start, qsizetype length, const QString& text);
    // Gives a piece the attributes of the character before it in its larger text.
    void set_attributes_before(std::shared_ptr<const text_attributes_t> attributes) { before_ = std::move(attributes); }
    std::shared_ptr<const text_attributes_t> last_attributes() const {
        return runs_.empty() ? before_ : runs_.back().attributes;
    }
    void remove(qsizetype start, qsizetype length) { replace(start, length, QString()); }
    // Makes the text valid UTF-16: each unpaired surrogate becomes U+FFFD.
    void replace_lone_surrogates();

    styled_text_t slice(qsizetype start, qsizetype length) const;
    // Empties the text, keeping its storage for what comes next.
    void clear() {
        text_.truncate(0);
        runs_.clear();
        before_.reset();
    }
    // Room for a text of `length` units in `runs` runs, to be appended.
    void reserve(qsizetype length, std::size_t runs) {
        text_.reserve(length);
        runs_.reserve(runs);
    }
    void append(const styled_text_t& other);

    struct run_t {
        qsizetype length;
        std::shared_ptr<const text_attributes_t> attributes;
    };
    const std::vector<run_t>& runs() const { return runs_; }

    // Sequential slicing for whole-text passes: each call continues where the
    // last one ended, so that a pass over the text stays linear.
    class reader_t {
    public:
        explicit reader_t(const styled_text_t& text) : text_(text) {}
        // Appends [start, start + length) of the text to `out`; start never goes back.
        void copy(qsizetype start, qsizetype length, styled_text_t& out);

    private:
        const styled_text_t& text_;
        std::size_t run_ = 0;
        qsizetype run_start_ = 0;
    };

private:
    // Splits runs so that one starts at `position`; returns its index.
    std::size_t split_at(qsizetype position);
    void push_run(qsizetype length, std::shared_ptr<const text_attributes_t> attributes);

    QString text_;
    std::vector<run_t> runs_;  // lengths add up to the text's length
    std::shared_ptr<const text_attributes_t> before_;
};

}  // namespace zal::gui
