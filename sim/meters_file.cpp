#include "sim/meters_file.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include "decode/header_fields.h"
#include "mbus/constants.h"
#include "mbus/hex.h"
#include "sim/display.h"

namespace veltro::sim {
namespace {

constexpr int kLongestRadioPeriodMs = 86400000;  // a day
constexpr int kLongestAnswerDelayMs = 10000;      // as --latency

// Failures carry the path of keys that led to them ("meter 3: record 2: dif").
struct FileError {
    QString text;
};

[[noreturn]] void Fail(const QString& text) { throw FileError{text}; }

void RejectUnknownKeys(const QJsonObject& object, const QSet<QString>& known, const QString& where) {
    for (auto it = object.begin(); it != object.end(); ++it)
        if (!known.contains(it.key())) Fail(where + "unknown key \"" + it.key() + "\"");
}

// A byte as a JSON number (decimal) or a string of one or two hex digits.
std::uint8_t ByteValue(const QJsonValue& value, const QString& where) {
    if (value.isDouble()) {
        const double d = value.toDouble();
        if (d < 0 || d > 255 || std::trunc(d) != d) Fail(where + "must be 0..255");
        return static_cast<std::uint8_t>(d);
    }
    if (value.isString()) {
        static const QRegularExpression kHexByte("^(0x)?[0-9A-Fa-f]{1,2}h?$");
        const QString text = value.toString().trimmed();
        if (!kHexByte.match(text).hasMatch()) Fail(where + "\"" + text + "\" is not a hex byte");
        QString digits = text;
        digits.remove("0x").remove('h');
        return static_cast<std::uint8_t>(digits.toUInt(nullptr, 16));
    }
    Fail(where + "must be a number or a hex string");
}

int IntegerValue(const QJsonValue& value, int lowest, int highest, const QString& where) {
    if (!value.isDouble()) Fail(where + "must be a number");
    const double d = value.toDouble();
    if (d < lowest || d > highest || std::trunc(d) != d)
        Fail(where + "must be a whole number " + QString::number(lowest) + ".." + QString::number(highest));
    return static_cast<int>(d);
}

std::vector<std::uint8_t> HexBytes(const QJsonValue& value, const QString& where) {
    if (!value.isString()) Fail(where + "must be a string of hex bytes");
    auto parsed = ParseHex(value.toString().toStdString());
    if (!parsed) Fail(where + "\"" + value.toString() + "\" is not hex bytes");
    return {parsed->begin(), parsed->end()};
}

QStringList StringOrStrings(const QJsonValue& value, const QString& where) {
    if (value.isString()) return {value.toString()};
    if (!value.isArray()) Fail(where + "must be a string or an array of strings");
    QStringList list;
    for (const auto& item : value.toArray()) {
        if (!item.isString()) Fail(where + "must hold strings only");
        list << item.toString();
    }
    if (list.isEmpty()) Fail(where + "is empty");
    return list;
}

CalendarTime ParseCalendarTime(const QString& text, bool withTime, const QString& where) {
    static const QRegularExpression kDate("^(\\d{4})-(\\d{2})-(\\d{2})(?: (\\d{2}):(\\d{2}))?$");
    const auto m = kDate.match(text.trimmed());
    if (!m.hasMatch()) Fail(where + "\"" + text + "\" is not YYYY-MM-DD or YYYY-MM-DD hh:mm");
    if (!withTime && m.capturedLength(4) > 0) Fail(where + "a type G date (VIF 6C) has no time of day");
    CalendarTime t{m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), 0, 0};
    if (m.capturedLength(4) > 0) {
        t.hour = m.captured(4).toInt();
        t.minute = m.captured(5).toInt();
    }
    return t;
}

DataRecord ParseRecord(const QJsonValue& value, const QString& where) {
    if (!value.isObject()) Fail(where + "must be an object");
    const QJsonObject o = value.toObject();
    if (o.contains("hex")) {
        RejectUnknownKeys(o, {"hex"}, where);
        const auto bytes = HexBytes(o["hex"], where + "hex: ");
        if (bytes.empty()) Fail(where + "hex: empty");
        return DataRecord::Verbatim(bytes);
    }
    RejectUnknownKeys(o, {"dif", "dife", "vif", "vife", "value", "data", "date", "text"}, where);
    if (!o.contains("dif")) Fail(where + "needs \"dif\" (or \"hex\" for a record given as it stands)");
    DataRecord r;
    r.dif = ByteValue(o["dif"], where + "dif: ");

    if (r.isManufacturerSpecific()) {
        for (const char* key : {"dife", "vif", "vife", "value", "date", "text"})
            if (o.contains(key)) Fail(where + "manufacturer-specific data (DIF 0F, 1F) takes only \"data\"");
        if (o.contains("data")) r.data = HexBytes(o["data"], where + "data: ");
        if (auto problem = CheckRecord(r)) Fail(where + QString::fromStdString(*problem));
        return r;
    }

    if (o.contains("dife")) r.dife = HexBytes(o["dife"], where + "dife: ");
    if (!o.contains("vif")) Fail(where + "needs \"vif\"");
    r.vif = ByteValue(o["vif"], where + "vif: ");
    if (o.contains("vife")) r.vife = HexBytes(o["vife"], where + "vife: ");

    int given = 0;
    for (const char* key : {"value", "data", "date", "text"}) given += o.contains(key) ? 1 : 0;
    if (given > 1) Fail(where + "give only one of \"value\", \"data\", \"date\", \"text\"");

    if (o.contains("value")) {
        if (!o["value"].isDouble()) Fail(where + "value: must be a number");
        auto data = EncodeNumberForDif(r.dif, o["value"].toDouble());
        if (!data) Fail(where + "value: " + QString::number(o["value"].toDouble(), 'g', 17) + " does not fit DIF " + QString::number(r.dif, 16).toUpper().rightJustified(2, '0'));
        r.data = std::move(*data);
    } else if (o.contains("data")) {
        r.data = HexBytes(o["data"], where + "data: ");
    } else if (o.contains("date")) {
        if (!o["date"].isString()) Fail(where + "date: must be a string");
        const std::uint8_t vif = r.vif & 0x7F;
        if (vif != 0x6C && vif != 0x6D) Fail(where + "date: needs VIF 6C (type G date) or 6D (type F date and time)");
        const auto t = ParseCalendarTime(o["date"].toString(), vif == 0x6D, where + "date: ");
        auto data = vif == 0x6D ? EncodeDateTypeF(t) : EncodeDateTypeG(t);
        if (!data) Fail(where + "date: out of range (years 2000..2099)");
        r.data = std::move(*data);
    } else if (o.contains("text")) {
        if (!o["text"].isString()) Fail(where + "text: must be a string");
        const QByteArray latin = o["text"].toString().toLatin1();
        if (latin.size() >= 0xC0) Fail(where + "text: longer than 191 characters");
        r.data.push_back(static_cast<std::uint8_t>(latin.size()));
        r.data.insert(r.data.end(), latin.begin(), latin.end());
    } else if (FixedDataLength(r.dif).value_or(1) != 0) {
        Fail(where + "needs one of \"value\", \"data\", \"date\", \"text\"");
    }
    if (auto problem = CheckRecord(r)) Fail(where + QString::fromStdString(*problem));
    return r;
}

std::vector<DataRecord> ParseRecords(const QJsonValue& value, const QString& where) {
    if (!value.isArray()) Fail(where + "records: must be an array");
    std::vector<DataRecord> records;
    int n = 0;
    for (const auto& item : value.toArray()) records.push_back(ParseRecord(item, where + "record " + QString::number(++n) + ": "));
    return records;
}

// Reads at most `limit` bytes: a wrong path such as /dev/zero or a huge file is refused, not read whole.
std::optional<QByteArray> ReadBoundedFile(const QString& path, qint64 limit, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = "cannot read " + path + ": " + file.errorString();
        return std::nullopt;
    }
    QByteArray bytes = file.read(limit + 1);
    if (bytes.size() > limit) {
        error = path + " is larger than " + QString::number(limit) + " bytes";
        return std::nullopt;
    }
    if (file.error() != QFileDevice::NoError) {
        error = "cannot read " + path + ": " + file.errorString();
        return std::nullopt;
    }
    return bytes;
}

