// libFuzzer harness for the INI file (seeds in fuzz/corpus/ini_file/): any bytes as the file. What is read
// is written back unchanged; a key written reads back as written, after a render and a parse too, and
// every other key keeps its value.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/ini_file.h"
#include "require.h"

using namespace veltro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    IniFile file = IniFile::parse(text);
    const std::string rendered = file.render();
    Require(IniFile::parse(rendered).render() == rendered);

    // The last line's section and key names, and a value from the input's first bytes.
    const std::size_t cut = size / 3;
    const std::string section(text.substr(0, std::min<std::size_t>(cut, 12)));
    const std::string key(text.substr(cut, std::min<std::size_t>(cut, 12)));
    const std::string value(text.substr(2 * cut));
    const auto before = file.value("Com port", "Name");
    if (file.writeString(section, key, value)) {
        const IniFile reread = IniFile::parse(file.render());
        const auto got = reread.value(section, key);
        Require(got.has_value());
        Require(*got == value && *file.value(section, key) == value);
        const auto kept = reread.value("Com port", "Name");
        const bool sameKey = IniFile::parse("[" + section + "]\n" + key + "=x\n").value("Com port", "Name").has_value();
        if (!sameKey) Require(kept == before);
    }
    const int number = static_cast<int>(size) - 5000;
    if (file.writeInteger("Misc", "Fuzz", number)) Require(IniFile::parse(file.render()).readInteger("Misc", "Fuzz", 7) == number);
    return 0;
}
