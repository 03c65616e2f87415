#pragma once

#include "app/json_writer.h"
#include "decode/meter_response.h"
#include "decode/records.h"

namespace veltro {

// Writes the typed keys of a record into the JSON object the caller has open:
// "kind", "value" (number, string or null), "unit" (the unit code, "" when none), "storage", "tariff",
// "subunit", "function".
void WriteTypedRecord(JsonWriter& json, const DecodedRecord& record);

// One record as the command-line tool prints it: the shown texts ("number", "value", "unit",
// "description", "function", "dif", "vif", "vife") and "typed", an object of WriteTypedRecord's keys.
void WriteRecordObject(JsonWriter& json, const DecodedRecord& record);

// One decoded answer with a header: "id", "address", "manufacturer", "medium", "version",
// "main": {"record": index or null} and "records", each written by WriteRecordObject.
void WriteMeterObject(JsonWriter& json, const MeterResponse& response);

} // namespace veltro
