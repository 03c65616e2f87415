#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "decode/meter_response.h"

namespace veltro {

// The detailed report's content: the report log `Memo_fullMbus` and the grid `gridData` (row 0 a header
// that is never written, then the rows the decoders append, always one empty row after the last).
// Both are bounded, since a read-all cycle left running appends for days: past kMaxLogLines lines or
// kMaxRows rows the oldest are dropped and one line (row 1 of the grid) counts them.
class DetailedReport {
public:
    static constexpr std::size_t kMaxLogLines = 100000;
    static constexpr std::size_t kMaxRows = 100000;  // the header and the trailing empty row included

    DetailedReport() {
        clear();
        m_log.emplace_back();  // the window starts with one empty line
    }

    // "Clear": an empty log, the grid back to its header and one empty row.
    void clear();
    void append(const ReportAppend& content);

    const std::vector<std::string>& log() const { return m_log; }
    int rowCount() const { return static_cast<int>(m_rows.size()); }
    const ReportGridRow& row(int index) const { return m_rows.at(static_cast<std::size_t>(index)); }

    // "Export CSV": rows 1 to the last (the trailing empty row included), each of the five cells followed
    // by the separator.
    std::string csvText(char separator) const;
    // "Save": the log lines as text lines.
    std::string logText() const;

    static constexpr const char* kProposedCsvName = "meters_data.csv";

private:
    // "(12 older lines dropped)": the first log line (and grid row 1) once some were dropped.
    static std::string DroppedText(std::size_t count, const char* what);

    std::vector<std::string> m_log;
    std::vector<ReportGridRow> m_rows;
    std::size_t m_droppedLines = 0;
    std::size_t m_droppedRows = 0;
};

} // namespace veltro
