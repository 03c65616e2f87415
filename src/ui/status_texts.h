#pragma once

#include <QString>

#include "app/language.h"
#include "link/link_facade.h"
#include "link/operation.h"

namespace veltro {

// Status-bar panel 0: the link the next operation takes. `serialStatus` is the serial channel's own
// text ("COM3 - 2400,8,Even", "COM3 is closed"); the bridge shows its "host:port" and whether it is
// connected: "Bridge 10.0.0.9:10001 connected".
QString LinkStatusText(LinkMode mode, const QString& serialStatus, const QString& bridgeEndpoint,
                       bool bridgeConnected, Language language);

// Status-bar panel 1: how the last operation ended, "Scan: 9 meters found", "Read: no response".
// `metersFound` is read for a completed scan only.
QString OperationResultText(BusOperation kind, OperationOutcome outcome, int metersFound, Language language);

} // namespace veltro
