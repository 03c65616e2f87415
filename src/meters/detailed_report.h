#pragma once

#include <string>
#include <vector>

#include "decode/meter_response.h"

namespace veltro {

// The detailed report's content: the report log `Memo_fullMbus` and the grid `gridData` (row 0 a header
// that is never written, then the rows the decoders append, always one empty row after the last).
class DetailedReport {
public:
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
    std::vector<std::string> m_log;
    std::vector<ReportGridRow> m_rows;
};

} // namespace veltro