constexpr qint64 kMaxHexFileSize = 64 * 1024;
constexpr qint64 kMaxMetersFileSize = 16 * 1024 * 1024;

Telegram ReadHexFile(const QString& path, const QString& where) {
    QString error;
    const auto bytes = ReadBoundedFile(path, kMaxHexFileSize, error);
    if (!bytes) Fail(where + error);
    auto parsed = ParseHex(bytes->toStdString());
    if (!parsed) Fail(where + path + " does not hold hex bytes");
    return *parsed;
}

std::uint16_t Manufacturer(const QJsonValue& value, const QString& where) {
    if (!value.isString()) Fail(where + "must be three letters");
    auto code = ManufacturerCode(value.toString().toStdString());
    if (!code) Fail(where + "\"" + value.toString() + "\" is not three letters A-Z");
    return *code;
}

MeterState ParseMeter(const QJsonValue& value, const QString& baseDirectory, const QString& where) {
    if (!value.isObject()) Fail(where + "must be an object");
    const QJsonObject o = value.toObject();
    RejectUnknownKeys(o, {"name", "address", "id", "manufacturer", "version", "medium", "access", "status", "signature",
                          "baud", "counter", "records", "telegrams", "rsp_ud", "rsp_ud_file", "answer_delay_ms"},
                      where);
    const bool captured = o.contains("rsp_ud") || o.contains("rsp_ud_file");
    const bool encoded = o.contains("records") || o.contains("telegrams");
    if (captured == encoded)
        Fail(where + "give either \"records\"/\"telegrams\" or \"rsp_ud\"/\"rsp_ud_file\"");
    if (o.contains("records") && o.contains("telegrams")) Fail(where + "give \"records\" or \"telegrams\", not both");
    if (o.contains("rsp_ud") && o.contains("rsp_ud_file")) Fail(where + "give \"rsp_ud\" or \"rsp_ud_file\", not both");

    MeterState m;
    if (captured) {
        std::vector<Telegram> frames;
        if (o.contains("rsp_ud")) {
            for (const auto& text : StringOrStrings(o["rsp_ud"], where + "rsp_ud: ")) {
                auto parsed = ParseHex(text.toStdString());
                if (!parsed) Fail(where + "rsp_ud: \"" + text.left(40) + "...\" is not hex bytes");
                frames.push_back(*parsed);
            }
        } else {
            for (const auto& path : StringOrStrings(o["rsp_ud_file"], where + "rsp_ud_file: "))
                frames.push_back(ReadHexFile(QDir(baseDirectory).absoluteFilePath(path), where + "rsp_ud_file: "));
        }
        std::string error;
        auto state = StateFromCapturedTelegrams(frames, error);
        if (!state) Fail(where + QString::fromStdString(error));
        m = std::move(*state);
        if (o.contains("counter")) Fail(where + "counter: a replayed meter has no pulse counter");
    } else {
        for (const char* key : {"address", "id", "manufacturer"})
            if (!o.contains(key)) Fail(where + "needs \"" + key + "\"");
        if (o.contains("records")) {
            m.telegrams.push_back({frame::kRspUd, frame::kCiVariableData, ParseRecords(o["records"], where)});
        } else {
            if (!o["telegrams"].isArray() || o["telegrams"].toArray().isEmpty())
                Fail(where + "telegrams: must be a non-empty array");
            int n = 0;
            for (const auto& t : o["telegrams"].toArray()) {
                const QString tw = where + "telegram " + QString::number(++n) + ": ";
                if (!t.isObject()) Fail(tw + "must be an object with \"records\"");
                RejectUnknownKeys(t.toObject(), {"records"}, tw);
                m.telegrams.push_back({frame::kRspUd, frame::kCiVariableData, ParseRecords(t.toObject()["records"], tw)});
            }
        }
        if (!o.contains("counter")) {
            m.counterRecord = FirstCounterCandidate(m.telegrams.front().records);
        } else if (!o["counter"].isNull() && !(o["counter"].isBool() && !o["counter"].toBool())) {
            const int count = static_cast<int>(m.telegrams.front().records.size());
            if (count == 0) Fail(where + "counter: telegram 1 has no records");
            m.counterRecord = static_cast<std::size_t>(IntegerValue(o["counter"], 1, count, where + "counter: ") - 1);
        }
    }

    if (o.contains("name")) {
        if (!o["name"].isString()) Fail(where + "name: must be a string");
        m.name = o["name"].toString().toStdString();
    }
    if (o.contains("address")) {
        m.primaryAddress = IntegerValue(o["address"], 0, kLastMeterAddress, where + "address: ");
        m.addressField.reset();
    }
    if (o.contains("id")) {
        if (!o["id"].isString()) Fail(where + "id: must be a string of 8 digits");
        auto packed = PackIdentification(o["id"].toString().toStdString());
        if (!packed) Fail(where + "id: \"" + o["id"].toString() + "\" is not 8 decimal digits");
        m.identification = *packed;
    }
    if (o.contains("manufacturer")) m.manufacturer = Manufacturer(o["manufacturer"], where + "manufacturer: ");
    if (o.contains("version")) m.version = ByteValue(o["version"], where + "version: ");
    if (o.contains("medium")) m.medium = ByteValue(o["medium"], where + "medium: ");
    if (o.contains("access")) m.accessNumber = ByteValue(o["access"], where + "access: ");
    if (o.contains("status")) m.status = ByteValue(o["status"], where + "status: ");
    if (o.contains("signature")) m.signature = static_cast<std::uint16_t>(IntegerValue(o["signature"], 0, 0xFFFF, where + "signature: "));
    if (o.contains("baud")) m.baud = IntegerValue(o["baud"], 1, 1000000, where + "baud: ");
    if (o.contains("answer_delay_ms"))
        m.answerDelay = std::chrono::milliseconds{IntegerValue(o["answer_delay_ms"], 0, kLongestAnswerDelayMs, where + "answer_delay_ms: ")};
    return m;
}

