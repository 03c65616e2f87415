// The wildcard search over secondary addresses against generated buses at wire speed (2400 Bd, 11 bits
// per character both ways), counted on the bus side and set beside the floor of a plain depth-first
// descent over the same identifications. Runs for minutes at 250 meters: see docs/PERFORMANCE.md.
//
//   search_bench [--bus N[:SEED]]... [--direction msb|lsb|both] [--window MS]
//
// Exits 1 when a run did not find exactly the meters present, or its counts disagree with the bus.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QEventLoop>
#include <QLocale>
#include <QTemporaryDir>
#include <QTimer>

#include "app/live_settings.h"
#include "app/operator_interface.h"
#include "app/settings.h"
#include "engine/engine.h"
#include "link/communication_log.h"
#include "link/operation_runner.h"
#include "mbus/constants.h"
#include "mbus/frame_assembler.h"
#include "mbus/frames.h"
#include "mbus/identification.h"
#include "meters/meter_page.h"
#include "sim/background_bridge.h"
#include "sim/generated_bus.h"
#include "sim/meter.h"

namespace {

using namespace veltro;
using Clock = std::chrono::steady_clock;

constexpr int kBaud = sim::kDefaultBaud;
constexpr double kBitsPerCharacter = 11.0;
// 68 L L 68 C A CI, 8 bytes of mask, CS 16.
constexpr int kSelectionCharacters = 17;
constexpr int kReqUd2Characters = 5;
constexpr int kAckCharacters = 1;
// The longest a master must wait for silence to be sure of it at this speed.
constexpr double kSilenceSeconds = 330.0 / kBaud + 0.050;

double WireSeconds(std::size_t characters) { return static_cast<double>(characters) * kBitsPerCharacter / kBaud; }

// ---- bus side ------------------------------------------------------------------------------------

// What the line carried for one master frame: the frame and the answer the master got back.
struct LineFrame {
    enum class Kind { Selection, ReqUd2, SndNke, Other } kind = Kind::Other;
    std::size_t masterCharacters = 0;
    std::size_t answering = 0;         // devices that answered it
    std::size_t answerCharacters = 0;  // of the overlay: the longest answer
    Clock::time_point heard;
};

// Filled on the bridge thread under the bus lock, read by the main thread once the search has ended.
class LineTally {
public:
    void open(LineFrame frame) {
        std::lock_guard lock(m_mutex);
        m_frames.push_back(frame);
    }
    void answer(std::size_t characters) {
        std::lock_guard lock(m_mutex);
        if (m_frames.empty()) return;  // a device before the tap: cannot happen with MakeBus
        LineFrame& f = m_frames.back();
        ++f.answering;
        f.answerCharacters = std::max(f.answerCharacters, characters);
    }
    std::vector<LineFrame> frames() const {
        std::lock_guard lock(m_mutex);
        return m_frames;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<LineFrame> m_frames;
};

LineFrame::Kind Classify(const MasterFrame& frame) {
    if (frame.kind == MasterFrame::Kind::Long && frame.ci == frame::kCiSelection) return LineFrame::Kind::Selection;
    if (frame.kind == MasterFrame::Kind::Short && (frame.control & 0xDF) == (frame::kReqUd2 & 0xDF))
        return LineFrame::Kind::ReqUd2;
    if (frame.kind == MasterFrame::Kind::Short && frame.control == frame::kSndNke) return LineFrame::Kind::SndNke;
    return LineFrame::Kind::Other;
}

// First on the bus: every device hears every frame in bus order, so it opens the frame's record.
class Tap final : public sim::Device {
public:
    explicit Tap(LineTally& tally) : m_tally(tally) {}
    std::string label() const override { return "line tap"; }
    sim::DeviceResponse hear(const MasterFrame& frame, int) override {
        m_tally.open({Classify(frame), frame.bytes.size(), 0, 0, Clock::now()});
        return {};
    }

private:
    LineTally& m_tally;
};

// A meter whose answers are counted as they go onto the line.
class CountedMeter final : public sim::Device {
public:
    CountedMeter(std::unique_ptr<sim::Meter> meter, LineTally& tally) : m_meter(std::move(meter)), m_tally(tally) {}
    std::string label() const override { return m_meter->label(); }
    sim::DeviceResponse hear(const MasterFrame& frame, int lineBaud) override {
        sim::DeviceResponse response = m_meter->hear(frame, lineBaud);
        if (response.answer && !response.answer->empty()) m_tally.answer(response.answer->size());
        return response;
    }

private:
    std::unique_ptr<sim::Meter> m_meter;
    LineTally& m_tally;
};

// ---- the floor -----------------------------------------------------------------------------------

struct FloorMeter {
    std::string id;  // 8 digits, leftmost first
    std::size_t answerCharacters = 0;
};

struct Floor {
    long selections = 0;
    long reads = 0;
    long silent = 0;
    double seconds = 0;
};

// A depth-first descent without confirmations or retries: every mask of a level is selected, a mask
// that anyone answers is read once, and only a mask several meters answer is split further.
void Descend(const std::vector<const FloorMeter*>& below, int depth, bool msbFirst, Floor& floor) {
    const std::size_t index = static_cast<std::size_t>(msbFirst ? depth : kMaskPositions - 1 - depth);
    for (char digit = '0'; digit <= '9'; ++digit) {
        std::vector<const FloorMeter*> matching;
        for (const FloorMeter* m : below)
            if (m->id[index] == digit) matching.push_back(m);
        ++floor.selections;
        floor.seconds += WireSeconds(kSelectionCharacters);
        if (matching.empty()) {
            ++floor.silent;
            floor.seconds += kSilenceSeconds;
            continue;
        }
        std::size_t longest = 0;
        for (const FloorMeter* m : matching) longest = std::max(longest, m->answerCharacters);
        ++floor.reads;
        floor.seconds += WireSeconds(kAckCharacters + kReqUd2Characters + longest);
        if (matching.size() > 1 && depth + 1 < kMaskPositions) Descend(matching, depth + 1, msbFirst, floor);
    }
}

Floor DescentFloor(const std::vector<FloorMeter>& meters, bool msbFirst) {
    std::vector<const FloorMeter*> all;
    for (const FloorMeter& m : meters) all.push_back(&m);
    Floor floor;
    Descend(all, 0, msbFirst, floor);
    return floor;
}

// The length of a meter's RSP_UD, asked of the meter itself: selected by its own ID, then read.
std::optional<std::size_t> AnswerCharacters(const sim::MeterState& state, std::string& error) {
    auto meter = sim::Meter::Create(state, error);
    if (!meter) return std::nullopt;
    FrameAssembler assembler;
    const auto hear = [&](const Telegram& bytes) -> sim::DeviceResponse {
        for (const AssemblyEvent& event : assembler.feed(bytes, std::chrono::milliseconds{0}))
            if (event.frame) return meter->hear(*event.frame, kBaud);
        return {};
    };
    hear(BuildSelectionFrame(state.identification));
    const sim::DeviceResponse read = hear(BuildReqUd2(static_cast<std::uint8_t>(kSecondaryAddress)));
    if (!read.answer || read.answer->empty()) {
        error = "meter " + UnpackIdentification(state.identification) + " does not answer its own selection";
        return std::nullopt;
    }
    return read.answer->size();
}

// ---- a run ---------------------------------------------------------------------------------------

class BenchOperator final : public OperatorInterface {
public:
    Answer question(const QString&, const QString&, Buttons) override { return Answer::Yes; }
    void message(const QString& title, const QString& text, Icon) override {
        std::cerr << "message: " << title.toStdString() << ": " << text.toStdString() << "\n";
    }
    std::optional<QString> saveFileName(const QString&, const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> openFileName(const QString&, const QString&) override { return std::nullopt; }
};

struct BusChoice {
    int meters = 0;
    std::uint32_t seed = sim::kDefaultGeneratorSeed;
};

struct RunResult {
    BusChoice bus;
    bool msbFirst = true;
    int windowMs = 0;
    int present = 0;
    int found = 0;          // distinct present IDs in the table
    int invented = 0;       // table IDs no meter has
    int duplicates = 0;     // rows beyond one per ID
    long selections = 0, reads = 0, sndNke = 0, other = 0, telegrams = 0, lineCollisions = 0;
    double lineSeconds = 0;  // wire time of every frame and answer
    double spanSeconds = 0;  // first to last frame heard
    SearchStatistics engine;
    double heldSeconds = 0;  // the engine's own measure: link acquired to the worker's end
    Floor floor;
    bool ended = false;
    bool countsAgree = false;
};

std::optional<RunResult> Run(const BusChoice& choice, bool msbFirst, int windowMs, std::string& error) {
    RunResult r;
    r.bus = choice;
    r.msbFirst = msbFirst;
    r.windowMs = windowMs;
    const std::vector<sim::MeterState> states = sim::GeneratedMeterStates(choice.meters, choice.seed);
    r.present = static_cast<int>(states.size());

    std::vector<FloorMeter> floorMeters;
    std::set<std::string> present;
    for (const auto& state : states) {
        const auto characters = AnswerCharacters(state, error);
        if (!characters) return std::nullopt;
        floorMeters.push_back({UnpackIdentification(state.identification), *characters});
        present.insert(floorMeters.back().id);
    }
    r.floor = DescentFloor(floorMeters, msbFirst);

    LineTally tally;
    auto bus = std::make_unique<sim::Bus>();
    bus->add(std::make_unique<Tap>(tally));
    for (const auto& state : states) {
        auto meter = sim::Meter::Create(state, error);
        if (!meter) return std::nullopt;
        bus->add(std::make_unique<CountedMeter>(std::move(meter), tally));
    }
    sim::BackgroundBridge::Options bridgeOptions;
    bridgeOptions.timing.wireSpeed = true;
    QString simError;
    auto simulator = sim::BackgroundBridge::Start(std::move(bus), bridgeOptions, simError);
    if (!simulator) {
        error = "the simulated bus did not start: " + simError.toStdString();
        return std::nullopt;
    }

    QTemporaryDir home;
    if (!home.isValid()) {
        error = "no temporary folder: " + home.errorString().toStdString();
        return std::nullopt;
    }
    BenchOperator op;
    Engine engine(home.filePath("veltro.ini"), home.path(), op);
    Settings s = engine.settings().settings();
    s.misc.retry = 0;
    s.misc.msbSearch = msbFirst;
    s.misc.lsbSearch = !msbFirst;
    s.misc.useVodud = true;
    s.vodud.ip = "127.0.0.1";
    s.vodud.port = std::to_string(simulator->port());
    engine.settings().setSettings(s);
    engine.settings().setResponseWindow(windowMs);
    engine.meters().setLocale(QLocale::c());

    // A safety net far above any honest run: every mask of every level, each a window and a read.
    const long long limitMs = 60000LL + static_cast<long long>(choice.meters) * 40LL * (windowMs + 500);
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&engine.runner(), &OperationRunner::idleChanged, &loop, [&loop](bool idle) {
        if (idle) loop.quit();
    });
    engine.meters().findId("FFFFFFFF");
    if (!engine.runner().idle()) {
        limit.start(static_cast<int>(std::min<long long>(limitMs, 0x7FFFFFFF)));
        loop.exec();
    }
    r.ended = engine.runner().idle();
    if (!r.ended) {
        engine.meters().stopSecondary();
        engine.shutdown();
        error = "the search did not end within " + std::to_string(limitMs / 1000) + " s";
        return std::nullopt;
    }
    if (engine.runner().lastOutcome() != OperationOutcome::Completed) {
        const auto& lines = engine.log().lines();
        error = "the search did not complete: " + (lines.isEmpty() ? std::string("no log") : lines.back().toStdString());
        return std::nullopt;
    }
    const auto& report = engine.meters().lastSearch();
    if (!report) {
        error = "the search left no report";
        return std::nullopt;
    }
    r.engine = report->statistics;
    r.heldSeconds = static_cast<double>(report->elapsedMs) / 1000.0;

