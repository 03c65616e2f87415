#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QString>

#include "sim/bus.h"
#include "sim/meter.h"

namespace veltro::sim {

// Reads the meters of a meters file (JSON, described in docs/SIMULATOR.md). `baseDirectory` resolves
// relative "rsp_ud_file" paths. Nothing, and `error` naming the meter and the key, when anything in the
// file is wrong: unknown keys, values out of range, records that do not match their DIF, telegrams that
// do not fit one frame.
std::optional<std::vector<MeterState>> ParseMetersJson(const QByteArray& json, const QString& baseDirectory,
                                                       QString& error);

std::optional<std::vector<MeterState>> LoadMetersFile(const QString& path, QString& error);

// A bus of meters made from the states; nothing and `error` when a state cannot make a meter.
std::unique_ptr<Bus> MakeBus(std::vector<MeterState> meters, QString& error);

} // namespace veltro::sim
