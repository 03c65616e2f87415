#include "ui/file_io.h"

#include <QFile>
#include <QFileInfo>

#include "app/operator_interface.h"
#include "app/save_file.h"
#include "ui/application_identity.h"

namespace veltro {
namespace {

const QString kTableSaveFilter = QStringLiteral("CSV files (*.csv);;TXT files (*.txt)");
const QString kTableOpenFilter = QStringLiteral("CSV (*.csv);;TXT (*.txt)");
const QString kExportErrorTitle = QStringLiteral("Error saving file");
const QString kImportErrorTitle = QStringLiteral("File Error");

} // namespace

std::optional<QByteArray> ReadWholeFile(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = file.errorString();
        return std::nullopt;
    }
    // One byte past the import limit is enough to refuse a file; a device such as /dev/zero never ends.
    QByteArray bytes = file.read(static_cast<qint64>(kMaxImportFileSize) + 1);
    if (file.error() != QFileDevice::NoError) {
        if (error) *error = file.errorString();
        return std::nullopt;
    }
    return bytes;
}

std::optional<ImportedTable> ChooseImportFile(OperatorInterface& op, const QString& folder, char separator,
                                              std::size_t maxRows) {
    const auto chosen = op.openFileName(folder, kTableOpenFilter);
    if (!chosen || chosen->isEmpty()) return std::nullopt;
    auto refuse = [&](const char* text) -> std::optional<ImportedTable> {
        op.message(kImportErrorTitle, QString::fromLatin1(text), OperatorInterface::Icon::Warning);
        return std::nullopt;
    };
    // A file far larger than any export is refused before it is read.
    if (QFileInfo(*chosen).size() > static_cast<qint64>(kMaxImportFileSize)) return refuse(kImportTooLargeMessage);
    const auto bytes = ReadWholeFile(*chosen);
    if (!bytes) return refuse(kWrongImportFileMessage);
    ImportedTable imported =
        ParseImportText(std::string_view(bytes->constData(), static_cast<std::size_t>(bytes->size())), separator, maxRows);
    switch (imported.refusal) {
    case ImportRefusal::TooLarge: return refuse(kImportTooLargeMessage);
    case ImportRefusal::NotText: return refuse(kImportNotTextMessage);
    case ImportRefusal::None: break;
    }
    return imported;
}

void ReportImportLimits(OperatorInterface& op, const ImportedTable& imported, bool truncated, int tableRows) {
    if (imported.tooManyFields)
        op.message(QString::fromLatin1(kApplicationTitle), QString::fromLatin1(kTooManyFieldsMessage),
                   OperatorInterface::Icon::Warning);
    if (truncated)
        op.message(QString::fromLatin1(kApplicationTitle),
                   QStringLiteral("The table holds at most %1 rows: the lines after the first %2 were not imported.")
                       .arg(tableRows)
                       .arg(tableRows - 1),
                   OperatorInterface::Icon::Warning);
}

void ExportWithDialog(OperatorInterface& op, const QString& folder, const QString& proposedName, std::string_view text) {
    const auto chosen = op.saveFileName(folder, proposedName, kTableSaveFilter);
    if (!chosen || chosen->isEmpty()) return;
    if (!SaveFileAtomically(*chosen, text))
        op.message(kExportErrorTitle, QString::fromLatin1(kExportWriteFailedMessage), OperatorInterface::Icon::Error);
}

} // namespace veltro