QString StringValue(const QJsonValue& value, const QString& where) {
    if (!value.isString()) Fail(where + "must be a string");
    return value.toString();
}

// A display text: Latin-1 bytes, as many as the display keeps.
std::string DisplayText(const QJsonValue& value, const QString& where) {
    const QString text = StringValue(value, where);
    for (QChar c : text)
        if (c.unicode() > 0xFF) Fail(where + "\"" + text + "\" has characters beyond Latin-1");
    const QByteArray bytes = text.toLatin1();
    if (static_cast<std::size_t>(bytes.size()) > kDisplayTextBytes)
        Fail(where + "longer than " + QString::number(kDisplayTextBytes) + " characters");
    return bytes.toStdString();
}

template <typename Choice>
Choice OneOf(const QJsonValue& value, std::initializer_list<std::pair<const char*, Choice>> choices, const QString& where) {
    const QString text = StringValue(value, where);
    QStringList names;
    for (const auto& [name, choice] : choices) {
        if (text == name) return choice;
        names << QString("\"") + name + "\"";
    }
    Fail(where + "\"" + text + "\" is not one of " + names.join(", "));
}

DisplayEntrySettings ParseDisplayEntry(const QJsonValue& value, const QString& where) {
    if (!value.isObject()) Fail(where + "must be an object");
    const QJsonObject o = value.toObject();
    RejectUnknownKeys(o, {"address", "unit", "multiplier", "divider", "initial", "user", "text", "text2"}, where);
    if (!o.contains("address")) Fail(where + "needs \"address\"");
    DisplayEntrySettings e;
    e.address = IntegerValue(o["address"], 1, kDisplayEntries, where + "address: ");
    if (o.contains("unit"))
        e.unit = OneOf<int>(o["unit"], {{"", 0}, {"kWh", 1}, {"m3", 2}, {"kJ", 3}, {"MJ", 4}}, where + "unit: ");
    if (o.contains("multiplier")) e.multiplier = IntegerValue(o["multiplier"], 0, 9999, where + "multiplier: ");
    if (o.contains("divider")) e.divider = IntegerValue(o["divider"], 1, 9999, where + "divider: ");
    if (o.contains("initial")) {
        const double initial = o["initial"].toDouble(-1);
        if (!o["initial"].isDouble() || initial < 0 || initial >= 1e12)
            Fail(where + "initial: must be a number 0..999999999999.999");
        e.initialMilli = std::llround(initial * 1000);
    }
    if (o.contains("user")) e.userNumber = IntegerValue(o["user"], 0, 9999, where + "user: ");
    if (o.contains("text")) e.text = DisplayText(o["text"], where + "text: ");
    if (o.contains("text2")) e.text2 = DisplayText(o["text2"], where + "text2: ");
    return e;
}

