#include "decode_command.h"

#include <algorithm>
#include <ctime>
#include <iomanip>
#include <iostream>

#include "app/json_writer.h"
#include "app/record_json.h"
#include "cli_input.h"
#include "decode/meter_response.h"

namespace veltro::cli {
namespace {

struct DecodeOptions {
    bool full = false;
    bool json = false;
    bool apator = false;
    int additional = kMaxAdditionalValues;
    std::vector<std::string> hex;
};

bool ParseOptions(const std::vector<std::string>& arguments, DecodeOptions& options, std::string& error) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "--full") {
            options.full = true;
        } else if (a == "--json") {
            options.json = true;
        } else if (a == "--apator") {
            options.apator = true;
        } else if (a == "--additional") {
            if (i + 1 >= arguments.size()) {
                error = "--additional needs a number from 0 to 15";
                return false;
            }
            const std::string& n = arguments[++i];
            if (n.empty() || n.size() > 2 || !std::all_of(n.begin(), n.end(), ::isdigit) || std::stoi(n) > 15) {
                error = "--additional needs a number from 0 to 15: " + n;
                return false;
            }
            options.additional = std::stoi(n);
        } else if (a.size() > 2 && a.rfind("--", 0) == 0) {
            error = "unknown option " + a;
            return false;
        } else {
            options.hex.push_back(a);
        }
    }
    if (options.hex.empty()) {
        error = "decode needs the telegram as hex bytes, or - for standard input";
        return false;
    }
    return true;
}

std::string TimeText(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

void WriteJson(const MeterResponse& r, const DecodeOptions& options) {
    JsonWriter json;
    json.beginObject();
    json.key("valid").value(r.valid);
    json.key("log").strings(r.log);
    json.key("header");
    if (r.header) {
        const TelegramHeader& h = *r.header;
        json.beginObject()
            .key("id").value(h.id)
            .key("address").value(h.primaryAddress)
            .key("manufacturer").value(h.manufacturer)
            .key("version").value(h.version)
            .key("medium").value(h.medium)
            .key("access").value(h.accessNumber)
            .key("status").value(h.status)
            .key("model").value(h.model)
            .key("pulse").value(h.pulse)
            .key("battery").value(h.battery)
            .endObject();
    } else {
        json.null();
    }
    json.key("records").beginArray();
    for (const auto& record : r.records) WriteRecordObject(json, record);
    json.endArray();
    json.key("main").beginObject().key("value").value(r.mainValue).key("unit").value(r.mainUnit).endObject();
    json.key("additional").strings(
        std::vector<std::string>(r.additionalSlots.begin(), r.additionalSlots.begin() + options.additional));
    if (options.full) {
        json.key("report").beginObject().key("log").strings(r.report.log).key("rows").beginArray();
        for (const auto& row : r.report.rows) json.strings(std::vector<std::string>(row.begin(), row.end()));
        json.endArray().endObject();
    }
    json.endObject();
    std::cout << json.text() << "\n";
}

void WriteText(const MeterResponse& r, const DecodeOptions& options) {
    for (const auto& line : r.log) std::cout << line << "\n";
    if (!r.header) {
        std::cout << "Rejected\n";
        return;
    }
    const TelegramHeader& h = *r.header;
    std::cout << "\nID " << h.id << "  address " << h.primaryAddress << "  manufacturer " << h.manufacturer
              << "  version " << h.version << "  medium " << h.medium << "\n"
              << "access number " << h.accessNumber << "  status " << h.status << "  model " << h.model;
    if (!h.pulse.empty()) std::cout << "  pulse " << h.pulse;
    if (!h.battery.empty()) std::cout << "  battery " << h.battery;
    std::cout << "\n\n";

    std::cout << std::left << std::setw(4) << "No" << std::setw(52) << "Function" << std::setw(22) << "Value"
              << std::setw(16) << "Unit" << std::setw(36) << "Description" << std::setw(16) << "DIF/DIFE"
              << std::setw(5) << "VIF" << "VIFE\n";
    for (const auto& record : r.records) {
        std::cout << std::setw(4) << record.number << std::setw(52) << record.function << std::setw(22)
                  << record.value << std::setw(16) << record.unit << std::setw(36) << record.description
                  << std::setw(16) << record.difDife << std::setw(5) << record.vif << record.vife << "\n";
    }
    if (options.full) {
        std::cout << "\nDetailed report:\n";
        for (const auto& line : r.report.log) std::cout << line << "\n";
        return;
    }
    std::cout << "\nMain value: " << r.mainValue << (r.mainUnit.empty() ? "" : " ") << r.mainUnit << "\n";
    for (int k = 0; k < options.additional; ++k) {
        const auto& slot = r.additionalSlots[static_cast<std::size_t>(k)];
        if (!slot.empty()) std::cout << "Additional value " << (k + 1) << ": " << slot << "\n";
    }
}

} // namespace

std::string LocalTimeText() { return TimeText("%H:%M:%S"); }
std::string LocalDateText() { return TimeText("%Y-%m-%d"); }

int DecodeCommand(const std::vector<std::string>& arguments) {
    DecodeOptions options;
    std::string error;
    if (!ParseOptions(arguments, options, error)) {
        std::cerr << "veltro-cli: " << error << "\n";
        return 2;
    }
    auto telegram = ReadHexArguments(options.hex, error);
    if (!telegram) {
        std::cerr << "veltro-cli: " << error << "\n";
        return 2;
    }
    DecodeSettings settings;
    settings.fullRead = options.full;
    settings.additionalCount = options.additional;
    settings.decodeApator = options.apator;
    settings.decimalSeparator = '.';
    settings.localTime = LocalTimeText();
    settings.localDate = LocalDateText();
    const MeterResponse response = DecodeMeterResponse(*telegram, settings);
    if (options.json)
        WriteJson(response, options);
    else
        WriteText(response, options);
    return response.valid ? 0 : 1;
}

} // namespace veltro::cli
