#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <QByteArray>
#include <QString>

#include "meters/table_file.h"

namespace veltro {

class OperatorInterface;

// The first character of a one-character setting (a separator), or the default when the field is empty.
inline char FirstCharacter(const std::string& text, char fallback) { return text.empty() ? fallback : text.front(); }

// The whole file, or nothing (with the reason in `error`) when it cannot be read.
// Up to one byte past the import limit: a file that large is refused anyway.
std::optional<QByteArray> ReadWholeFile(const QString& path, QString* error = nullptr);

// The import of a table file: the open dialog, then the whole file read and parsed before any table is
// touched, at most `maxRows` lines. A cancelled dialog gives nothing; so does a refused file, after its
// message box.
std::optional<ImportedTable> ChooseImportFile(OperatorInterface& op, const QString& folder, char separator,
                                              std::size_t maxRows = MeterTable::kMaxRows - 1);
// The warnings after an import whose lines did not all fit a table of `tableRows` rows (header included).
void ReportImportLimits(OperatorInterface& op, const ImportedTable& imported, bool truncated, int tableRows);
// The export of a table: the save dialog proposing `proposedName`, then `text` written atomically; a
// failed write is shown.
void ExportWithDialog(OperatorInterface& op, const QString& folder, const QString& proposedName, std::string_view text);

} // namespace veltro
