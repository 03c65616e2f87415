#include "app/record_json.h"

namespace veltro {

void WriteTypedRecord(JsonWriter& json, const DecodedRecord& record) {
    json.key("kind").value(RecordValueKindCode(record.kind));
    json.key("value");
    switch (record.kind) {
    case RecordValueKind::None: json.null(); break;
    case RecordValueKind::Number: json.value(record.quantity); break;
    case RecordValueKind::Date:
    case RecordValueKind::DateTime:
    case RecordValueKind::Text: json.value(record.text); break;
    }
    json.key("unit").value(record.unitCode);
    // At most 41 bits (ten DIFEs), so the number stays exact for any JSON reader.
    json.key("storage").value(static_cast<long long>(record.storage));
    json.key("tariff").value(record.tariff);
    json.key("subunit").value(record.subunit);
    json.key("function").value(RecordFunctionCode(record.valueFunction));
}

void WriteRecordObject(JsonWriter& json, const DecodedRecord& record) {
    json.beginObject()
        .key("number").value(record.number)
        .key("value").value(record.value)
        .key("unit").value(record.unit)
        .key("description").value(record.description)
        .key("function").value(record.function)
        .key("dif").value(record.difDife)
        .key("vif").value(record.vif)
        .key("vife").value(record.vife);
    json.key("typed").beginObject();
    WriteTypedRecord(json, record);
    json.endObject();
    json.endObject();
}

void WriteMeterObject(JsonWriter& json, const MeterResponse& response) {
    json.beginObject();
    if (response.header) {
        const TelegramHeader& h = *response.header;
        json.key("id").value(h.id)
            .key("address").value(h.primaryAddress)
            .key("manufacturer").value(h.manufacturer)
            .key("medium").value(h.medium)
            .key("version").value(h.version);
    }
    json.key("main").beginObject().key("record");
    if (response.mainRecord)
        json.value(static_cast<long long>(*response.mainRecord));
    else
        json.null();
    json.endObject();
    json.key("records").beginArray();
    for (const DecodedRecord& record : response.records) WriteRecordObject(json, record);
    json.endArray();
    json.endObject();
}

} // namespace veltro
