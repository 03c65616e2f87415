#include "app/settings.h"

#include <algorithm>
#include <cstdint>

namespace veltro {

namespace {

// The one list of the settings window's keys, a function per section, in the order they are read and
// written. `S` is Settings or const Settings; the visitor reads into or writes from the fields.
template <class S, class Visitor>
void VisitComPortKeys(S& s, Visitor& v) {
    v.text("Com port", "Name", s.comPort.name);
    v.text("Com port", "Speed", s.comPort.speed);
    v.text("Com port", "Parity", s.comPort.parity);
    v.flag("Com port", "RTS", s.comPort.rts);
    v.flag("Com port", "DTR", s.comPort.dtr);
}

template <class S, class Visitor>
void VisitMiscKeys(S& s, Visitor& v) {
    v.text("Misc", "ExportSeparator", s.misc.exportSeparator);
    v.text("Misc", "DecSeparator", s.misc.decSeparator);
    v.number("Misc", "Retry", s.misc.retry, 0, kRetryHighest);
    v.flag("Misc", "UseEthernet", s.misc.useEthernet);
    v.flag("Misc", "UseVODUD", s.misc.useVodud);
    v.flag("Misc", "UseNlanServ", s.misc.useNlanServ);
    v.flag("Misc", "Use5B", s.misc.use5B);
    v.flag("Misc", "GlobalInit", s.misc.globalInit);
    v.flag("Misc", "MSBSearch", s.misc.msbSearch);
    v.flag("Misc", "LSBSearch", s.misc.lsbSearch);
    v.flag("Misc", "Multitelegram", s.misc.multitelegram);
    v.flag("Misc", "wApator", s.misc.decodeApator);
    v.flag("Misc", "wTechem", s.misc.decodeTechem);
}

template <class S, class Visitor>
void VisitEthernetKeys(S& s, Visitor& v) {
    // Read as "port" and written as "Port" by the original program; keys are case-insensitive, so an
    // older file's "port" line is the one rewritten.
    v.text("Ethernet", "Port", s.ethernet.listenPort);
    v.flag("Ethernet", "AutoOpen", s.ethernet.autoOpen);
    v.flag("Ethernet", "AutoLDU", s.ethernet.autoLdu);
    v.flag("Ethernet", "AutoMbus", s.ethernet.autoMbus);
    v.flag("Ethernet", "AutoSec", s.ethernet.autoSecondary);
    v.flag("Ethernet", "KeepAlive", s.ethernet.keepAlive);
    v.number("Ethernet", "TReload", s.ethernet.timerReload, 0, kTimerReloadHighest);
}

template <class S, class Visitor>
void VisitVodudKeys(S& s, Visitor& v) {
    v.text("VODUD", "IP", s.vodud.ip);
    v.text("VODUD", "Port", s.vodud.port);
    v.text("VODUD", "NetNumber", s.vodud.netNumber);
    v.number("VODUD", "EthTimeout", s.vodud.ethTimeout, kEthTimeoutLowest, kEthTimeoutHighest);
    v.flag("VODUD", "CloseTCP", s.vodud.closeTcp);
}

template <class S, class Visitor>
void VisitCommunicationKeys(S& s, Visitor& v) {
    VisitComPortKeys(s, v);
    VisitMiscKeys(s, v);
    VisitEthernetKeys(s, v);
    VisitVodudKeys(s, v);
}

template <class T, class Visitor>
void VisitTitleKeys(T& titles, Visitor& v) {
    v.number("Titles", "Count", titles.count, 0, kAdditionalTitleCount);
    for (int i = 0; i < kAdditionalTitleCount; ++i)
        v.text("Titles", "Title" + std::to_string(i + 1), titles.titles[static_cast<std::size_t>(i)]);
}

struct Reader {
    const IniFile& ini;
    void text(std::string_view section, std::string_view key, std::string& value) {
        value = ini.readString(section, key, value);
    }
    void flag(std::string_view section, std::string_view key, bool& value) { value = ini.readBool(section, key, value); }
    void number(std::string_view section, std::string_view key, int& value, int lowest, int highest) {
        value = std::clamp(ini.readInteger(section, key, value), lowest, highest);
    }
};

struct Writer {
    IniFile& ini;
    bool ok = true;
    void text(std::string_view section, std::string_view key, const std::string& value) {
        ok = ini.writeString(section, key, value) && ok;
    }
    void flag(std::string_view section, std::string_view key, bool value) { ok = ini.writeBool(section, key, value) && ok; }
    void number(std::string_view section, std::string_view key, int value, int, int) {
        ok = ini.writeInteger(section, key, value) && ok;
    }
};

// Writes into a copy and hands it over only when every key could be stored.
template <class WriteAll>
bool WriteAllOrNothing(IniFile& ini, WriteAll&& writeAll) {
    IniFile copy = ini;
    Writer writer{copy};
    writeAll(writer);
    if (!writer.ok) return false;
    ini = std::move(copy);
    return true;
}

// Length of the UTF-8 sequence starting with `lead`, or 0 when `lead` cannot start one.
std::size_t Utf8SequenceLength(std::uint8_t lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

} // namespace

Settings ReadSettings(const IniFile& ini) {
    Settings settings;
    Reader reader{ini};
    VisitCommunicationKeys(settings, reader);
    VisitTitleKeys(settings.titles, reader);
    return settings;
}

bool WriteCommunicationSettings(const Settings& settings, IniFile& ini) {
    return WriteAllOrNothing(ini, [&](Writer& writer) { VisitCommunicationKeys(settings, writer); });
}

bool WriteTitleSettings(const AdditionalTitles& titles, IniFile& ini) {
    return WriteAllOrNothing(ini, [&](Writer& writer) { VisitTitleKeys(titles, writer); });
}

MainWindowState ReadMainWindowState(const IniFile& ini, std::string_view programFolder) {
    MainWindowState state;
    Reader reader{ini};
    reader.number("Mbus", "SearchFrom", state.searchFrom, 0, kScanAddressHighest);
    reader.number("Mbus", "SearchTo", state.searchTo, 0, kScanAddressHighest);
    reader.number("Mbus", "Timeout", state.timeout, kResponseWindowLowest, kResponseWindowHighest);
    reader.flag("Mbus", "FastResponse", state.fastResponse);
    reader.number("Mbus", "FastAllowance", state.fastAllowance, 0, kFastAllowanceHighest);
    state.dir = ini.readString("Misc", "Dir", programFolder);
    state.language = ini.readInteger("Misc", "Language", 1) == 2 ? Language::Italian : Language::English;
    AdditionalTitles titles;
    VisitTitleKeys(titles, reader);
    state.titles = MainWindowTitles(titles);
    reader.text("RXVpico", "Secondary", state.picoSecondary);
    reader.text("RXVpico", "Primary", state.picoPrimary);
    return state;
}

bool WriteMainWindowState(const MainWindowState& state, IniFile& ini) {
    return WriteAllOrNothing(ini, [&](Writer& writer) {
        writer.number("Mbus", "SearchFrom", state.searchFrom, 0, 0);
        writer.number("Mbus", "SearchTo", state.searchTo, 0, 0);
        writer.number("Mbus", "Timeout", state.timeout, 0, 0);
        writer.flag("Mbus", "FastResponse", state.fastResponse);
        writer.number("Mbus", "FastAllowance", state.fastAllowance, 0, 0);
        writer.text("Misc", "Dir", state.dir);
        writer.number("Misc", "Language", static_cast<int>(state.language), 0, 0);
        writer.text("RXVpico", "Secondary", state.picoSecondary);
        writer.text("RXVpico", "Primary", state.picoPrimary);
    });
}

AdditionalTitles MainWindowTitles(const AdditionalTitles& titles) {
    AdditionalTitles cut;
    cut.count = std::clamp(titles.count, 0, kAdditionalTitleCount);
    for (std::size_t i = 0; i < cut.titles.size(); ++i)
        cut.titles[i] = CutToCharacters(titles.titles[i], kMainWindowTitleLength);
    return cut;
}

std::string CutToCharacters(std::string_view text, std::size_t count) {
    // Sequence starts of the text, or none at all when it is not UTF-8.
    std::size_t position = 0;
    std::size_t cutAt = text.size();
    std::size_t characters = 0;
    while (position < text.size()) {
        if (characters == count && cutAt == text.size()) cutAt = position;
        const std::size_t length = Utf8SequenceLength(static_cast<std::uint8_t>(text[position]));
        bool valid = length > 0 && position + length <= text.size();
        for (std::size_t i = 1; valid && i < length; ++i)
            valid = (static_cast<std::uint8_t>(text[position + i]) & 0xC0) == 0x80;
        if (!valid) return std::string(text.substr(0, std::min(count, text.size())));  // 8-bit text: bytes
        position += length;
        ++characters;
    }
    return std::string(text.substr(0, cutAt));
}

} // namespace veltro
