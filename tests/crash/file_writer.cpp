// Writes one of the program's files the way the program does, for the crash-safety tests:
//
//   file_writer KIND PATH once A|B      writes version A or B once; exit 0, or 1 and the message on stderr
//   file_writer KIND PATH loop          writes A, B, A, ... until killed
//
// KIND: ini, accounts, table, report, log, display, receiver. The two versions differ in size and content,
// so a half-written file is never taken for either.
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include <QCoreApplication>
#include <QString>

#include "app/account_file.h"
#include "app/atomic_file.h"
#include "app/live_settings.h"
#include "app/save_file.h"
#include "decode/meter_response.h"
#include "devices/display_tables.h"
#include "devices/rxv_table.h"
#include "link/communication_log.h"
#include "meters/detailed_report.h"
#include "meters/table_file.h"

using namespace veltro;

namespace {

struct Outcome {
    bool ok = true;
    std::string message;  // what the program shows or logs when the write fails
};

Outcome FromResult(const FileWriteResult& result) { return {result.ok, result.error}; }

std::string Filler(char version, int line) {
    return std::string(version == 'A' ? 20 : 31, static_cast<char>('a' + line % 26)) + std::to_string(line);
}

Outcome WriteIni(const QString& path, char version) {
    LiveSettings settings(path, QStringLiteral("."));
    settings.setResponseWindow(version == 'A' ? 1000 : 2500);
    MainWindowState state = settings.mainWindow();
    state.fastAllowance = version == 'A' ? 3 : 17;
    settings.setMainWindow(state);
    if (settings.saveMainWindowState()) return {};
    return {false, settings.saveError().toStdString()};
}

Outcome WriteAccounts(const QString& path, char version) {
    AccountRecords records;
    for (int i = 0; i < (version == 'A' ? 40 : 90); ++i) {
        const AccountEntry entry{"user" + std::to_string(i), "pw" + std::string(1, version), "pw" + std::string(1, version),
                                 i % 3 ? "Operator" : "Administrator", {true, i % 2 == 0, false}};
        records = AddOrChangeAccount(records, entry, "2026-12-09").records;
    }
    return FromResult(WriteAccountFile(FileSystemPath(path), records));
}

Outcome WriteMeterTable(const QString& path, char version) {
    MeterTable table(version == 'A' ? 3 : 10);
    std::vector<std::vector<std::string>> rows;
    for (int r = 0; r < 440; ++r) {
        std::vector<std::string> row;
        for (int c = 0; c < table.columnCount(); ++c) row.push_back(Filler(version, r * 7 + c).substr(0, 12));
        rows.push_back(row);
    }
    table.replaceRows(rows);
    return FromResult(WriteFileAtomically(FileSystemPath(path), ExportTableText(table, ';', ',', '.')));
}

Outcome WriteReport(const QString& path, char version) {
    DetailedReport report;
    ReportAppend content;
    for (int i = 0; i < (version == 'A' ? 3000 : 5000); ++i) content.log.push_back(Filler(version, i));
    report.append(content);
    QString error;
    if (SaveFileAtomically(path, report.logText(), &error)) return {};
    return {false, error.toStdString()};
}

Outcome WriteLog(const QString& path, char version) {
    CommunicationLog log;
    for (int i = 0; i < (version == 'A' ? 4000 : 6000); ++i) log.append(QString::fromStdString(Filler(version, i)));
    QString error;
    if (log.saveTo(path, &error)) return {};
    return {false, error.toStdString() + " / " + log.lines().last().toStdString()};
}

Outcome WriteDeviceTable(const QString& path, char version, bool receiver) {
    DeviceTable table = receiver ? NewReceiverTable() : NewDisplayTable();
    for (int r = 1; table.addRow() && r < (version == 'A' ? 150 : 240); ++r)
        for (int c = 0; c < table.columnCount(); ++c) table.setCell(r, c, Filler(version, r + c).substr(0, 10));
    const std::string text = receiver ? ExportReceiverText(table, ';') : ExportDeviceTableText(table, ';');
    return FromResult(WriteFileAtomically(FileSystemPath(path), text));
}

Outcome Write(const std::string& kind, const QString& path, char version) {
    if (kind == "ini") return WriteIni(path, version);
    if (kind == "accounts") return WriteAccounts(path, version);
    if (kind == "table") return WriteMeterTable(path, version);
    if (kind == "report") return WriteReport(path, version);
    if (kind == "log") return WriteLog(path, version);
    if (kind == "display") return WriteDeviceTable(path, version, false);
    if (kind == "receiver") return WriteDeviceTable(path, version, true);
    return {false, "unknown kind " + kind};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: file_writer KIND PATH once A|B | loop\n");
        return 2;
    }
    const std::string kind = argv[1];
    const QString path = QString::fromLocal8Bit(argv[2]);
    if (std::strcmp(argv[3], "loop") == 0) {
        for (char version = 'B';; version = version == 'A' ? 'B' : 'A') {
            const Outcome outcome = Write(kind, path, version);
            if (!outcome.ok) {
                std::fprintf(stderr, "%s\n", outcome.message.c_str());
                return 1;
            }
        }
    }
    const Outcome outcome = Write(kind, path, argc > 4 && argv[4][0] == 'B' ? 'B' : 'A');
    if (outcome.ok) return 0;
    std::fprintf(stderr, "%s\n", outcome.message.c_str());
    return 1;
}
