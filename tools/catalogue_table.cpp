// SPDX-License-Identifier: MIT
// Writes the command-line tool's table of translations from the application's
// Qt Linguist catalogues, so that one catalogue per language serves both and
// the tool itself needs no Qt. Usage:
//   catalogue-table OUTPUT.cpp CONTEXT[,CONTEXT...] CATALOGUE.ts...
// Only finished translations of the given contexts, without disambiguation,
// go in: the tool looks a text up by its context and English text alone.
#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QStringList>
#include <QXmlStreamReader>

#include <cstdio>

namespace {

struct message_t {
    QString context, source, translation;
    bool usable = true;
};

// A C++ string literal of these UTF-8 bytes; octal escapes cannot run on into
// the next character as hexadecimal ones can.
QByteArray literal(const QString& text) {
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte >= 0x7f || c == '?') {  // '?': no trigraphs
            out += '\\';
            out += QByteArray::number(byte, 8).rightJustified(3, '0');
        } else {
            out += c;
        }
    }
    return out + '"';
}

bool read_catalogue(const QString& path, const QStringList& contexts, QByteArray& rows, QString& problem) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    QXmlStreamReader xml(&file);
    QString language, context;
    message_t message;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const auto name = xml.name();
            if (name == QLatin1String("TS")) {
                language = xml.attributes().value(QLatin1String("language")).toString().section(u'_', 0, 0);
            } else if (name == QLatin1String("name")) {
                context = xml.readElementText();
            } else if (name == QLatin1String("message")) {
                message = {context, {}, {}, true};
            } else if (name == QLatin1String("source")) {
                message.source = xml.readElementText();
            } else if (name == QLatin1String("comment")) {
                message.usable = false;
                xml.skipCurrentElement();
            } else if (name == QLatin1String("translation")) {
                if (!xml.attributes().value(QLatin1String("type")).isEmpty()) message.usable = false;
                message.translation = xml.readElementText();
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("message")) {
            if (message.usable && !message.translation.isEmpty() && contexts.contains(message.context))
                rows += "    {" + literal(language) + ", " + literal(message.context) + ", " + literal(message.source) +
                        ", " + literal(message.translation) + "},\n";
        }
    }
    if (xml.hasError()) {
        problem = QStringLiteral("%1:%2: %3").arg(path).arg(xml.lineNumber()).arg(xml.errorString());
        return false;
    }
    if (language.isEmpty()) {
        problem = path + QStringLiteral(": the catalogue names no language");
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 4) {
        std::fprintf(stderr, "usage: catalogue-table OUTPUT.cpp CONTEXT[,CONTEXT...] CATALOGUE.ts...\n");
        return 2;
    }
    const QStringList contexts = arguments[2].split(u',');
    QByteArray rows;
    for (qsizetype i = 3; i < arguments.size(); ++i) {
        QString problem;
        if (!read_catalogue(arguments[i], contexts, rows, problem)) {
            std::fprintf(stderr, "catalogue-table: %s\n", qPrintable(problem));
            return 1;
        }
    }
    QSaveFile out(arguments[1]);
    if (!out.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "catalogue-table: %s: %s\n", qPrintable(arguments[1]), qPrintable(out.errorString()));
        return 1;
    }
    out.write(
        "// Written by catalogue-table from the application's catalogues; do not edit.\n"
        "#include \"cli/catalogue.hpp\"\n\n"
        "namespace zal::cli {\n\n"
        "const translation_t translations[] = {\n" +
        rows +
        "    {nullptr, nullptr, nullptr, nullptr},\n"
        "};\n\n"
        "}  // namespace zal::cli\n");
    return out.commit() ? 0 : 1;
}
