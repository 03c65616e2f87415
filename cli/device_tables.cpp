#include "device_tables.h"

#include <algorithm>
#include <fstream>
#include <iostream>

#include <QString>

#include "app/live_settings.h"
#include "engine/engine.h"
#include "meters/table_file.h"

namespace veltro::cli {

std::optional<std::string> ReadTableFile(const std::string& path, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    std::string text(kMaxImportFileSize + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (file.bad()) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    text.resize(static_cast<std::size_t>(file.gcount()));
    return text;
}

char Separator(Engine& engine) {
    const std::string& separator = engine.settings().settings().misc.exportSeparator;
    return separator.empty() ? ';' : separator[0];
}

std::string Utf8Json(std::string_view text) {
    const QByteArray valid = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUtf8();
    std::string out = "\"";
    for (const char c : valid) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') out += {'\\', c};
        else if (byte < 0x20 || byte == 0x7F) out += QStringLiteral("\\u%1").arg(byte, 4, 16, QLatin1Char('0')).toStdString();
        else out += c;
    }
    return out + "\"";
}

void JsonStrings(JsonWriter& json, const std::vector<std::string>& texts) {
    json.beginArray();
    for (const std::string& text : texts) json.json(Utf8Json(text));
    json.endArray();
}

namespace {

bool RowIsEmpty(const DeviceTable& table, int row) {
    for (int c = 0; c < table.columnCount(); ++c)
        if (!table.cell(row, c).empty()) return false;
    return true;
}

qsizetype Width(const std::string& text) { return QString::fromStdString(text).size(); }

} // namespace

std::vector<int> ShownRows(const DeviceTable& table) {
    std::vector<int> rows;
    for (int r = 1; r < table.rowCount(); ++r)
        if (!RowIsEmpty(table, r)) rows.push_back(r);
    return rows;
}

void JsonTable(JsonWriter& json, const DeviceTable& table) {
    json.key("columns");
    JsonStrings(json, table.titles());
    json.key("rows").beginArray();
    for (int r : ShownRows(table)) JsonStrings(json, table.rowCells(r));
    json.endArray();
}

void PrintDeviceTable(const char* title, const DeviceTable& table) {
    const std::vector<int> rows = ShownRows(table);
    std::vector<qsizetype> widths(static_cast<std::size_t>(table.columnCount()), 0);
    for (int c = 0; c < table.columnCount(); ++c) {
        auto& width = widths[static_cast<std::size_t>(c)];
        width = Width(table.cell(0, c));
        for (int r : rows) width = std::max(width, Width(table.cell(r, c)));
    }
    auto line = [&](int r) {
        std::string text;
        for (int c = 0; c < table.columnCount(); ++c)
            text += table.cell(r, c) + std::string(static_cast<std::size_t>(widths[static_cast<std::size_t>(c)] - Width(table.cell(r, c))), ' ') + " | ";
        while (!text.empty() && (text.back() == ' ' || text.back() == '|')) text.pop_back();
        std::cout << text << "\n";
    };
    std::cout << "\n" << title << "\n";
    line(0);
    for (int r : rows) line(r);
    std::cout << rows.size() << (rows.size() == 1 ? " row\n" : " rows\n");
}

} // namespace veltro::cli