DisplayConfig ParseDisplay(const QJsonValue& value) {
    const QString where = "display: ";
    if (!value.isObject()) Fail(where + "must be an object");
    const QJsonObject o = value.toObject();
    RejectUnknownKeys(o, {"baud", "sort_busy_ms", "date", "time", "refresh", "sort", "addresses", "entry", "history", "entries"},
                      where);
    DisplayConfig c;
    if (o.contains("baud")) {
        c.baud = IntegerValue(o["baud"], 1, 1000000, where + "baud: ");
        if (!BaudRateCi(c.baud)) Fail(where + "baud: must be 300, 600, 1200, 2400, 4800 or 9600");
    }
    if (o.contains("sort_busy_ms"))
        c.sortBusy = std::chrono::milliseconds{IntegerValue(o["sort_busy_ms"], 0, 600000, where + "sort_busy_ms: ")};
    if (o.contains("date")) {
        const auto date = ParseDisplayDate(StringValue(o["date"], where + "date: ").toStdString());
        if (!date) Fail(where + "date: \"" + o["date"].toString() + "\" is not a date YYYY-MM-DD of 2000..2099");
        c.date = *date;
    }
    if (o.contains("time")) {
        static const QRegularExpression kTime("^([01][0-9]|2[0-3]):([0-5][0-9])$");
        const auto m = kTime.match(StringValue(o["time"], where + "time: "));
        if (!m.hasMatch()) Fail(where + "time: \"" + o["time"].toString() + "\" is not hh:mm");
        c.hour = m.captured(1).toInt();
        c.minute = m.captured(2).toInt();
    }
    if (o.contains("refresh")) c.refreshSeconds = IntegerValue(o["refresh"], 1, 12, where + "refresh: ");
    if (o.contains("sort")) c.sortByUser = OneOf<bool>(o["sort"], {{"address", false}, {"user", true}}, where + "sort: ");
    using L = DisplayLayout;
    if (o.contains("addresses"))
        c.layout.addresses = OneOf<L::Addresses>(o["addresses"], {{"inline", L::Addresses::Inline}, {"column", L::Addresses::Column}},
                                                 where + "addresses: ");
    if (o.contains("entry"))
        c.layout.entry = OneOf<L::Entry>(o["entry"], {{"user-line", L::Entry::UserLine}, {"star", L::Entry::Star}}, where + "entry: ");
    if (o.contains("history"))
        c.layout.history = OneOf<L::History>(o["history"], {{"short", L::History::Short}, {"tariffs", L::History::Tariffs}},
                                             where + "history: ");
    if (o.contains("entries")) {
        if (!o["entries"].isArray()) Fail(where + "entries: must be an array");
        QSet<int> seen;
        int n = 0;
        for (const auto& item : o["entries"].toArray()) {
            c.entries.push_back(ParseDisplayEntry(item, where + "entry " + QString::number(++n) + ": "));
            if (seen.contains(c.entries.back().address))
                Fail(where + "entry " + QString::number(n) + ": address " + QString::number(c.entries.back().address) + " given twice");
            seen.insert(c.entries.back().address);
        }
    }
    return c;
}

