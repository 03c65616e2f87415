#include "meters/detailed_report.h"

namespace veltro {
namespace {

// Keeps `entries` at `limit` by dropping the oldest after the first `kept` (the grid's header); the
// entry at `kept` then counts everything dropped so far.
template <typename Entry, typename CountEntry>
void DropOldest(std::vector<Entry>& entries, std::size_t kept, std::size_t limit, std::size_t& dropped,
                CountEntry countEntry) {
    if (entries.size() <= limit) return;
    const bool counted = dropped > 0;
    const auto from = entries.begin() + static_cast<std::ptrdiff_t>(kept + (counted ? 1 : 0));
    const std::size_t excess = entries.size() - limit + (counted ? 0 : 1);
    entries.erase(from, from + static_cast<std::ptrdiff_t>(excess));
    dropped += excess;
    const auto at = entries.begin() + static_cast<std::ptrdiff_t>(kept);
    if (counted) *at = countEntry(dropped);
    else entries.insert(at, countEntry(dropped));
}

} // namespace

std::string DetailedReport::DroppedText(std::size_t count, const char* what) {
    return "(" + std::to_string(count) + " older " + what + " dropped)";
}

void DetailedReport::clear() {
    m_log.clear();
    m_rows.assign(2, ReportGridRow{});
    m_droppedLines = 0;
    m_droppedRows = 0;
}

void DetailedReport::append(const ReportAppend& content) {
    m_log.insert(m_log.end(), content.log.begin(), content.log.end());
    for (const auto& row : content.rows) {
        m_rows.back() = row;
        m_rows.emplace_back();
    }
    DropOldest(m_log, 0, kMaxLogLines, m_droppedLines, [](std::size_t n) { return DroppedText(n, "lines"); });
    DropOldest(m_rows, 1, kMaxRows, m_droppedRows, [](std::size_t n) { return ReportGridRow{DroppedText(n, "rows")}; });
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
