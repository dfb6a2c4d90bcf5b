// SPDX-License-Identifier: MIT
// Rendering release notes: typical (10 KiB) and large (1 MiB) notes with every
// construct many times over; the cost must grow linearly with the text.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTextDocument>

#include "app/markdown/markdown_parser.hpp"
#include "app/markdown/text_document.hpp"

namespace {

QString notes_of_size(qsizetype bytes) {
    const QString block = QStringLiteral(
        "# Ventaro 2.1\n"
        "This update brings **smoother aftertouch**, *faster* start-up and __strong__ _emphasis_.\n"
        "## What is new\n"
        "- Velocity curves per key, see [the manual](https://ventaro.example/manual)\n"
        "-- Soft and hard presets at https://ventaro.example/presets or www.ventaro.example\n"
        "+ The `Panic` button silences every voice; write to support@ventaro.example\n"
        "> Back up your presets before updating. ![logo](logo.png)\n"
        "Escaped \\*stars\\* and ``code with ` inside`` stay literal.\n\n");
    QString text;
    while (text.size() < bytes) text += block;
    return text;
}

void BM_RenderNotes(benchmark::State& state) {
    const QString notes = notes_of_size(state.range(0));
    const auto parser = zal::gui::MarkdownParser::standardParser();
    for (auto _ : state) {
        QTextDocument document;
        zal::gui::fill_document(document, parser->attributedStringFromMarkdown(notes));
        benchmark::DoNotOptimize(document.characterCount());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(notes.size()) * 2);
    state.counters["characters"] = double(notes.size());
}
BENCHMARK(BM_RenderNotes)->Arg(10 << 10)->Arg(100 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

void BM_ParseOnly(benchmark::State& state) {
    const QString notes = notes_of_size(state.range(0));
    const auto parser = zal::gui::MarkdownParser::standardParser();
    for (auto _ : state) benchmark::DoNotOptimize(parser->attributedStringFromMarkdown(notes).length());
    state.counters["characters"] = double(notes.size());
}
BENCHMARK(BM_ParseOnly)->Arg(10 << 10)->Arg(100 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// Shapes of hostile notes, each repeated to the size asked: the cost must stay
// linear whatever the text holds.
struct shape_t {
    const char* name;
    QString unit;
    QString prefix = {};
};

const shape_t shapes[] = {
    {"emphasis runs", QStringLiteral("*_")},
    {"closing parentheses", QStringLiteral(")"), QStringLiteral("see https://e.org/a(b")},
    {"e-mail local parts", QStringLiteral("a_")},
    {"long code span", QStringLiteral("a"), QStringLiteral("``")},
    {"unmatched brackets", QStringLiteral("[")},
    {"unclosed links", QStringLiteral("[a](")},
    {"deep quotes", QStringLiteral(">"), QStringLiteral("\n")},
    {"deep lists", QStringLiteral("-"), QStringLiteral("\n")},
    {"open strong marks", QStringLiteral("** ")},
    {"escapes", QStringLiteral("\\`")},
};

QString hostile_notes(const shape_t& shape, qsizetype bytes) {
    QString text = shape.prefix;
    text.reserve(bytes + 64);
    while (text.size() < bytes) text += shape.unit;
    if (shape.prefix.startsWith(u'`')) text += u'`';
    return text + QStringLiteral(" end\n");
}

void BM_HostileNotes(benchmark::State& state) {
    const shape_t& shape = shapes[state.range(0)];
    const QString notes = hostile_notes(shape, state.range(1));
    const auto parser = zal::gui::MarkdownParser::standardParser();
    for (auto _ : state) {
        QTextDocument document;
        zal::gui::fill_document(document, parser->attributedStringFromMarkdown(notes));
        benchmark::DoNotOptimize(document.characterCount());
    }
    state.SetLabel(shape.name);
    state.counters["characters"] = double(notes.size());
}
BENCHMARK(BM_HostileNotes)
    ->ArgsProduct({benchmark::CreateDenseRange(0, int(std::size(shapes)) - 1, 1), {10 << 10, 100 << 10, 1 << 20}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The same shapes filled into a document already parsed: Qt's share, which no
// parser can take away.
void BM_HostileFillOnly(benchmark::State& state) {
    const shape_t& shape = shapes[state.range(0)];
    const auto parser = zal::gui::MarkdownParser::standardParser();
    const zal::gui::styled_text_t parsed = parser->attributedStringFromMarkdown(hostile_notes(shape, 1 << 20));
    for (auto _ : state) {
        QTextDocument document;
        zal::gui::fill_document(document, parsed);
        benchmark::DoNotOptimize(document.characterCount());
    }
    state.SetLabel(shape.name);
}
BENCHMARK(BM_HostileFillOnly)
    ->DenseRange(0, int(std::size(shapes)) - 1, 1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The same shapes without the document, to tell the parser's share from Qt's.
void BM_HostileParseOnly(benchmark::State& state) {
    const shape_t& shape = shapes[state.range(0)];
    const QString notes = hostile_notes(shape, 1 << 20);
    const auto parser = zal::gui::MarkdownParser::standardParser();
    for (auto _ : state) benchmark::DoNotOptimize(parser->attributedStringFromMarkdown(notes).length());
    state.SetLabel(shape.name);
}
BENCHMARK(BM_HostileParseOnly)
    ->DenseRange(0, int(std::size(shapes)) - 1, 1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