// Radio meter IDs need not be BCD; upper case, as the receiver's own commands take them.
std::string ReceiverId(const QJsonValue& value, const QString& where) {
    static const QRegularExpression kId("^[0-9A-F]{8}$");
    const QString text = StringValue(value, where);
    if (!kId.match(text).hasMatch()) Fail(where + "\"" + text + "\" is not 8 characters 0-9, A-F");
    return text.toStdString();
}

std::chrono::milliseconds Milliseconds(const QJsonValue& value, int lowest, const QString& where) {
    return std::chrono::milliseconds{IntegerValue(value, lowest, kLongestRadioPeriodMs, where)};
}

RadioMeter ParseRadioMeter(const QJsonValue& value, const QString& where) {
    if (!value.isObject()) Fail(where + "must be an object");
    const QJsonObject o = value.toObject();
    RejectUnknownKeys(o, {"name", "control", "manufacturer", "id", "version", "device_type", "ci", "aux_id",
                          "aux_manufacturer", "aux_version", "aux_device_type", "access", "status", "records", "key",
                          "interval_ms", "offset_ms"},
                      where);
    for (const char* key : {"id", "manufacturer"})
        if (!o.contains(key)) Fail(where + "needs \"" + key + "\"");
    RadioMeter m;
    if (o.contains("name")) m.name = StringValue(o["name"], where + "name: ").toStdString();
    if (o.contains("control")) m.control = ByteValue(o["control"], where + "control: ");
    m.manufacturer = Manufacturer(o["manufacturer"], where + "manufacturer: ");
    m.id = ReceiverId(o["id"], where + "id: ");
    if (o.contains("version")) m.version = ByteValue(o["version"], where + "version: ");
    if (o.contains("device_type")) m.deviceType = ByteValue(o["device_type"], where + "device_type: ");
    if (o.contains("ci")) {
        m.ci = ByteValue(o["ci"], where + "ci: ");
        if (m.ci != 0x7A && m.ci != 0x72) Fail(where + "ci: must be 7A or 72");
    }
    if (m.ci == 0x72) {
        if (!o.contains("aux_id")) Fail(where + "needs \"aux_id\" with CI 72");
        m.auxId = ReceiverId(o["aux_id"], where + "aux_id: ");
        // A meter without a separate aux header repeats its own.
        m.auxManufacturer = o.contains("aux_manufacturer") ? Manufacturer(o["aux_manufacturer"], where + "aux_manufacturer: ")
                                                           : m.manufacturer;
        m.auxVersion = o.contains("aux_version") ? ByteValue(o["aux_version"], where + "aux_version: ") : m.version;
        m.auxDeviceType =
            o.contains("aux_device_type") ? ByteValue(o["aux_device_type"], where + "aux_device_type: ") : m.deviceType;
    } else {
        for (const char* key : {"aux_id", "aux_manufacturer", "aux_version", "aux_device_type"})
            if (o.contains(key)) Fail(where + key + ": only with CI 72");
    }
    if (o.contains("access")) m.accessNumber = ByteValue(o["access"], where + "access: ");
    if (o.contains("status")) m.status = ByteValue(o["status"], where + "status: ");
    if (o.contains("records")) m.records = ParseRecords(o["records"], where);
    if (o.contains("key") && !o["key"].isNull()) {
        const auto bytes = o["key"].isString() ? ParseHex(o["key"].toString().toStdString()) : std::nullopt;
        if (!bytes || bytes->size() != kReceiverKeyBytes) Fail(where + "key: must be 32 hex digits");
        m.key.emplace();
        std::copy(bytes->begin(), bytes->end(), m.key->begin());
    }
    if (o.contains("interval_ms")) m.interval = Milliseconds(o["interval_ms"], 1, where + "interval_ms: ");
    if (o.contains("offset_ms")) m.offset = Milliseconds(o["offset_ms"], 0, where + "offset_ms: ");
    if (!RadioTelegram(m)) Fail(where + "records: longer than one radio telegram (L above 255)");
    return m;
}

