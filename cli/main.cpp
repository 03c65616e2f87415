// veltro-cli: the headless front end. Every command prints what an operator would read.
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "cli_input.h"
#include "bus_commands.h"
#include "configure_commands.h"
#include "decode_command.h"
#include "display_commands.h"
#include "gateway_commands.h"
#include "rxv_kt_commands.h"
#include "rxvpico_commands.h"
#include "watch_command.h"
#include <QCoreApplication>
#include "decode/telegram_header.h"
#include "mbus/address.h"
#include "mbus/frames.h"
#include "mbus/hex.h"
#include "meters/configuration_telegrams.h"
#include "veltro_version.h"

namespace {

using Arguments = std::vector<std::string>;

constexpr const char* kUsage =
    "Usage: veltro-cli COMMAND [OPTIONS]\n"
    "\n"
    "Finds, reads and decodes wired M-Bus meters (EN 13757-2/-3).\n"
    "\n"
    "Commands:\n"
    "  decode [--full] [--additional N] [--apator] [--json] HEX...|-\n"
    "                             decode a meter's answer (RSP_UD): log lines, header, records, main value;\n"
    "                             --full gives the detailed report, --additional the number of additional\n"
    "                             values (0-15, default 15), --apator the Apator volume, --json one JSON object\n"
    "                             whose records each carry \"typed\": {kind, value, unit, storage, tariff,\n"
    "                             subunit, function}, the value a JSON number, an ISO date text or a text\n"
    "  check HEX...|-             validate a received telegram (as the meter sent it) and show its header\n"
    "  scan --from A --to B [--nke] [--5b] [--global-init] [--json | --csv FILE]\n"
    "                             poll the primary addresses A..B and print the meters found; --json adds\n"
    "                             \"meters\": every answer decoded, with its records as decode --json has them\n"
    "  search [ID] [--direction msb|lsb] [--global-init] [--5b] [--json | --csv FILE]\n"
    "                             find meters by identification: ID (8 digits) selects and reads one meter,\n"
    "                             no ID (or FFFFFFFF) searches the whole bus with wildcard masks; SIGINT or\n"
    "                             SIGTERM stops the search and prints what it found so far (exit 130)\n"
    "  read ADDRESS... [--5b] [--json | --csv FILE]\n"
    "                             read the meters at these primary addresses one after another; --json adds\n"
    "                             \"meters\" as scan does\n"
    "  request ADDRESS [--nke] [--5b] [--multi] [--broadcast] [--full] [--json]\n"
    "                             one read of one meter, with the log lines and the decoded meter;\n"
    "                             --full prints the detailed report of a full read\n"
    "  watch [ADDRESS...] [--id ID[,ID...]] [--table FILE] --every DURATION [--cycles N] [--5b] [--verbose]\n"
    "      [--mqtt HOST[:PORT] [--mqtt-user USER] [--mqtt-password-file FILE] [--mqtt-tls CAFILE]\n"
    "       [--topic PREFIX] [--mqtt-queue N] [--mqtt-client-id ID] [--discovery [--discovery-prefix P]]]\n"
    "                             read the meters every DURATION (30s, 15m, 1h, 1d) until SIGINT or SIGTERM\n"
    "                             (or N cycles): by primary address, selected by ID, or the rows of an\n"
    "                             exported table (by address where unique, else by ID); with none given, the\n"
    "                             bus is searched once for every meter. Each reading is one JSON line on\n"
    "                             standard output, or with --mqtt a message on PREFIX/ID/state (retained,\n"
    "                             QoS 1; PREFIX default veltro), a failure one on PREFIX/METER/error, and\n"
    "                             PREFIX/status says online/offline. The password comes from the file or\n"
    "                             VELTRO_MQTT_PASSWORD; --mqtt-tls uses TLS (port 8883) with that CA.\n"
    "                             Readings taken while the broker is away wait in a queue of N messages\n"
    "                             (default 10000, the oldest dropped first). --discovery publishes\n"
    "                             home-automation discovery configs (prefix homeassistant) per meter.\n"
    "                             --verbose prints the communication log on standard error\n"
    "  send [--hex | --ascii] TEXT   the free command console: send TEXT, show the answer\n"
    "  reset | set-address N | set-id ID | set-baud 300|2400|4800 | set-medium NAME |\n"
    "  set-unit UNIT MULT [--relay VALUE] | set-pulse WIDTH | set-counter VALUE |\n"
    "  set-counter-type incremental|single|independent\n"
    "      (--address A[,A...] | --id ID[,ID...] | --broadcast) [--yes] [--json]\n"
    "                             configure meters: each target is read first (by address, or selected by\n"
    "                             its ID); one that does not answer stops the command before any change.\n"
    "                             Changing meters needs --yes, or an answer at the terminal\n"
    "  auto-address [--start N] (--id ID[,ID...] | --table FILE) [--table-addresses] [--yes] [--json]\n"
    "                             give every meter a primary address through its secondary address,\n"
    "                             counting up from N (default 1), or taking the table's addresses\n"
    "  gateway set NAME VALUE... | gateway get MAIN|SERV|CONN|OPER|GPRS|STAT | gateway test\n"
    "      --link serial:PORT [--json]\n"
    "                             an NLAN-2's or NCEL-1A's settings over its RS-232 port, as the communication\n"
    "                             page sends them: NAME is IPV4, MASK, GATE, NETN, IPMA, IPCO, IPO1-IPO4, PINC,\n"
    "                             USER, PASS, APNM, PHON, DUED, COM2, RETN, PITO, RETI, NETO, DATE, TIME or\n"
    "                             SERV, with the values as typed on the page (set PITO 5, set DUED 1 0 5,\n"
    "                             set COM2 9600 None, set USER \"a b\", set SERV 1); DATE and TIME take the\n"
    "                             computer's clock; test sends SET TEST; after -- a value may start with \"-\".\n"
    "                             The log shows the gateway's answer as text; --json prints {log, sent, answer}\n"
    "  display write FILE --set SETTING[,SETTING...] [--rows LIST] | display read |\n"
    "  display values --main|--tariffs [--table FILE] | display history --month ALL|Jan..Dec [--table FILE] |\n"
    "  display info main|service|addresses|entry1|entry2|entry3 [--address A] | display date | display time |\n"
    "  display lock | display refresh SECONDS | display sort-table | display sort address|user |\n"
    "  display read-meters   [--json] [--csv FILE] [--readings-csv FILE]\n"
    "                             the local display (LDU-Q7/LDM) in its ASCII command language. write imports\n"
    "                             FILE (a display table export) and sends each SETTING (activate, units,\n"
    "                             multiplier, divider, initial, user, text, text2, delete, zero; delete goes\n"
    "                             alone or with text2) to the rows of LIST (1,3-5; default every row), one\n"
    "                             command a response window; a row with a bad address or value is passed\n"
    "                             over. read asks for the active entries and both pages of each; values and\n"
    "                             history read those first, or take the rows of --table FILE instead. info\n"
    "                             (entries need --address), date and time (the computer's clock), lock,\n"
    "                             refresh (4-12 s), sort-table, sort and read-meters (RS-232 only) send one\n"
    "                             command and log the answer. Prints the log, then the display and readings\n"
    "                             tables; --json prints {log, columns, rows, readings: {columns, rows}} in\n"
    "                             UTF-8; --csv and --readings-csv write the two tables' exports\n"
    "  display from-meters FILE | display sort-readings FILE --by address|user\n"
    "                             without the bus: the display table from a meter-table export, or the\n"
    "                             readings of a display table file sorted by address or user number\n"
    "  rxv-kt acquire [--seconds N] [--exclude-identical] [--csv FILE]\n"
    "                             the RXV-KT wireless receiver, through its serial port only: forward the radio\n"
    "                             meters it hears for N seconds (default 10; one telegram per response window),\n"
    "                             then stop it and print the receiver table (ID, MFR, version, device, medium,\n"
    "                             note, aux ID, telegram, time); --csv writes the table file the others read\n"
    "  rxv-kt program FILE [--activate] [--unit] [--save-key] [--delete] [--aux-id]\n"
    "      [--key HEX | --key-ascii TEXT | --keys FILE] [--by-address] [--by-id] [--csv FILE]\n"
    "                             every row of FILE (a receiver table: ID, Addr., MFR, version, device, medium)\n"
    "                             in the page's order: activate (the ID, or the aux ID with --aux-id), its unit\n"
    "                             from the medium, its AES-128 key (HEX: 32 digits 0-9, A-F; --keys FILE: lines\n"
    "                             \"ID;KEY\", each row its own key), stored by address, by ID or both; --delete\n"
    "                             goes alone. A row with a bad address or ID is passed over\n"
    "  rxv-kt key FILE --row N[,N-M]... [--all] (--key HEX | --key-ascii TEXT | --keys FILE)\n"
    "      [--by-address] [--by-id]\n"
    "                             store the key of these rows (\"Save in RXV\"); --all stores one master key\n"
    "  rxv-kt verify FILE [--aux-id]\n"
    "                             read each row's address (1-250) on the wired side, where the receiver answers\n"
    "                             for a meter it heard: ok, no answer, different (ID or medium), or no data\n"
    "                             (no records: a wrong key, or a meter that sends none)\n"
    "  rxv-kt set [--date] [--time] [--interval 1-240] [--wireless-mode T1|T2|S1|S2|R|T1+C|T2+C]\n"
    "      [--role Master|Repeater|Slave] [--work-mode Normal|Install|\"Accept All\"] [--option NAME=0|1]...\n"
    "                             the receiver's settings, date and time from the computer's clock; NAME is\n"
    "                             RSSI, Timestamp, Min/Hours, Transparent, \"Secondary ID\", \"Master Key\" or\n"
    "                             their command names (rssi, tmst, minc, trns, ambr, mast)\n"
    "  rxv-kt info | rxv-kt wmbus  the receiver's service and wireless status texts\n"
    "                             rxv-kt --json prints {log, columns, rows}, with answer for key, set, info and\n"
    "                             wmbus and results for verify; with --simulate the receiver is on a\n"
    "                             pseudo-terminal as the serial port\n"
    "  rxvpico status | set-clock | add ID... | delete ID | delete --all --yes | flag ITEM on|off |\n"
    "  rxvpico set-key ID KEY | read-key ID | filter set id|manufacturer|medium POS VALUE |\n"
    "  rxvpico filter read id|manufacturer|medium | read-list [--keys] | write-list FILE [--keys] --yes\n"
    "      [--address N] [--id ID] [--json]\n"
    "                             the RXVpico wireless receiver on the wired bus at primary address N (default\n"
    "                             RXVpico Primary of the settings file; 30 with --simulate): its status, clock,\n"
    "                             meter list (write-list: a meter table file, the list deleted first), keys,\n"
    "                             flags (ITEM as \"Decode Techem\") and filter tables; rxvpico --help says more\n"
  "  build req-ud2 ADDRESS [--5b]   print the read request for a primary address (0-255)\n"
    "  build snd-nke ADDRESS          print the link reset for an address (0-255)\n"
    "  build select ID                print the selection of an 8-digit identification number\n"
    "  build control ADDRESS CI       print a control frame (CI as two hex digits)\n"
    "  build set-address ADDRESS NEW  print a configuration telegram to the meter at ADDRESS (0-255; 253 the\n"
    "                                 selected meter, 254 broadcast): the new primary address NEW (0-249)\n"
    "  build set-id ADDRESS ID        ... a new identification (8 digits)\n"
    "  build set-baud ADDRESS BAUD    ... a new line speed (300, 2400, 4800)\n"
    "  build set-medium ADDRESS MEDIUM [ID]\n"
    "                                 ... the medium by name (\"Water\", \"Heat meter\"; other names 0Fh),\n"
    "                                 for the meter of identification ID if given\n"
    "  build set-unit ADDRESS UNIT MULTIPLIER MEDIUM\n"
    "                                 ... a pulse counter's unit (l, Wh, kJ, N/A), multiplier (0.001 to\n"
    "                                 10000, powers of ten) and medium\n"
    "  build set-pulse ADDRESS WIDTH  ... its pulse width (5ms, 10ms, 20ms, 50ms, 100ms)\n"
    "  build set-counter ADDRESS VALUE\n"
    "                                 ... its value in pulses (0-16777215)\n"
    "  build set-counter-type ADDRESS TYPE\n"
    "                                 ... its counter type (\"Incremental ID for each input\",\n"
    "                                 \"Single ID for all\", \"Independent addresses\")\n"
    "  build relay ADDRESS VALUE UNIT MULTIPLIER\n"
    "                                 ... a relay unit's start value (up to 8 digits) in that unit\n"
    "  build reset ADDRESS            ... the link reset (SND_NKE) sent after a change\n"
    "\n"
    "Bus options (for scan, search, read, request, send, gateway, display, rxv-kt, rxvpico; before or after the arguments):\n"
    "  --link serial:PORT[:BAUD[:PARITY]]   a serial port (COM3, ttyUSB0, /dev/ttyS0), default 2400 Even\n"
    "  --link bridge:HOST:PORT             a transparent serial-over-TCP bridge\n"
    "  --link gateway:HOST:PORT[:NETWORK]  a gateway the program connects to (network number a.b.c.d)\n"
    "  --link gateway-server:PORT          listen on PORT for a gateway; --wait-gateway S (default 30) waits\n"
    "                                      for it to connect and greet\n"
    "  --home DIR     use the settings of DIR/veltro.ini (default: VELTRO_HOME, else the program's folder,\n"
    "                 or for an installed program ~/.config/veltro)\n"
    "  --simulate     the built-in simulated bus, in-process on a loopback bridge\n"
    "  --timeout MS   the response window in milliseconds\n"
    "  --retries N    repetitions of an unanswered request (0-9)\n"
    "  --fast         \"Fast response\": a meter's window ends as soon as its answer is whole, or, when nothing\n"
    "                 comes, after the line's answer time (330 bit times + 50 ms), never later than --timeout\n"
    "  --fast-allowance MS  added to that answer time on a bridge or gateway link (default 100)\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help\n"
    "  --version      show the version\n"
    "\n"
    "HEX is the telegram as hex bytes, with or without blanks, either case; \"-\" reads them from standard input.\n"
    "\n"
    "Exit codes: 0 everything asked for was done (every requested meter answered); 1 a requested meter did not\n"
    "answer, or the operation was cut by the safety limit (the line on standard error says which); 2 the\n"
    "arguments, a file or the link were not usable, or a build command's value or a gateway setting was refused\n"
    "(with its message);\n"
    "130 a search, a display, an rxv-kt or an rxvpico command stopped by SIGINT or SIGTERM.\n"
    "For watch: 0 stopped by SIGINT or SIGTERM, or its --cycles done with every meter read in the last;\n"
    "1 a meter was not read in the last of its --cycles, a search found no meter, or messages were not\n"
    "delivered to the MQTT broker (it was away at the end, or the queue dropped some); 3 the MQTT broker refused\n"
    "the connection (user, password, authorisation) or the TLS handshake failed; 4 the link could not be had\n"
    "in the first cycle or for the search.\n"
    "For display: 1 a command went unanswered, an activation was not acknowledged (\"Active\" or \"Already\"),\n"
    "a read answer lacked what it is read for (the active devices, an entry's values, user information, a\n"
    "tariff, a history value), the display named no entries to read, or a table row was passed over for a\n"
    "bad address or value; 2 also for an unknown setting, bad rows, a bad month or a table file refused.\n"
    "For rxv-kt: 1 a command went unanswered or was not carried out (\"Done!\"; \"already\" for an activation),\n"
    "a row was passed over, acquire heard no meter, or verify found a row not ok; 2 also for a key refused,\n"
    "a key file without a row's ID, a refused row of key, or acquisition on a link other than serial.\n"
    "For rxvpico: 1 the receiver did not answer or answered something else (no status, no key, no filter table,\n"
    "a command not acknowledged) or a row of the file was passed over; 2 also for the receiver's ID or address\n"
    "refused, or a meter ID or key it cannot take.\n";

int Fail(const std::string& message) {
    std::cerr << "veltro-cli: " << message << "\n";
    return 2;
}

void PrintHeader(const veltro::TelegramHeader& h) {
    std::cout << "ID:            " << h.id << "\n"
              << "Address:       " << h.primaryAddress << "\n"
              << "Manufacturer:  " << h.manufacturer << "\n"
              << "Version:       " << h.version << "\n"
              << "Medium:        " << h.medium << "\n"
              << "Access number: " << h.accessNumber << "\n"
              << "Status:        " << h.status << "\n"
              << "Model:         " << h.model << "\n";
    if (!h.pulse.empty()) std::cout << "Pulse:         " << h.pulse << "\n";
    if (!h.battery.empty()) std::cout << "Battery:       " << h.battery << "\n";
}

int Check(const Arguments& arguments) {
    std::string error;
    auto telegram = veltro::cli::ReadHexArguments(arguments, error);
    if (!telegram) return Fail(error);
    if (veltro::IsAcknowledge(*telegram)) {
        std::cout << "0xE5 (Acknowledge)\n";
        return 0;
    }
    std::cout << "Respond: " << veltro::HexRendering(*telegram) << "\n";
    const auto validation = veltro::ValidateLongFrame(*telegram);
    for (const auto& line : validation.log) std::cout << line << "\n";
    if (!validation.valid) {
        std::cout << (telegram->size() < veltro::frame::kShortestLongFrame ? "Rejected: shorter than a long frame\n"
                                                                            : "Rejected\n");
        return 1;
    }
    const auto decoding = veltro::DecodeTelegramHeader(*telegram);
    for (const auto& line : decoding.log) std::cout << line << "\n";
    if (!decoding.header) {
        std::cout << "Rejected: " << decoding.error << "\n";
        return 1;
    }
    PrintHeader(*decoding.header);
    return 0;
}

std::optional<std::uint8_t> Address(const std::string& text) {
    auto value = veltro::ParseTargetAddress(text, 0, veltro::kLastScanAddress);
    if (!value) return std::nullopt;
    return static_cast<std::uint8_t>(*value);
}

using veltro::Checked;
using veltro::Telegram;

// The telegram when the check passed, else the check's refusal.
template <class Value, class Builder>
Checked<Telegram> BuildChecked(const Checked<Value>& checked, Builder build) {
    if (!checked) return {std::nullopt, checked.refusal};
    return {build(*checked.value), {}};
}

Checked<Telegram> Refused(std::string_view message) { return {std::nullopt, std::string(message)}; }

// A configuration telegram to ADDRESS from the arguments after it, in the order the usage gives them.
struct ConfigurationBuild {
    std::string_view kind;
    std::size_t fewestArguments;
    std::size_t mostArguments;
    Checked<Telegram> (*build)(std::uint8_t address, const Arguments& values);
};

const ConfigurationBuild kConfigurationBuilds[] = {
    {"set-address", 1, 1,
     [](std::uint8_t address, const Arguments& v) {
         return BuildChecked(veltro::CheckNewAddress(v[0]),
                             [&](std::uint8_t newAddress) { return veltro::BuildSetAddress(address, newAddress); });
     }},
    {"set-id", 1, 1,
     [](std::uint8_t address, const Arguments& v) {
         return BuildChecked(veltro::CheckIdentification(v[0]),
                             [&](const std::string& id) { return *veltro::BuildSetIdentification(address, id); });
     }},
    {"set-baud", 1, 1,
     [](std::uint8_t address, const Arguments& v) {
         return BuildChecked(veltro::CheckBaud(v[0]), [&](std::uint8_t ci) { return veltro::BuildSetBaud(address, ci); });
     }},
    {"set-medium", 1, 2,
     [](std::uint8_t address, const Arguments& v) {
         if (v[0].empty()) return Refused(veltro::kIncompleteMedium);
         bool idOverridden = false;
         const auto id = v.size() == 2 ? std::optional<std::string_view>(v[1]) : std::nullopt;
         Telegram telegram = veltro::BuildSetMedium(address, id, veltro::MediumCode(v[0]), &idOverridden);
         if (idOverridden) std::cerr << veltro::kIdOverridden << "\n";
         return Checked<Telegram>{std::move(telegram), {}};
     }},
    {"set-unit", 3, 3,
     [](std::uint8_t address, const Arguments& v) {
         if (v[2].empty()) return Refused(veltro::kIncompleteMedium);
         return BuildChecked(veltro::CheckUnit(v[0], v[1]), [&](std::uint8_t vif) {
             return veltro::BuildSetUnit(address, vif, veltro::MediumCode(v[2]));
         });
     }},
    {"set-pulse", 1, 1,
     [](std::uint8_t address, const Arguments& v) {
         // 00h is only what text outside the box would give; refused rather than sent.
         const std::uint8_t code = veltro::PulseWidthCode(v[0]);
         if (code == 0) return Refused(veltro::kWrongPulseWidth);
         return Checked<Telegram>{veltro::BuildSetPulseWidth(address, code), {}};
     }},
    {"set-counter", 1, 1,
     [](std::uint8_t address, const Arguments& v) {
         return BuildChecked(veltro::CheckPulseValue(v[0]),
                             [&](std::uint32_t value) { return veltro::BuildSetPulseValue(address, value); });
     }},
    {"set-counter-type", 1, 1,
     [](std::uint8_t address, const Arguments& v) {
         return BuildChecked(veltro::CheckCounterType(v[0]), [&](const std::array<std::uint8_t, 2>& type) {
             return veltro::BuildSetCounterType(address, type);
         });
     }},
    {"relay", 3, 3,
     [](std::uint8_t address, const Arguments& v) {
         const auto value = veltro::CheckRelayValue(v[0]);
         if (!value) return Refused(value.refusal);
         return BuildChecked(veltro::CheckUnit(v[1], v[2]),
                             [&](std::uint8_t vif) { return *veltro::BuildRelayValue(address, vif, *value.value); });
     }},
    {"reset", 0, 0, [](std::uint8_t address, const Arguments&) { return Checked<Telegram>{veltro::BuildSndNke(address), {}}; }},
};

int BuildConfiguration(const ConfigurationBuild& build, const Arguments& arguments) {
    if (arguments.size() < 2 + build.fewestArguments || arguments.size() > 2 + build.mostArguments)
        return Fail("build " + std::string(build.kind) + ": wrong number of arguments; see --help");
    const auto address = Address(arguments[1]);
    if (!address) return Fail("address must be 0 to 255: " + arguments[1]);
    const Checked<Telegram> telegram = build.build(*address, Arguments(arguments.begin() + 2, arguments.end()));
    if (!telegram) return Fail(telegram.refusal);
    std::cout << veltro::HexRendering(*telegram.value) << "\n";
    return 0;
}

int Build(const Arguments& arguments) {
    if (arguments.empty()) return Fail("build needs a frame kind (req-ud2, snd-nke, select, control, set-address, ...)");
    for (const auto& build : kConfigurationBuilds)
        if (arguments[0] == build.kind) return BuildConfiguration(build, arguments);
    const std::string& kind = arguments[0];
    std::optional<veltro::Telegram> telegram;
    if (kind == "req-ud2" && (arguments.size() == 2 || (arguments.size() == 3 && arguments[2] == "--5b"))) {
        auto address = Address(arguments[1]);
        if (!address) return Fail("address must be 0 to 255: " + arguments[1]);
        telegram = veltro::BuildReqUd2(*address, arguments.size() == 3);
    } else if (kind == "snd-nke" && arguments.size() == 2) {
        auto address = Address(arguments[1]);
        if (!address) return Fail("address must be 0 to 255: " + arguments[1]);
        telegram = veltro::BuildSndNke(*address);
    } else if (kind == "select" && arguments.size() == 2) {
        telegram = veltro::BuildSelection(arguments[1]);
        if (!telegram) return Fail("identification must be 8 decimal digits: " + arguments[1]);
    } else if (kind == "control" && arguments.size() == 3) {
        auto address = Address(arguments[1]);
        auto ci = veltro::ParseHex(arguments[2]);
        if (!address) return Fail("address must be 0 to 255: " + arguments[1]);
        if (!ci || ci->size() != 1) return Fail("CI must be one byte in hex: " + arguments[2]);
        telegram = veltro::BuildControlFrame(*address, (*ci)[0]);
    } else {
        return Fail("unknown or incomplete build command; see --help");
    }
    std::cout << veltro::HexRendering(*telegram) << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    Arguments arguments(argv + 1, argv + argc);
    if (arguments.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string command = arguments.front();
    const Arguments rest(arguments.begin() + 1, arguments.end());
    if (command == "-h" || command == "--help" || command == "help") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "--version") {
        std::cout << "veltro-cli " << veltro::kVersion << "\n";
        return 0;
    }
    const std::map<std::string, std::function<int(const Arguments&)>> commands{
        {"decode", veltro::cli::DecodeCommand},
        {"scan", veltro::cli::ScanCommand},
        {"search", veltro::cli::SearchCommand},
        {"read", veltro::cli::ReadCommand},
        {"request", veltro::cli::RequestCommand},
        {"send", veltro::cli::SendCommand},
        {"check", Check},
        {"build", Build},
        {"auto-address", veltro::cli::AutoAddressCommand},
        {"gateway", veltro::cli::GatewayCommand},
        {"display", veltro::cli::DisplayCommand},
        {"rxv-kt", veltro::cli::RxvKtCommand},
        {"rxvpico", veltro::cli::RxvpicoCommand},
        {"watch", veltro::cli::WatchCommand},
    };
    for (const char* configure : {"reset", "set-address", "set-id", "set-baud", "set-medium", "set-unit", "set-pulse",
                                  "set-counter", "set-counter-type"})
        if (command == configure) return veltro::cli::ConfigureCommand(command, rest);
    const auto found = commands.find(command);
    if (found == commands.end()) return Fail("unknown command '" + command + "'; see --help");
    return found->second(rest);
}
