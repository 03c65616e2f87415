// Renders the user manual: the chapters of a folder (NN-*.md, in the order of their numbers) as one
// PDF on A4, images scaled to the text width, and with FIRST.png its first page as a picture.
// Usage: manual-pdf FOLDER OUTPUT.pdf [FIRST.png]
#include <iostream>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QUrl>

#include "veltro_version.h"

namespace {

// Markdown images carry no size: each is narrowed to the text width, keeping its proportions.
void FitImages(QTextDocument& document, qreal width) {
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QTextImageFormat image = fragment.charFormat().toImageFormat();
            if (!image.isValid()) continue;
            const QVariant resource = document.resource(QTextDocument::ImageResource, QUrl(image.name()));
            const QImage picture = resource.value<QImage>();
            if (picture.isNull() || picture.width() <= width) continue;
            image.setWidth(width);
            image.setHeight(picture.height() * width / picture.width());
            QTextCursor cursor(&document);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(image);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc != 3 && argc != 4) {
        std::cerr << "usage: manual-pdf FOLDER OUTPUT.pdf [FIRST.png]\n";
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QStringList chapters = folder.entryList({QStringLiteral("[0-9][0-9]-*.md")}, QDir::Files, QDir::Name);
    if (chapters.isEmpty()) {
        std::cerr << "manual-pdf: no chapters (NN-*.md) in " << argv[1] << "\n";
        return 1;
    }
    QString markdown = QStringLiteral("# Veltro user manual\n\nVersion ") + QString::fromLatin1(veltro::kVersion) +
                       QStringLiteral("\n\n");
    for (const QString& chapter : chapters) {
        QFile file(folder.filePath(chapter));
        if (!file.open(QIODevice::ReadOnly)) {
            std::cerr << "manual-pdf: cannot read " << file.fileName().toStdString() << "\n";
            return 1;
        }
        markdown += QString::fromUtf8(file.readAll()) + QStringLiteral("\n\n");
    }

    QPdfWriter pdf(QString::fromLocal8Bit(argv[2]));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter);
    pdf.setResolution(96);  // the resolution the text is laid out at, so point sizes keep their proportions
    pdf.setTitle(QStringLiteral("Veltro user manual"));
    pdf.setCreator(QStringLiteral("Veltro"));

    QTextDocument document;
    document.setBaseUrl(QUrl::fromLocalFile(folder.absolutePath() + QLatin1Char('/')));
    document.setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    document.setMarkdown(markdown);
    const QRectF page = pdf.pageLayout().paintRectPixels(pdf.resolution());
    document.setPageSize(page.size());
    FitImages(document, page.width() * 0.9);
    document.print(&pdf);
    if (!QFile::exists(QString::fromLocal8Bit(argv[2]))) {
        std::cerr << "manual-pdf: " << argv[2] << " was not written\n";
        return 1;
    }
    std::cout << "manual-pdf: " << chapters.size() << " chapters, " << document.pageCount() << " pages\n";
    if (argc == 4) {
        const qreal scale = 900.0 / page.width();  // a page 900 pixels wide
        QImage first(QSize(900, qRound(page.height() * scale)), QImage::Format_RGB32);
        first.fill(Qt::white);
        QPainter painter(&first);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(scale, scale);
        document.drawContents(&painter, QRectF(QPointF(0, 0), page.size()));
        painter.end();
        if (!first.save(QString::fromLocal8Bit(argv[3]))) {
            std::cerr << "manual-pdf: cannot write " << argv[3] << "\n";
            return 1;
        }
    }
    return 0;
}