RxvKtEntry ParseReceiverEntry(const QJsonValue& value, const QString& where) {
    if (!value.isObject()) Fail(where + "must be an object");
    const QJsonObject o = value.toObject();
    RejectUnknownKeys(o, {"id", "unit"}, where);
    if (!o.contains("id")) Fail(where + "needs \"id\"");
    RxvKtEntry e;
    e.id = ReceiverId(o["id"], where + "id: ");
    if (o.contains("unit")) e.unit = IntegerValue(o["unit"], 0, kReceiverLargestUnit, where + "unit: ");
    return e;
}

RxvKtConfig ParseReceiver(const QJsonValue& value) {
    const QString where = "rxv_kt: ";
    if (!value.isObject()) Fail(where + "must be an object");
    const QJsonObject o = value.toObject();
    RejectUnknownKeys(o, {"baud", "mute", "entries"}, where);
    RxvKtConfig c;
    if (o.contains("baud")) {
        c.baud = IntegerValue(o["baud"], 1, 1000000, where + "baud: ");
        if (!BaudRateCi(c.baud)) Fail(where + "baud: must be 300, 600, 1200, 2400, 4800 or 9600");
    }
    if (o.contains("mute")) {
        if (!o["mute"].isBool()) Fail(where + "mute: must be true or false");
        c.mute = o["mute"].toBool();
    }
    if (o.contains("entries")) {
        if (!o["entries"].isObject()) Fail(where + "entries: must be an object of addresses");
        const QJsonObject entries = o["entries"].toObject();
        static const QRegularExpression kAddress("^[0-9]{1,3}$");
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            const QString ew = where + "entry \"" + it.key() + "\": ";
            const int address = kAddress.match(it.key()).hasMatch() ? it.key().toInt() : 0;
            if (address < 1 || address > kReceiverEntries)
                Fail(ew + "not an address 1.." + QString::number(kReceiverEntries));
            if (c.entries.contains(address)) Fail(ew + "address " + QString::number(address) + " given twice");
            c.entries[address] = ParseReceiverEntry(it.value(), ew);
        }
    }
    return c;
}

