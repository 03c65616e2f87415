#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "mbus/hex.h"
#include "meters/search_descent.h"

namespace veltro {
namespace {

using Kind = ProbeOutcome::Kind;
using Lines = std::vector<std::string>;

// The simulator's default bus (sim/default_bus.cpp); 99000017 and 99000027 share primary address 0.
const Lines kDefaultBusIds = {"40112301", "51200417", "62300525", "73400633", "18220041", "18220058",
                              "30031977", "24681357", "99000017", "99000027", "20190001"};

// Meters on a line as the selection telegram reaches them. Each meter whose ID the mask matches answers:
// none is silence, one is read validly, several overlay into a frame that does not decode (or, with
// `collisionReadsAs`, into one that decodes with that ID). The exact selection of an ID is acknowledged
// with E5h by every meter holding it; acknowledgements overlay into one E5h.
struct FakeBus {
    Lines ids;
    std::string collisionReadsAs;

    // The mask as the telegram carries it: bytes 7..10, positions 2 and 1 in byte 7, F nibbles wildcards.
    static bool Matches(const Telegram& frame, const std::string& id) {
        for (int position = 1; position <= 8; ++position) {
            const std::uint8_t byte = frame[7 + static_cast<std::size_t>((position - 1) / 2)];
            const int nibble = position % 2 == 1 ? byte & 0x0F : byte >> 4;
            if (nibble != 0x0F && nibble != id[static_cast<std::size_t>(8 - position)] - '0') return false;
        }
        return true;
    }

