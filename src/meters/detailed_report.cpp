#include "meters/detailed_report.h"

namespace veltro {

void DetailedReport::clear() {
    m_log.clear();
    m_rows.assign(2, ReportGridRow{});
}

void DetailedReport::append(const ReportAppend& content) {
    m_log.insert(m_log.end(), content.log.begin(), content.log.end());
    for (const auto& row : content.rows) {
        m_rows.back() = row;
        m_rows.emplace_back();
    }
}

std::string DetailedReport::csvText(char separator) const {
    std::string text;
    for (std::size_t r = 1; r < m_rows.size(); ++r) {
        for (const auto& cell : m_rows[r]) {
            text += cell;
            text += separator;
        }
        text += '\n';
    }
    return text;
}

std::string DetailedReport::logText() const {
    std::string text;
    for (const auto& line : m_log) text += line + '\n';
    return text;
}

} // namespace veltro
