// libFuzzer harness for the RXV-KT receiver (seeds in fuzz/corpus/rxv_kt/). The input is read as bytes
// from the receiver in chunks through the acquisition, as a reply to an activation, as an import file of
// the receiver table and as the cells of a row for every programming step, key storage and binding. A
// found telegram runs 68h .. 16h inside the input; the table keeps 1..450 rows of 10 cells; an imported
// table exports to a file that imports to the same table; an ID sent is 8 characters 0-9/A-F.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "devices/rxv_kt.h"
#include "devices/rxv_table.h"
#include "require.h"

using namespace veltro;

namespace {

bool IsId(std::string_view id) {
    return id.size() == 8 && std::all_of(id.begin(), id.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

void RequireShape(const DeviceTable& table) {
    Require(table.columnCount() == kRxvColumns && table.dataRowCount() >= 1 && table.dataRowCount() <= kRxvMaxRows);
    for (int r = 0; r < table.rowCount(); ++r) Require(table.rowCells(r).size() == static_cast<std::size_t>(kRxvColumns));
}

void Acquire(std::span<const std::uint8_t> input, ReceiverTable& receiver) {
    if (const auto telegram = FindRxvTelegram(input)) {
        Require(telegram->data() >= input.data() && telegram->data() + telegram->size() <= input.data() + input.size());
        Require(telegram->front() == 0x68 && telegram->back() == 0x16 && telegram->size() >= (*telegram)[1] + 2u);
        if (const auto meter = DecodeAcquiredTelegram(*telegram)) {
            Require(telegram->size() >= 12 && IsId(meter->id) && (!meter->auxId || IsId(*meter->auxId)));
            Require(meter->log.size() == 3 * telegram->size() && meter->telegram.size() == 3 * (telegram->size() - 11));
        }
    }
    // Chunks end after each 16h, as ticks would read them.
    ReceiverAcquisition acquisition;
    std::size_t start = 0;
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (input[i] != 0x16 && i + 1 != input.size()) continue;
        const int before = receiver.table().dataRowCount();
        const AcquisitionTick tick = acquisition.tick(receiver.table(), input.subspan(start, i + 1 - start), i % 2 == 0, "t");
        Require(tick.row == 0 || (tick.purge && tick.row <= receiver.table().dataRowCount()));
        Require(receiver.table().dataRowCount() - before <= 1);
        start = i + 1;
    }
    RequireShape(receiver.table());
}

void Import(std::string_view input, ReceiverTable& receiver) {
    const ReceiverImport result = ApplyReceiverImport(receiver, ParseReceiverImport(input, ';'));
    RequireShape(receiver.table());
    if (!result.applied) return;
    const std::string exported = ExportReceiverText(receiver.table(), ';');
    ReceiverTable again;
    const ReceiverImport second = ApplyReceiverImport(again, ParseReceiverImport(exported, ';'));
    Require(second.applied && !second.tooManyData);
    Require(ExportReceiverText(again.table(), ';') == exported);
}

void RequireCommand(const RxvAction& action) {
    if (!action.command) return;
    Require(action.command->starts_with("set ") || action.command->starts_with("del "));
}

void Rows(std::string_view input, ReceiverTable& receiver) {
    std::vector<std::string> cells(kRxvColumns);
    std::size_t start = 0;
    for (std::size_t c = 0; c < cells.size() && start <= input.size(); ++c) {
        const std::size_t end = std::min(input.find('\n', start), input.size());
        cells[c] = std::string(input.substr(start, end - start));
        start = end + 1;
    }
    const RxvKeySettings key{cells[kRxvTelegramColumn], input.size() % 2 == 0, true, true, input.size() % 3 == 0};
    for (int row = 0; row <= std::min(receiver.table().dataRowCount(), 2); ++row) {
        for (const auto& rowCells : {cells, receiver.table().rowCells(row)}) {
            for (RxvStep step : kRxvStepOrder) {
                const RxvRowStep result = BuildRxvRowStep(step, row, rowCells, input.size() % 5 == 0, key);
                Require(!result.normalizedId || IsId(*result.normalizedId));
                for (const auto& action : result.actions) RequireCommand(action);
            }
            for (const auto& action : BuildRxvKeyStorage(row, rowCells, key)) {
                RequireCommand(action);
                Require(!action.command || action.command->size() >= 16 + 10);
                Require(!action.command || !action.command->starts_with("set encr=0,") || key.oneKeyAll);
            }
            for (const auto& action : BuildRxvBind(row, rowCells, "")) {
                RequireCommand(action);
                Require(!action.command || action.command->size() == 10 + rowCells[kRxvAddressColumn].size() + 8);
            }
            for (const auto& action : BuildRxvDebind(row, rowCells, "")) RequireCommand(action);
        }
        receiver.selectCell(row);
        Require(receiver.label45().starts_with("Address ") && receiver.label46().starts_with("ID: "));
    }
    if (const auto id = NormalizeId8(input)) Require(IsId(*id));
    Require(RxvActivationConfirmed(input) ==
            (input.find("Done!") != std::string_view::npos || input.find("already") != std::string_view::npos));
    Require(!RxvIsDoneLine(input) || input.size() == 6);
    receiver.deleteRow();
    RequireShape(receiver.table());
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    ReceiverTable receiver;
    Acquire(bytes, receiver);
    Rows(input, receiver);
    Import(input, receiver);
    Rows(input, receiver);
    return 0;
}