    ProbeOutcome answer(const SearchProbe& probe) const {
        EXPECT_EQ(probe.frame.size(), 17u);
        Lines matching;
        for (const auto& id : ids)
            if (Matches(probe.frame, id)) matching.push_back(id);
        if (matching.empty()) return {Kind::Silent, ""};
        if (probe.kind == ProbeKind::Confirm) return {Kind::Answered, ""};
        if (matching.size() == 1) return {Kind::Answered, matching.front()};
        if (!collisionReadsAs.empty()) return {Kind::Answered, collisionReadsAs};
        return {Kind::Collision, ""};
    }
};

struct SearchRun {
    Lines log;  // probe lines and "Collision", in order
    Lines found;
    int wildcardProbes = 0;
    int confirmProbes = 0;
    std::map<std::string, int> progressAt;  // the progress bar while a probe line is first logged
    int finalProgress = 0;
};

SearchRun Search(const FakeBus& bus, SearchDirection direction, int retries, const std::string& stopBefore = "") {
    SearchRun run;
    SearchDescent descent = StartDescent(direction, retries);
    // Ten million probes would be every full ID: far more than any of these buses may take.
    for (int guard = 0; guard < 100000; ++guard) {
        const auto probe = NextProbe(descent);
        if (!probe) {
            run.finalProgress = descent.progress;
            return run;
        }
        if (probe->log == stopBefore) {
            descent = StopDescent(descent);
            continue;
        }
        run.log.push_back(probe->log);
        run.progressAt.emplace(probe->log, descent.progress);
        ++(probe->kind == ProbeKind::Wildcard ? run.wildcardProbes : run.confirmProbes);
        DescentStep step = AdvanceDescent(descent, bus.answer(*probe));
        run.log.insert(run.log.end(), step.log.begin(), step.log.end());
        if (step.meterFound) run.found.push_back(*step.meterFound);
        descent = std::move(step.descent);
    }
    ADD_FAILURE() << "the descent did not end";
    return run;
}

// "Checking " lines for a pattern whose '?' runs through the digits from..to, each line `times` times.
Lines Checks(std::string pattern, int from, int to, int times = 1) {
    Lines lines;
    const auto at = pattern.find('?');
    for (int v = from; v <= to; ++v) {
        pattern[at] = static_cast<char>('0' + v);
        for (int i = 0; i < times; ++i) lines.push_back("Checking " + pattern + "...");
    }
    return lines;
}

Lines Join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Lines Sorted(Lines lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST(CheckIdField, TellsSingleSelectionFullSearchAndRefusal) {
    const struct {
        const char* text;
        IdFieldRequest request;
    } cases[] = {
        {"FFFFFFFF", IdFieldRequest::FullSearch},
        {"12345678", IdFieldRequest::SingleSelection},
        {"00000000", IdFieldRequest::SingleSelection},
        // Refused, and nothing is sent
        {"1234567", IdFieldRequest::Refused},       // seven digits
        {"123456789", IdFieldRequest::Refused},     // nine
        {"", IdFieldRequest::Refused},
        {"1234FFFF", IdFieldRequest::Refused},      // a partial wildcard is no single selection
        {"F2345678", IdFieldRequest::Refused},
        {"FFFFFFF0", IdFieldRequest::Refused},
        {"ffffffff", IdFieldRequest::Refused},      // the field takes an upper-case F only
        {"1234567A", IdFieldRequest::Refused},
        {"1234 678", IdFieldRequest::Refused},
        {"FFFFFFFFF", IdFieldRequest::Refused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const IdFieldCheck check = CheckIdField(c.text);
        EXPECT_EQ(check.request, c.request);
        EXPECT_EQ(check.log, c.request == IdFieldRequest::Refused ? Lines{"Incorrect ID entered"} : Lines{});
    }
}

TEST(NextProbe, GivesTheMaskItsSelectionTelegramAndItsLogLine) {
    const struct {
        const char* what;
        SearchDirection direction;
        std::vector<ProbeOutcome> before;
        ProbeKind kind;
        const char* log;
        const char* frame;
    } cases[] = {
        {"LSB starts at position 1", SearchDirection::LsbFirst, {}, ProbeKind::Wildcard, "Checking FFFFFFF0...",
         "68 0B 0B 68 53 FD 52 F0 FF FF FF FF FF FF FF 8B 16 "},
        {"MSB starts at position 8", SearchDirection::MsbFirst, {}, ProbeKind::Wildcard, "Checking 0FFFFFFF...",
         "68 0B 0B 68 53 FD 52 FF FF FF 0F FF FF FF FF AA 16 "},
        {"a collision at FFFFFFF1 fixes position 2", SearchDirection::LsbFirst,
         {{Kind::Silent, ""}, {Kind::Collision, ""}}, ProbeKind::Wildcard, "Checking FFFFFF01...",
         "68 0B 0B 68 53 FD 52 01 FF FF FF FF FF FF FF 9C 16 "},
        {"a collision at 9FFFFFFF fixes position 7", SearchDirection::MsbFirst,
         {{Kind::Silent, ""}, {Kind::Silent, ""}, {Kind::Silent, ""}, {Kind::Silent, ""}, {Kind::Silent, ""},
          {Kind::Silent, ""}, {Kind::Silent, ""}, {Kind::Silent, ""}, {Kind::Silent, ""}, {Kind::Collision, ""}},
         ProbeKind::Wildcard, "Checking 90FFFFFF...", "68 0B 0B 68 53 FD 52 FF FF FF 90 FF FF FF FF 2B 16 "},
        {"a wildcard answer is confirmed by selecting its ID alone", SearchDirection::LsbFirst,
         {{Kind::Silent, ""}, {Kind::Answered, "40112301"}}, ProbeKind::Confirm, "Checking 40112301...",
         "68 0B 0B 68 53 FD 52 01 23 11 40 FF FF FF FF 13 16 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SearchDescent descent = StartDescent(c.direction, 0);
        for (const auto& outcome : c.before) descent = AdvanceDescent(descent, outcome).descent;
        const auto probe = NextProbe(descent);
        ASSERT_TRUE(probe);
        EXPECT_EQ(probe->kind, c.kind);
        EXPECT_EQ(probe->log, c.log);
        EXPECT_EQ(HexRendering(probe->frame), c.frame);
    }
}

TEST(SearchDescent, ProbesInTheOrderOfTheWorkedCases) {
    const FakeBus twoMeters{{"10000011", "20000021"}, ""};
    const struct {
        const char* what;
        FakeBus bus;
        SearchDirection direction;
        int retries;
        Lines log;
        Lines found;
    } cases[] = {
        {"empty bus, LSB: ten probes and nothing found", {}, SearchDirection::LsbFirst, 0, Checks("FFFFFFF?", 0, 9), {}},
        {"IDs ending 11 and 21, LSB: FFFFFFF1 collides, FFFFFF11 and FFFFFF21 find one each", twoMeters,
         SearchDirection::LsbFirst, 0,
         Join({Checks("FFFFFFF?", 0, 1),
               {"Collision", "Checking FFFFFF01...", "Checking FFFFFF11...", "Checking 10000011...",
                "Checking FFFFFF21...", "Checking 20000021..."},
               Checks("FFFFFF?1", 3, 9), Checks("FFFFFFF?", 2, 9)}),
         {"10000011", "20000021"}},
        {"the same meters, MSB: leftmost digits 1 and 2 find one each, no collision", twoMeters,
         SearchDirection::MsbFirst, 0,
         Join({Checks("?FFFFFFF", 0, 1), {"Checking 10000011..."}, Checks("?FFFFFFF", 2, 2), {"Checking 20000021..."},
               Checks("?FFFFFFF", 3, 9)}),
         {"10000011", "20000021"}},
        // Retries repeat silent probes only, at every level
        {"empty bus, LSB, Retries 1: each mask twice", {}, SearchDirection::LsbFirst, 1, Checks("FFFFFFF?", 0, 9, 2), {}},
        {"one meter, Retries 2: its mask and its confirmation once", {{"00000003"}, ""}, SearchDirection::LsbFirst, 2,
         Join({Checks("FFFFFFF?", 0, 2, 3), {"Checking FFFFFFF3...", "Checking 00000003..."},
               Checks("FFFFFFF?", 4, 9, 3)}),
         {"00000003"}},
        {"collision, Retries 1: descended once, silent masks below it twice", twoMeters, SearchDirection::LsbFirst, 1,
         Join({Checks("FFFFFFF?", 0, 0, 2),
               {"Checking FFFFFFF1...", "Collision", "Checking FFFFFF01...", "Checking FFFFFF01...",
                "Checking FFFFFF11...", "Checking 10000011...", "Checking FFFFFF21...", "Checking 20000021..."},
               Checks("FFFFFF?1", 3, 9, 2), Checks("FFFFFFF?", 2, 9, 2)}),
         {"10000011", "20000021"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const SearchRun run = Search(c.bus, c.direction, c.retries);
        EXPECT_EQ(run.log, c.log);
        EXPECT_EQ(run.found, c.found);
    }
}

TEST(SearchDescent, FindsEveryMeterOnceAndInventsNone) {
    const struct {
        const char* what;
        FakeBus bus;
        Lines found;
    } cases[] = {
        {"the simulator's default bus", {kDefaultBusIds, ""}, kDefaultBusIds},
        {"IDs differing in the leftmost digit only", {{"12345678", "22345678"}, ""}, {"12345678", "22345678"}},
        {"IDs differing in the rightmost digit only", {{"12345678", "12345679"}, ""}, {"12345678", "12345679"}},
        {"a collision that decodes validly as a third ID", {{"10000011", "20000021"}, "30000031"},
         {"10000011", "20000021"}},
        {"two meters holding the same ID cannot be told apart", {{"55555555", "55555555"}, ""}, {}},
    };
    for (const auto& c : cases) {
        for (const auto direction : {SearchDirection::MsbFirst, SearchDirection::LsbFirst}) {
            SCOPED_TRACE(std::string(c.what) + (direction == SearchDirection::MsbFirst ? ", MSB" : ", LSB"));
            EXPECT_EQ(Sorted(Search(c.bus, direction, 0).found), Sorted(c.found));
        }
    }
}

// Counted by hand from the meters' digits: every level has ten masks times (Retries + 1) silent probes,
// one probe per answered or colliding mask, and a confirmation for each meter found at a wildcard mask.
TEST(SearchDescent, ProbeCounts) {
    const struct {
        const char* what;
        Lines ids;
        SearchDirection direction;
        int retries;
        int wildcardProbes;
        int confirmProbes;
    } cases[] = {
        // MSB: 1, 2 and 9 collide; 18220041/58 and 99000017/27 part at position 2 (6 levels each), 2x at 7
        {"default bus, MSB", kDefaultBusIds, SearchDirection::MsbFirst, 0, 10 + 60 + 10 + 60, 11},
        // LSB: 1 and 7 collide; under 1, 01 collides once more; under 7, 17 does
        {"default bus, LSB", kDefaultBusIds, SearchDirection::LsbFirst, 0, 10 + 10 + 10 + 10 + 10, 11},
        // 13 collisions and 11 answers are probed once, the other 116 masks twice
        {"default bus, MSB, Retries 1", kDefaultBusIds, SearchDirection::MsbFirst, 1, 24 + 2 * 116, 11},
        // 4 collisions and 11 answers once, 35 masks twice
        {"default bus, LSB, Retries 1", kDefaultBusIds, SearchDirection::LsbFirst, 1, 15 + 2 * 35, 11},
        {"IDs parting at the last position are found by their full ID, unconfirmed", {"12345678", "22345678"},
         SearchDirection::LsbFirst, 0, 80, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const SearchRun run = Search({c.ids, ""}, c.direction, c.retries);
        EXPECT_EQ(run.wildcardProbes, c.wildcardProbes);
        EXPECT_EQ(run.confirmProbes, c.confirmProbes);
    }
}

TEST(SearchDescent, AnswersThatCannotBeTheSelectedMeterAreCollisions) {
    const struct {
        const char* what;
        std::vector<ProbeOutcome> outcomes;  // from the first LSB probe, FFFFFFF0
        const char* next;
    } cases[] = {
        {"an ID contradicting the mask's fixed digit", {{Kind::Answered, "12345671"}}, "Checking FFFFFF00..."},
        {"an ID of seven digits", {{Kind::Answered, "1234560"}}, "Checking FFFFFF00..."},
        {"an ID that is not decimal", {{Kind::Answered, "1234A670"}}, "Checking FFFFFF00..."},
        {"a silent confirmation", {{Kind::Answered, "12345670"}, {Kind::Silent, ""}}, "Checking FFFFFF00..."},
        {"a garbled confirmation", {{Kind::Answered, "12345670"}, {Kind::Collision, ""}}, "Checking FFFFFF00..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SearchDescent descent = StartDescent(SearchDirection::LsbFirst, 3);
        DescentStep step{descent, {}, std::nullopt};
        for (const auto& outcome : c.outcomes) {
            step = AdvanceDescent(descent, outcome);
            descent = step.descent;
        }
        EXPECT_EQ(step.log, Lines{"Collision"});
        EXPECT_FALSE(step.meterFound);
        EXPECT_EQ(NextProbe(descent)->log, c.next);
    }
}

TEST(SearchDescent, StopSendsNoFurtherProbe) {
    const struct {
        const char* stopBefore;
        const char* lastProbe;
        Lines found;
    } cases[] = {
        {"Checking FFFFFFF0...", nullptr, {}},
        // deeper levels of LSB on the default bus: 01 holds 20190001 and 40112301
        {"Checking FFFFFF11...", "Checking FFFFF901...", {"20190001", "40112301"}},
        {"Checking 40112301...", "Checking FFFFF301...", {"20190001"}},  // answered, never confirmed
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stopBefore);
        const SearchRun run = Search({kDefaultBusIds, ""}, SearchDirection::LsbFirst, 0, c.stopBefore);
        EXPECT_EQ(run.found, c.found);
        EXPECT_EQ(run.log.empty() ? "" : run.log.back(), c.lastProbe ? c.lastProbe : "");
    }
    const SearchDescent stopped = StopDescent(StartDescent(SearchDirection::MsbFirst, 0));
    const DescentStep late = AdvanceDescent(stopped, {Kind::Answered, "12345678"});
    EXPECT_FALSE(late.meterFound);
    EXPECT_FALSE(NextProbe(late.descent));
}

TEST(SearchDescent, ProgressStepsWithTheFirstLevelDigits) {
    const SearchRun run = Search({{"10000011", "20000021"}, ""}, SearchDirection::LsbFirst, 0);
    const struct {
        const char* probe;
        int progress;
    } cases[] = {
        {"Checking FFFFFFF0...", 1}, {"Checking FFFFFFF1...", 2}, {"Checking FFFFFF01...", 2},
        {"Checking 20000021...", 2}, {"Checking FFFFFF91...", 2}, {"Checking FFFFFFF2...", 3},
        {"Checking FFFFFFF7...", 8}, {"Checking FFFFFFF8...", 9},
        {"Checking FFFFFFF9...", 9},  // it advances while below its maximum minus 1
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.probe);
        ASSERT_TRUE(run.progressAt.count(c.probe));
        EXPECT_EQ(run.progressAt.at(c.probe), c.progress);
    }
    EXPECT_EQ(run.finalProgress, 9);
}

} // namespace
} // namespace veltro
