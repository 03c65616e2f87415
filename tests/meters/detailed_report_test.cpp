#include <gtest/gtest.h>

#include "meters/detailed_report.h"

namespace veltro {
namespace {

ReportAppend Lines(std::size_t count, const std::string& prefix) {
    ReportAppend content;
    for (std::size_t i = 0; i < count; ++i) content.log.push_back(prefix + std::to_string(i));
    return content;
}

ReportAppend Rows(std::size_t count, const std::string& prefix) {
    ReportAppend content;
    for (std::size_t i = 0; i < count; ++i) content.rows.push_back({prefix + std::to_string(i), "1.000", "m3", "", ""});
    return content;
}

TEST(DetailedReport, TheLogKeepsItsNewestLinesAndCountsTheDroppedInOne) {
    constexpr std::size_t kMax = DetailedReport::kMaxLogLines;
    struct Step {
        const char* what;
        std::size_t appended;
        const char* prefix;
        const char* first;
        const char* second;
        std::string last;
    } steps[] = {
        // The window starts with one empty line.
        {"up to the limit nothing is dropped", kMax - 1, "a", "", "a0", "a" + std::to_string(kMax - 2)},
        {"one line more drops two: one for the count", 1, "b", "(2 older lines dropped)", "a1", "b0"},
        {"later drops add to the same line", 5, "c", "(7 older lines dropped)", "a6", "c4"},
    };
    DetailedReport report;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        report.append(Lines(s.appended, s.prefix));
        ASSERT_EQ(report.log().size(), kMax);
        EXPECT_EQ(report.log()[0], s.first);
        EXPECT_EQ(report.log()[1], s.second);
        EXPECT_EQ(report.log().back(), s.last);
    }
    report.clear();
    report.append(Lines(1, "d"));
    EXPECT_EQ(report.log(), std::vector<std::string>{"d0"});
}

TEST(DetailedReport, TheGridKeepsItsHeaderItsNewestRowsAndTheEmptyRowAfterThem) {
    constexpr std::size_t kMax = DetailedReport::kMaxRows;
    DetailedReport report;
    report.append(Rows(kMax - 2, "a"));  // with the header and the empty row: the limit
    ASSERT_EQ(static_cast<std::size_t>(report.rowCount()), kMax);
    EXPECT_EQ(report.row(1)[0], "a0");

    struct Step {
        const char* what;
        std::size_t appended;
        std::string countRow;
        const char* firstKept;
    } steps[] = {
        {"one row more drops two: one for the count", 1, "(2 older rows dropped)", "a2"},
        // The grid holds the header, the count, kMax - 3 rows and the empty row: b6 is the oldest kept.
        {"a batch larger than the grid keeps its newest rows", kMax + 3,
         "(" + std::to_string(2 + kMax + 3) + " older rows dropped)", "b6"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        report.append(Rows(s.appended, "b"));
        ASSERT_EQ(static_cast<std::size_t>(report.rowCount()), kMax);
        EXPECT_EQ(report.row(0), ReportGridRow{});  // the header is never written
        EXPECT_EQ(report.row(1)[0], s.countRow);
        EXPECT_EQ(report.row(2)[0], s.firstKept);
        EXPECT_EQ(report.row(report.rowCount() - 2)[0], "b" + std::to_string(s.appended - 1));
        EXPECT_EQ(report.row(report.rowCount() - 1), ReportGridRow{});
    }
    EXPECT_EQ(report.csvText(';').substr(0, report.row(1)[0].size() + 1), report.row(1)[0] + ";");
}

} // namespace
} // namespace veltro
