#include "app/program_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace veltro {

QString ProgramFolder(const QStringList& arguments) {
    const int home = arguments.indexOf(QStringLiteral("--home"));
    if (home >= 0 && home + 1 < arguments.size()) return QDir(arguments.at(home + 1)).absolutePath();
    for (const QString& argument : arguments)
        if (argument.startsWith(QStringLiteral("--home="))) return QDir(argument.mid(7)).absolutePath();
    const QString fromEnvironment = qEnvironmentVariable("VELTRO_HOME");
    if (!fromEnvironment.isEmpty()) return QDir(fromEnvironment).absolutePath();
    if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath();
    return arguments.isEmpty() ? QDir::currentPath() : QFileInfo(arguments.first()).absolutePath();
}

QString IniFilePath(const QString& programFolder, const QString& executableName) {
    return QDir(programFolder).filePath(QFileInfo(executableName).completeBaseName() + QStringLiteral(".ini"));
}

} // namespace veltro
