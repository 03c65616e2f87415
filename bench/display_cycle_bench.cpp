// The display table write cycle against the simulated display behind a bridge: how long a cycle of k
// settings over r selected rows takes, set beside k × (r + 1) response windows (one window a row and
// one more at the end of each setting). See docs/PERFORMANCE.md.
//
//   display_cycle_bench [--rows R] [--settings K] [--window MS]
//
// Exits 1 when the display did not take every row or the cycle strays more than 5 % from the windows.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include "app/live_settings.h"
#include "app/operator_interface.h"
#include "devices/display_engine.h"
#include "engine/engine.h"
#include "link/operation_runner.h"
#include "sim/background_bridge.h"
#include "sim/display.h"
#include "sim/meters_file.h"

namespace {

using namespace veltro;

class BenchOperator final : public OperatorInterface {
public:
    Answer question(const QString&, const QString&, Buttons) override { return Answer::Yes; }
    void message(const QString& title, const QString& text, Icon) override {
        std::cerr << "message: " << title.toStdString() << ": " << text.toStdString() << "\n";
    }
    std::optional<QString> saveFileName(const QString&, const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> openFileName(const QString&, const QString&) override { return std::nullopt; }
};

int Option(int argc, char** argv, const std::string& name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (argv[i] == name) return std::stoi(argv[i + 1]);
    return fallback;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rows = std::clamp(Option(argc, argv, "--rows", 20), 1, 250);
    const int settings = std::clamp(Option(argc, argv, "--settings", 3), 1, 3);
    const int windowMs = std::max(50, Option(argc, argv, "--window", 300));

    QString error;
    auto bus = sim::MakeBus(std::vector<sim::MeterState>{}, error);
    if (!bus) {
        std::cerr << error.toStdString() << "\n";
        return 1;
    }
    sim::Display& display = sim::AddDisplay(*bus, {});
    sim::BackgroundBridge::Options options;
    options.timing.wireSpeed = true;
    auto simulator = sim::BackgroundBridge::Start(std::move(bus), options, error);
    if (!simulator) {
        std::cerr << "the simulated bus did not start: " << error.toStdString() << "\n";
        return 1;
    }

    QTemporaryDir home;
    BenchOperator op;
    Engine engine(home.filePath("veltro.ini"), home.path(), op);
    Settings s = engine.settings().settings();
    s.misc.retry = 0;
    s.misc.useVodud = true;
    s.vodud.ip = "127.0.0.1";
    s.vodud.port = std::to_string(simulator->port());
    engine.settings().setSettings(s);
    engine.settings().setResponseWindow(windowMs);

    DisplayEngine& page = engine.display();
    page.clearTable();
    for (int r = 1; r <= rows; ++r) {
        if (r > 1) page.addRow();
        page.setCell(r, kDisplayAddressColumn, std::to_string(r));
        page.setCell(r, kDisplayUnitColumn, "kWh");
        page.setCell(r, kDisplayUserColumn, std::to_string(100 + r));
    }
    page.selectAll(true);
    const DisplaySetting chosen[] = {DisplaySetting::Activate, DisplaySetting::Units, DisplaySetting::User};
    for (int k = 0; k < settings; ++k) page.tickSetting(chosen[k], true);

    QEventLoop loop;
    QObject::connect(&engine.runner(), &OperationRunner::idleChanged, &loop, [&loop](bool idle) {
        if (idle) loop.quit();
    });
    const auto start = std::chrono::steady_clock::now();
    if (!page.writeTable()) {
        std::cerr << "the cycle did not start\n";
        return 1;
    }
    if (!engine.runner().idle()) loop.exec();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    int taken = 0;
    for (int r = 1; r <= rows; ++r)
        if (display.active(r)) ++taken;
    // The bus thread owns the display; the cycle has ended, so nothing writes it any more.
    const double windows = static_cast<double>(settings) * (rows + 1) * windowMs / 1000.0;
    const double deviation = (seconds - windows) / windows * 100.0;
    std::printf("rows %d, settings %d, window %d ms: %.2f s for %.2f s of windows (%+.1f %%), %d of %d entries active\n",
                rows, settings, windowMs, seconds, windows, deviation, taken, rows);
    return taken == rows && std::abs(deviation) <= 5.0 ? 0 : 1;
}
