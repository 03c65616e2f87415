#include "ui/about_window.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/application_identity.h"
#include "veltro_version.h"

namespace veltro {

TFAbout::TFAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFAbout"));
    setWindowTitle(QStringLiteral("About"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(QString::fromLatin1(kApplicationTitle), this);
    title->setObjectName(QStringLiteral("Label_title"));
    QFont large = title->font();
    large.setPointSize(large.pointSize() * 2);
    large.setBold(true);
    title->setFont(large);
    auto* caption = new QLabel(QString::fromLatin1(kMainWindowCaption), this);
    caption->setObjectName(QStringLiteral("Label_caption"));
    auto* version = new QLabel(QStringLiteral("Version ") + QString::fromLatin1(kVersion), this);
    version->setObjectName(QStringLiteral("Label_version"));
    auto* close = new QPushButton(QStringLiteral("OK"), this);
    close->setObjectName(QStringLiteral("Butt_ok"));
    for (QLabel* label : {title, caption, version}) {
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }
    layout->addSpacing(12);
    layout->addWidget(close, 0, Qt::AlignCenter);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    setFixedSize(sizeHint().expandedTo(QSize(380, 0)));
}

} // namespace veltro