// The list's IDs may carry F, as the receiver's add command takes them.
std::string PicoListId(const QJsonValue& value, const QString& where) {
    static const QRegularExpression kId("^[0-9F]{8}$");
    const QString text = StringValue(value, where);
    if (!kId.match(text).hasMatch()) Fail(where + "\"" + text + "\" is not 8 characters 0-9, F");
    return text.toStdString();
}

RxvPicoEntry ParsePicoEntry(const QJsonValue& value, const QString& where) {
    if (!value.isObject()) Fail(where + "must be an object");
    const QJsonObject o = value.toObject();
    RejectUnknownKeys(o, {"id", "key", "address"}, where);
    if (!o.contains("id")) Fail(where + "needs \"id\"");
    RxvPicoEntry e;
    e.id = PicoListId(o["id"], where + "id: ");
    if (o.contains("key")) {
        const auto bytes = o["key"].isString() ? ParseHex(o["key"].toString().toStdString()) : std::nullopt;
        if (!bytes || bytes->size() != kRxvPicoKeyBytes) Fail(where + "key: must be 32 hex digits");
        std::copy(bytes->begin(), bytes->end(), e.key.begin());
    }
    if (o.contains("address"))
        e.address = static_cast<std::uint8_t>(IntegerValue(o["address"], 0, kLastMeterAddress, where + "address: "));
    return e;
}

RxvPicoConfig ParsePico(const QJsonValue& value) {
    const QString where = "rxvpico: ";
    if (!value.isObject()) Fail(where + "must be an object");
    const QJsonObject o = value.toObject();
    RejectUnknownKeys(o, {"address", "id", "baud", "silent", "list", "flags", "clock"}, where);
    RxvPicoConfig c;
    if (o.contains("address")) c.address = IntegerValue(o["address"], 0, kLastMeterAddress, where + "address: ");
    if (o.contains("id")) {
        c.id = StringValue(o["id"], where + "id: ").toStdString();
        if (!PackIdentification(c.id)) Fail(where + "id: \"" + o["id"].toString() + "\" is not 8 decimal digits");
    }
    if (o.contains("baud")) {
        c.baud = IntegerValue(o["baud"], 1, 1000000, where + "baud: ");
        if (!BaudRateCi(c.baud)) Fail(where + "baud: must be 300, 600, 1200, 2400, 4800 or 9600");
    }
    if (o.contains("silent")) {
        if (!o["silent"].isBool()) Fail(where + "silent: must be true or false");
        c.silent = o["silent"].toBool();
    }
    if (o.contains("list")) {
        if (!o["list"].isArray()) Fail(where + "list: must be an array");
        const QJsonArray list = o["list"].toArray();
        if (static_cast<std::size_t>(list.size()) > kRxvPicoListSize) Fail(where + "list: more than 64 IDs");
        int n = 0;
        for (const auto& item : list) {
            const QString ew = where + "list entry " + QString::number(++n) + ": ";
            c.list.push_back(ParsePicoEntry(item, ew));
            for (std::size_t i = 0; i + 1 < c.list.size(); ++i)
                if (c.list[i].id == c.list.back().id) Fail(ew + "ID " + QString::fromStdString(c.list.back().id) + " listed twice");
        }
    }
    if (o.contains("flags")) {
        static const QRegularExpression kHexWord("^(0x)?[0-9A-Fa-f]{1,8}$");
        const QJsonValue flags = o["flags"];
        if (flags.isString() && kHexWord.match(flags.toString()).hasMatch()) {
            c.flags = flags.toString().remove("0x").toUInt(nullptr, 16);
        } else if (flags.isDouble() && flags.toDouble() >= 0 && flags.toDouble() <= 4294967295.0 &&
                   std::trunc(flags.toDouble()) == flags.toDouble()) {
            c.flags = static_cast<std::uint32_t>(flags.toDouble());
        } else {
            Fail(where + "flags: must be a number 0..4294967295 or up to 8 hex digits");
        }
    }
    if (o.contains("clock")) c.clock = ParseCalendarTime(StringValue(o["clock"], where + "clock: "), true, where + "clock: ");
    std::string problem;
    if (!RxvPico::Create(c, problem)) Fail(where + QString::fromStdString(problem));
    return c;
}

