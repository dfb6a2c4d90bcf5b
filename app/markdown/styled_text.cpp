// SPDX-License-Identifier: MIT
#include "app/markdown/styled_text.hpp"

#include <algorithm>
#include <array>

namespace zal::gui {

namespace {
const text_attributes_t no_attributes;
}

void text_attributes_t::merge(const text_attributes_t& other) {
    if (other.font) font = other.font;
    if (other.foreground) foreground = other.foreground;
    if (other.underline) underline = other.underline;
    if (other.link) link = other.link;
    if (other.attachment) attachment = other.attachment;
}

bool text_attributes_t::operator==(const text_attributes_t& other) const {
    const auto same_attachment = [](const text_attachment_t& a, const text_attachment_t& b) {
        return a.image.cacheKey() == b.image.cacheKey() && a.bounds == b.bounds;
    };
    return font == other.font && foreground == other.foreground && underline == other.underline && link == other.link &&
           attachment.has_value() == other.attachment.has_value() &&
           (!attachment || same_attachment(*attachment, *other.attachment));
}

namespace {

// `base` with `added` merged in, shared with the last few merges of the same
// kind: a rule that styles thousands of matches alike gives them one set of
// attributes, not one each, so that their runs join and the document finds
// their format at once.
std::shared_ptr<const text_attributes_t> merged(const std::shared_ptr<const text_attributes_t>& base,
                                                const text_attributes_t& added) {
    struct entry_t {
        std::shared_ptr<const text_attributes_t> base;  // kept alive, so that its address stays its own
        text_attributes_t added;
        std::shared_ptr<const text_attributes_t> merged;
    };
    thread_local std::array<entry_t, 8> recent;
    thread_local std::size_t next = 0;
    for (const entry_t& entry : recent)
        if (entry.base == base && entry.merged && entry.added == added) return entry.merged;
    auto result = std::make_shared<text_attributes_t>(*base);
    result->merge(added);
    recent[next++ % recent.size()] = {base, added, result};
    return result;
}

}  // namespace

styled_text_t::styled_text_t(QString text, const text_attributes_t& attributes) : text_(std::move(text)) {
    if (!text_.isEmpty()) runs_.push_back({text_.size(), std::make_shared<const text_attributes_t>(attributes)});
}

void styled_text_t::push_run(qsizetype length, std::shared_ptr<const text_attributes_t> attributes) {
    if (length <= 0) return;
    if (!runs_.empty() && runs_.back().attributes == attributes) {
        runs_.back().length += length;
        return;
    }
    runs_.push_back({length, std::move(attributes)});
}

const text_attributes_t& styled_text_t::attributes_at(qsizetype position) const {
    qsizetype start = 0;
    for (const run_t& run : runs_) {
        if (position < start + run.length) return *run.attributes;
        start += run.length;
    }
    return no_attributes;
}

bool styled_text_t::has_link(qsizetype start, qsizetype length) const {
    qsizetype run_start = 0;
    for (const run_t& run : runs_) {
        if (run_start >= start + length) break;
        if (run_start + run.length > start && run.attributes->link) return true;
        run_start += run.length;
    }
    return false;
}

std::size_t styled_text_t::split_at(qsizetype position) {
    qsizetype start = 0;
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        if (position == start) return i;
        if (position < start + runs_[i].length) {
            const qsizetype head = position - start;
            runs_.insert(runs_.begin() + long(i) + 1, {runs_[i].length - head, runs_[i].attributes});
            runs_[i].length = head;
            return i + 1;
        }
        start += runs_[i].length;
    }
    return runs_.size();
}

void styled_text_t::add_attributes(qsizetype start, qsizetype length, const text_attributes_t& attributes) {
    if (length <= 0 || attributes.empty()) return;
    const std::size_t first = split_at(start);
    const std::size_t end = split_at(start + length);
    for (std::size_t i = first; i < end; ++i) runs_[i].attributes = merged(runs_[i].attributes, attributes);
}

void styled_text_t::replace(qsizetype start, qsizetype length, const QString& text) {
    std::shared_ptr<const text_attributes_t> inherited;
    if (length == 0 && start == 0 && before_) {
        inherited = before_;
    } else if (!runs_.empty()) {
        const qsizetype from = length > 0 ? start : (start > 0 ? start - 1 : 0);
        qsizetype run_start = 0;
        for (const run_t& run : runs_) {
            if (from < run_start + run.length) {
                inherited = run.attributes;
                break;
            }
            run_start += run.length;
        }
        if (!inherited) inherited = runs_.back().attributes;
    } else {
        inherited = std::make_shared<const text_attributes_t>();
    }
    const std::size_t first = split_at(start);
    const std::size_t end = split_at(start + length);
    runs_.erase(runs_.begin() + long(first), runs_.begin() + long(end));
    if (!text.isEmpty()) runs_.insert(runs_.begin() + long(first), {text.size(), inherited});
    text_.replace(start, length, text);
}

void styled_text_t::replace_lone_surrogates() {
    if (QStringView(text_).isValidUtf16()) return;
    for (qsizetype i = 0; i < text_.size(); ++i) {
        const QChar c = text_[i];
        if (c.isHighSurrogate() && i + 1 < text_.size() && text_[i + 1].isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            text_[i] = QChar::ReplacementCharacter;
    }
}

styled_text_t styled_text_t::slice(qsizetype start, qsizetype length) const {
    styled_text_t out;
    reader_t(*this).copy(start, length, out);
    return out;
}

void styled_text_t::append(const styled_text_t& other) {
    text_ += other.text_;
    for (const run_t& run : other.runs_) push_run(run.length, run.attributes);
}

void styled_text_t::reader_t::copy(qsizetype start, qsizetype length, styled_text_t& out) {
    if (length <= 0) return;
    out.text_ += QStringView(text_.text_).mid(start, length);
    const qsizetype end = start + length;
    // Skip the runs that end before the range; the reader never goes back.
    while (run_ < text_.runs_.size() && run_start_ + text_.runs_[run_].length <= start) {
        run_start_ += text_.runs_[run_].length;
        ++run_;
    }
    for (qsizetype position = start; position < end && run_ < text_.runs_.size();) {
        const qsizetype run_end = run_start_ + text_.runs_[run_].length;
        const qsizetype piece = std::min(end, run_end) - position;
        out.push_run(piece, text_.runs_[run_].attributes);
        position += piece;
        if (position >= run_end) {
            run_start_ = run_end;
            ++run_;
        }
    }
}

}  // namespace zal::gui
