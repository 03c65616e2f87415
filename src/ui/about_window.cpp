#include "ui/about_window.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/application_identity.h"
#include "ui/named_widgets.h"
#include "veltro_version.h"

namespace veltro {

TFAbout::TFAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFAbout"));
    setWindowTitle(QStringLiteral("About"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    QLabel* title = NamedLabel("Label_title", QString::fromLatin1(kApplicationTitle), this);
    QFont large = title->font();
    large.setPointSize(large.pointSize() * 2);
    large.setBold(true);
    title->setFont(large);
    QLabel* caption = NamedLabel("Label_caption", QString::fromLatin1(kMainWindowCaption), this);
    QLabel* version = NamedLabel("Label_version", QStringLiteral("Version ") + QString::fromLatin1(kVersion), this);
    QPushButton* close = NamedButton("Butt_ok", QStringLiteral("OK"), this);
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
