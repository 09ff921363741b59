#pragma once
// The words of a PDF with their boxes, read by poppler's `pdftotext -bbox`,
// for tests that check what a printout puts on paper: that every word lies
// on its page, how tall the text is, which texts are there.

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QRectF>
#include <QRegularExpression>
#include <QSizeF>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>

#include <algorithm>

namespace kvtest {

// How long pdftotext may take for one file.
constexpr int PdfToTextTimeoutMs = 60000;

struct PdfWord {
    QString text;
    QRectF box;   // in points, origin at the page's top left
};

struct PdfPage {
    QSizeF size;  // in points
    QList<PdfWord> words;

    QRectF rect() const { return QRectF(QPointF(0, 0), size); }
    QStringList texts() const
    {
        QStringList out;
        for (const PdfWord &w : words)
            out << w.text;
        return out;
    }
    // The first word with this text, or nullptr.
    const PdfWord *find(const QString &text) const
    {
        for (const PdfWord &w : words)
            if (w.text == text)
                return &w;
        return nullptr;
    }
    // The words no part of which lies outside the page (with a rounding allowance).
    QStringList wordsOffPage() const
    {
        const QRectF page = rect().adjusted(-0.5, -0.5, 0.5, 0.5);
        QStringList out;
        for (const PdfWord &w : words)
            if (!page.contains(w.box))
                out << QStringLiteral("%1 at (%2,%3)-(%4,%5)")
                           .arg(w.text)
                           .arg(w.box.left())
                           .arg(w.box.top())
                           .arg(w.box.right())
                           .arg(w.box.bottom());
        return out;
    }
    double tallestWord() const
    {
        double h = 0;
        for (const PdfWord &w : words)
            h = std::max(h, w.box.height());
        return h;
    }
    int count(const QRegularExpression &pattern) const
    {
        return int(std::count_if(words.begin(), words.end(),
                                 [&](const PdfWord &w) { return pattern.match(w.text).hasMatch(); }));
    }
};

inline QString PdfToTextProgram() { return QStandardPaths::findExecutable(QStringLiteral("pdftotext")); }

// Every page of the PDF with its words; an empty list and the reason when
// pdftotext is missing, fails or writes something unreadable.
inline QList<PdfPage> ReadPdfWords(const QString &pdfPath, QString *error)
{
    QList<PdfPage> pages;
    const QString program = PdfToTextProgram();
    if (program.isEmpty()) {
        *error = QStringLiteral("pdftotext is not installed");
        return pages;
    }
    QProcess process;
    process.start(program, {QStringLiteral("-bbox"), pdfPath, QStringLiteral("-")});
    if (!process.waitForFinished(PdfToTextTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        *error = QStringLiteral("pdftotext did not end");
        return pages;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *error = QStringLiteral("pdftotext failed: ") + QString::fromLocal8Bit(process.readAllStandardError());
        return pages;
    }
    QXmlStreamReader xml(process.readAllStandardOutput());
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (xml.name() == QLatin1String("page")) {
            PdfPage page;
            page.size = QSizeF(a.value(QLatin1String("width")).toDouble(), a.value(QLatin1String("height")).toDouble());
            pages << page;
        } else if (xml.name() == QLatin1String("word") && !pages.isEmpty()) {
            PdfWord word;
            word.box = QRectF(QPointF(a.value(QLatin1String("xMin")).toDouble(), a.value(QLatin1String("yMin")).toDouble()),
                              QPointF(a.value(QLatin1String("xMax")).toDouble(), a.value(QLatin1String("yMax")).toDouble()));
            word.text = xml.readElementText();
            pages.last().words << word;
        }
    }
    if (xml.hasError()) {
        *error = QStringLiteral("pdftotext wrote unreadable XHTML: ") + xml.errorString();
        pages.clear();
    } else if (pages.isEmpty()) {
        *error = QStringLiteral("pdftotext found no page");
    }
    return pages;
}

} // namespace kvtest

// Skips the test when poppler's pdftotext is not installed.
#define KV_SKIP_WITHOUT_PDFTOTEXT()                                                                                    \
    do {                                                                                                               \
        if (kvtest::PdfToTextProgram().isEmpty())                                                                      \
            QSKIP("pdftotext (poppler-utils) is not installed");                                                      \
    } while (false)
