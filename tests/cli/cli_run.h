#pragma once

// Runs the built veltro-cli as a user would and reads what it printed.
#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

namespace veltro::test {

struct CliRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline CliRun RunCli(const QStringList& arguments, int limitMs = 60000) {
    QProcess process;
    process.start(QStringLiteral(VELTRO_CLI_PATH), arguments);
    process.closeWriteChannel();
    process.waitForFinished(limitMs);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

inline QJsonObject Json(const CliRun& run) { return QJsonDocument::fromJson(run.out).object(); }

inline QStringList Strings(const QJsonValue& array) {
    QStringList texts;
    for (const auto& text : array.toArray()) texts << text.toString();
    return texts;
}

} // namespace veltro::test