    std::map<std::string, int> rows;
    const MeterTable& table = engine.meters().table();
    for (int row = 1; row < table.rowCount(); ++row)
        if (!table.cell(row, 0).empty()) ++rows[table.cell(row, 0)];
    for (const auto& [id, n] : rows) {
        if (present.count(id)) ++r.found;
        else ++r.invented;
        r.duplicates += n - 1;
    }

    engine.shutdown();
    simulator.reset();  // its thread has finished with the tally
    const std::vector<LineFrame> frames = tally.frames();
    for (const LineFrame& f : frames) {
        switch (f.kind) {
        case LineFrame::Kind::Selection: ++r.selections; break;
        case LineFrame::Kind::ReqUd2: ++r.reads; break;
        case LineFrame::Kind::SndNke: ++r.sndNke; break;
        case LineFrame::Kind::Other: ++r.other; break;
        }
        r.telegrams += 1 + (f.answering > 0 ? 1 : 0);
        if (f.answering > 1 && f.kind == LineFrame::Kind::ReqUd2) ++r.lineCollisions;
        r.lineSeconds += WireSeconds(f.masterCharacters + f.answerCharacters);
    }
    if (!frames.empty())
        r.spanSeconds = std::chrono::duration<double>(frames.back().heard - frames.front().heard).count();
    r.countsAgree = r.engine.probes == r.selections && r.engine.reads == r.reads && r.engine.found == r.found &&
                    r.other == 0;
    return r;
}

// ---- report --------------------------------------------------------------------------------------

std::string Fixed(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

void PrintRun(const RunResult& r) {
    const double n = r.present;
    // Every selection and every read waits its whole window.
    const long exchanges = std::max(1L, r.selections + r.reads);
    const double windowSeconds = static_cast<double>(exchanges) * r.windowMs / 1000.0;
    std::cout << "\n" << r.bus.meters << " meters (seed " << r.bus.seed << "), " << (r.msbFirst ? "MSB" : "LSB") << "\n"
              << "  found " << r.found << " of " << r.present << ", invented " << r.invented << ", duplicate rows "
              << r.duplicates << "\n"
              << "  bus:    selections " << r.selections << ", REQ_UD2 " << r.reads << ", SND_NKE " << r.sndNke
              << ", other " << r.other << ", telegrams " << r.telegrams << ", colliding reads " << r.lineCollisions
              << ", line busy " << Fixed(r.lineSeconds, 1) << " s, first to last frame " << Fixed(r.spanSeconds, 1)
              << " s\n"
              << "  engine: probes " << r.engine.probes << ", reads " << r.engine.reads << ", collisions "
              << r.engine.collisions << ", found " << r.engine.found << ", bus held " << Fixed(r.heldSeconds, 1) << " s"
              << (r.countsAgree ? " (agrees with the bus)" : " (DISAGREES with the bus)") << "\n"
              << "  windows: " << exchanges << " x " << r.windowMs << " ms = " << Fixed(windowSeconds, 1)
              << " s; held beyond them " << Fixed(r.heldSeconds - windowSeconds, 1) << " s ("
              << Fixed((r.heldSeconds - windowSeconds) * 1000 / exchanges, 1) << " ms per exchange)\n"
              << "  floor:  selections " << r.floor.selections << " (silent " << r.floor.silent << "), REQ_UD2 "
              << r.floor.reads << ", " << Fixed(r.floor.seconds, 1) << " s\n"
              << "  per meter: selections " << Fixed(r.selections / n, 2) << " (floor " << Fixed(r.floor.selections / n, 2)
              << "), reads " << Fixed(r.reads / n, 2) << " (floor " << Fixed(r.floor.reads / n, 2) << "), telegrams "
              << Fixed(r.telegrams / n, 2) << " (floor " << Fixed((r.floor.selections + 3.0 * r.floor.reads) / n, 2)
              << "), bus time " << Fixed(r.heldSeconds / n, 2) << " s (floor " << Fixed(r.floor.seconds / n, 2) << " s, x"
              << Fixed(r.heldSeconds / r.floor.seconds, 2) << ")" << std::endl;
}

void PrintTable(const std::vector<RunResult>& results) {
    std::cout << "\n| meters | order | found / present | invented | selections / meter (floor) | reads / meter (floor) "
                 "| telegrams / meter (floor) | bus time / meter (floor) |\n"
                 "|---|---|---|---|---|---|---|---|\n";
    for (const RunResult& r : results) {
        const double n = r.present;
        std::cout << "| " << r.bus.meters << " | " << (r.msbFirst ? "MSB" : "LSB") << " | " << r.found << " / "
                  << r.present << " | " << r.invented << " | " << Fixed(r.selections / n, 2) << " ("
                  << Fixed(r.floor.selections / n, 2) << ") | " << Fixed(r.reads / n, 2) << " ("
                  << Fixed(r.floor.reads / n, 2) << ") | " << Fixed(r.telegrams / n, 2) << " ("
                  << Fixed((r.floor.selections + 3.0 * r.floor.reads) / n, 2) << ") | " << Fixed(r.heldSeconds / n, 2)
                  << " s (" << Fixed(r.floor.seconds / n, 2) << " s) |\n";
    }
}

// ---- arguments -----------------------------------------------------------------------------------

std::optional<long long> Integer(const std::string& text, long long lowest, long long highest) {
    if (text.empty() || text.size() > 10 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const long long value = std::stoll(text);
    if (value < lowest || value > highest) return std::nullopt;
    return value;
}

int Usage(const std::string& reason) {
    std::cerr << "search_bench: " << reason << "\n"
              << "usage: search_bench [--bus N[:SEED]]... [--direction msb|lsb|both] [--window MS]\n"
              << "  --bus        a generated bus of N meters (1.." << sim::kMaxGeneratedMeters
              << "); default 50:1 and 250:1\n"
              << "  --direction  default both\n"
              << "  --window     the response window, " << kResponseWindowLowest << ".." << kResponseWindowHighest
              << " ms; default " << kResponseWindowLowest << "\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    std::vector<BusChoice> buses;
    std::vector<bool> directions{true, false};
    int windowMs = kResponseWindowLowest;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") return Usage("the search over generated buses at wire speed");
        if (i + 1 >= argc) return Usage("missing value after " + a);
        const std::string v = argv[++i];
        if (a == "--bus") {
            const auto colon = v.find(':');
            const auto meters = Integer(v.substr(0, colon), 1, sim::kMaxGeneratedMeters);
            const auto seed = colon == std::string::npos ? std::optional<long long>(sim::kDefaultGeneratorSeed)
                                                         : Integer(v.substr(colon + 1), 0, 0xFFFFFFFFLL);
            if (!meters || !seed) return Usage("bad --bus " + v);
            buses.push_back({static_cast<int>(*meters), static_cast<std::uint32_t>(*seed)});
        } else if (a == "--direction") {
            if (v == "msb") directions = {true};
            else if (v == "lsb") directions = {false};
            else if (v == "both") directions = {true, false};
            else return Usage("bad --direction " + v);
        } else if (a == "--window") {
            const auto ms = Integer(v, kResponseWindowLowest, kResponseWindowHighest);
            if (!ms) return Usage("bad --window " + v);
            windowMs = static_cast<int>(*ms);
        } else {
            return Usage("unknown argument " + a);
        }
    }
    if (buses.empty()) buses = {{50, sim::kDefaultGeneratorSeed}, {250, sim::kDefaultGeneratorSeed}};

    std::cout << "wire speed " << kBaud << " Bd, 11 bits per character both ways, answers after "
              << sim::LineTiming{}.answerDelay.count() << " ms; response window " << windowMs
              << " ms; Retries 0; no global initialisation\n"
              << "floor: every frame at wire time, " << Fixed(kSilenceSeconds * 1000, 1)
              << " ms of silence per unanswered mask (330 bit times + 50 ms)" << std::endl;
    std::vector<RunResult> results;
    bool allGood = true;
    for (const BusChoice& bus : buses) {
        for (bool msbFirst : directions) {
            std::string error;
            const auto result = Run(bus, msbFirst, windowMs, error);
            if (!result) {
                std::cerr << "search_bench: " << bus.meters << " meters, " << (msbFirst ? "MSB" : "LSB") << ": " << error
                          << "\n";
                allGood = false;
                continue;
            }
            PrintRun(*result);
            allGood = allGood && result->found == result->present && result->invented == 0 && result->duplicates == 0 &&
                      result->countsAgree;
            results.push_back(*result);
        }
    }
    PrintTable(results);
    return allGood ? 0 : 1;
}
