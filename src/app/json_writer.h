#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace veltro {

// A minimal JSON writer for one-line outputs: the CLI's objects, the simulator's journal lines. Texts
// from meters are byte strings: bytes below 20h and above 7Eh are written as \u00XX (read as Latin-1),
// so the output is always valid JSON.
class JsonWriter {
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(std::string_view name);
    JsonWriter& value(std::string_view text);
    JsonWriter& value(const char* text) { return value(std::string_view(text)); }
    JsonWriter& value(bool flag);
    JsonWriter& value(int number);
    JsonWriter& value(long long number);
    // The shortest text that reads back as the same double ("456.789", "1500", "1e-07"); NaN and
    // infinities, which JSON cannot hold, as null.
    JsonWriter& value(double number);
    JsonWriter& null();
    JsonWriter& strings(const std::vector<std::string>& texts);
    // A value that is already JSON (a journal line), written as it is.
    JsonWriter& json(std::string_view text);

    const std::string& text() const { return m_text; }

private:
    void separate();
    std::string m_text;
    std::vector<bool> m_first;  // per open container: nothing written in it yet
    bool m_afterKey = false;
};

std::string JsonQuoted(std::string_view text);

} // namespace veltro
