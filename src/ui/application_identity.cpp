#include "ui/application_identity.h"

#include <QApplication>

#include "veltro_version.h"

namespace veltro {

void ApplyApplicationIdentity(QApplication& application) {
    application.setApplicationName(QString::fromLatin1(kApplicationTitle));
    application.setApplicationDisplayName(QString::fromLatin1(kApplicationTitle));
    application.setApplicationVersion(QString::fromLatin1(kVersion));
}

} // namespace veltro
