#include "app/program_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "app/program_home.h"
#include "app/save_file.h"

namespace veltro {

QString ProgramFolder(const QStringList& arguments) {
    const int home = arguments.indexOf(QStringLiteral("--home"));
    if (home >= 0 && home + 1 < arguments.size()) return QDir(arguments.at(home + 1)).absolutePath();
    for (const QString& argument : arguments)
        if (argument.startsWith(QStringLiteral("--home="))) return QDir(argument.mid(7)).absolutePath();
    const QString fromEnvironment = qEnvironmentVariable("VELTRO_HOME");
    if (!fromEnvironment.isEmpty()) return QDir(fromEnvironment).absolutePath();
    const QString executableFolder = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                     : arguments.isEmpty()       ? QDir::currentPath()
                                                                 : QFileInfo(arguments.first()).absolutePath();
    const ProgramHome chosen = ChooseProgramHome({std::nullopt, std::string(), FileSystemPath(executableFolder),
                                                  qEnvironmentVariable("XDG_CONFIG_HOME").toStdString(),
                                                  QDir::homePath().toStdString()});
    const QString folder = QString::fromStdString(chosen.folder.string());
    // An installed program keeps the user's settings and accounts in a folder made on first use.
    if (chosen.perUser) QDir().mkpath(folder);
    return folder;
}

QString IniFilePath(const QString& programFolder, const QString& executableName) {
    return QDir(programFolder).filePath(QFileInfo(executableName).completeBaseName() + QStringLiteral(".ini"));
}

} // namespace veltro