QString PositionText(const QByteArray& json, int offset) {
    int line = 1, column = 1;
    for (int i = 0; i < offset && i < json.size(); ++i) {
        if (json[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return QString("line %1, column %2").arg(line).arg(column);
}

} // namespace

std::optional<BusDescription> ParseBusJson(const QByteArray& json, const QString& baseDirectory, QString& error) {
    QJsonParseError parseError;
    const auto document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = "not valid JSON at " + PositionText(json, parseError.offset) + ": " + parseError.errorString();
        return std::nullopt;
    }
    try {
        if (!document.isObject()) Fail("the file must hold one object with \"meters\"");
        const QJsonObject top = document.object();
        RejectUnknownKeys(top, {"meters", "display", "rxv_kt", "wireless", "rxvpico"}, "");
        if (!top["meters"].isArray()) Fail("\"meters\" must be an array");
        BusDescription description;
        int n = 0;
        for (const auto& item : top["meters"].toArray()) {
            QString where = "meter " + QString::number(++n);
            if (item.isObject() && item.toObject()["name"].isString()) where += " (" + item.toObject()["name"].toString() + ")";
            description.meters.push_back(ParseMeter(item, baseDirectory, where + ": "));
            // Checks of the whole meter (telegram length, counter record, baud) run where meters are made.
            std::string problem;
            if (!Meter::Create(description.meters.back(), problem)) Fail(where + ": " + QString::fromStdString(problem));
        }
        if (top.contains("display")) description.display = ParseDisplay(top["display"]);
        if (top.contains("rxv_kt")) description.receiver = ParseReceiver(top["rxv_kt"]);
        if (top.contains("rxvpico")) description.rxvpico = ParsePico(top["rxvpico"]);
        if (top.contains("wireless")) {
            if (!top["wireless"].isArray()) Fail("\"wireless\" must be an array");
            if (!description.receiver) description.receiver.emplace();
            n = 0;
            for (const auto& item : top["wireless"].toArray()) {
                QString where = "wireless meter " + QString::number(++n);
                if (item.isObject() && item.toObject()["name"].isString()) where += " (" + item.toObject()["name"].toString() + ")";
                description.receiver->meters.push_back(ParseRadioMeter(item, where + ": "));
            }
        }
        return description;
    } catch (const FileError& e) {
        error = e.text;
        return std::nullopt;
    }
}

std::optional<std::vector<MeterState>> ParseMetersJson(const QByteArray& json, const QString& baseDirectory,
                                                       QString& error) {
    auto description = ParseBusJson(json, baseDirectory, error);
    if (!description) return std::nullopt;
    return std::move(description->meters);
}

std::optional<BusDescription> LoadBusFile(const QString& path, QString& error) {
    const auto bytes = ReadBoundedFile(path, kMaxMetersFileSize, error);
    if (!bytes) return std::nullopt;
    auto description = ParseBusJson(*bytes, QFileInfo(path).absolutePath(), error);
    if (!description) error = path + ": " + error;
    return description;
}

std::optional<std::vector<MeterState>> LoadMetersFile(const QString& path, QString& error) {
    auto description = LoadBusFile(path, error);
    if (!description) return std::nullopt;
    return std::move(description->meters);
}

std::unique_ptr<Bus> MakeBus(BusDescription description, QString& error) {
    auto bus = MakeBus(std::move(description.meters), error);
    if (bus && description.display) AddDisplay(*bus, std::move(*description.display));
    if (bus && description.receiver) AddRxvKt(*bus, std::move(*description.receiver));
    if (bus && description.rxvpico) {
        std::string problem;
        if (!AddRxvPico(*bus, std::move(*description.rxvpico), problem)) {
            error = "rxvpico: " + QString::fromStdString(problem);
            return nullptr;
        }
    }
    return bus;
}

std::unique_ptr<Bus> MakeBus(std::vector<MeterState> meters, QString& error) {
    auto bus = std::make_unique<Bus>();
    int n = 0;
    for (auto& state : meters) {
        ++n;
        std::string problem;
        auto meter = Meter::Create(std::move(state), problem);
        if (!meter) {
            error = "meter " + QString::number(n) + ": " + QString::fromStdString(problem);
            return nullptr;
        }
        bus->add(std::move(meter));
    }
    return bus;
}

} // namespace veltro::sim
