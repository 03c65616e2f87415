#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QString>

#include "sim/bus.h"
#include "sim/display.h"
#include "sim/meter.h"
#include "sim/rxv_kt.h"
#include "sim/rxvpico.h"

namespace veltro::sim {

// Reads the meters of a meters file (JSON, described in docs/SIMULATOR.md). `baseDirectory` resolves
// relative "rsp_ud_file" paths. Nothing, and `error` naming the meter and the key, when anything in the
// file is wrong: unknown keys, values out of range, records that do not match their DIF, telegrams that
// do not fit one frame.
// What a meters file describes: its meters, with a "display" object the display, with "rxv_kt" or
// "wireless" the RXV-KT receiver and the radio meters it hears, and with "rxvpico" the RXVpico receiver.
struct BusDescription {
    std::vector<MeterState> meters;
    std::optional<DisplayConfig> display;
    std::optional<RxvKtConfig> receiver;
    std::optional<RxvPicoConfig> rxvpico;
};

std::optional<BusDescription> ParseBusJson(const QByteArray& json, const QString& baseDirectory, QString& error);
std::optional<BusDescription> LoadBusFile(const QString& path, QString& error);
// The meters only (the display and the receiver are checked, then left out).
std::optional<std::vector<MeterState>> ParseMetersJson(const QByteArray& json, const QString& baseDirectory,
                                                       QString& error);

std::optional<std::vector<MeterState>> LoadMetersFile(const QString& path, QString& error);

// A bus of meters made from the states; nothing and `error` when a state cannot make a meter.
std::unique_ptr<Bus> MakeBus(std::vector<MeterState> meters, QString& error);
// The same, and the display after the meters, its entries read from them, then the RXV-KT, then the RXVpico.
std::unique_ptr<Bus> MakeBus(BusDescription description, QString& error);

} // namespace veltro::sim
