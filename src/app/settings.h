#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "app/ini_file.h"
#include "app/language.h"
#include "mbus/constants.h"

namespace veltro {

inline constexpr int kAdditionalTitleCount = 15;
// The main window keeps each additional-value title as a short string of this many characters.
inline constexpr std::size_t kMainWindowTitleLength = 15;

struct AdditionalTitles {
    int count = 0;  // `UD_addValues`, 0..15
    std::array<std::string, kAdditionalTitleCount> titles{};  // `Edit1` .. `Edit15`
};

// Every key of the settings window (`TSettings`), with the default a missing key takes. Strings are kept
// as typed; the code that uses a value decides what it means (a speed text of "1200" is shown as typed
// and opens the port at 2400 baud).
struct Settings {
    struct ComPort {
        std::string name = "COM1";     // `Combo_com_name`
        std::string speed = "300";     // `Combo_com_speed`
        std::string parity = "Even";   // `Combo_com_parity`
        bool rts = false;              // `Check_rts` "RTS control" (stored, not applied)
        bool dtr = false;              // `Check_dtr` "DTR control" (stored, not applied)
    } comPort;

    struct Misc {
        std::string exportSeparator = ";";  // `Edit_export_separator`
        std::string decSeparator = ".";     // `Edit_decimal`
        int retry = 1;                      // `UD_retry_read`, 0..9
        bool useEthernet = false;           // `Check_ethernet` "Use NLAN-2 or NCEL-1A as clients"
        bool useVodud = false;              // `Check_xport` "Use VODUD"
        bool useNlanServ = false;           // `Check_nlan_server` "Use NLAN-2 server version"
        bool use5B = false;                 // `Check_5B` "Use 0x5B"
        bool globalInit = false;            // `Global_init` "Global initialization"
        bool msbSearch = true;              // `Check_MSB`
        bool lsbSearch = false;             // `Check_LSB`
        bool multitelegram = false;         // `Check_multitelegram` "Multi-telegram mode"
        bool decodeApator = false;          // `Check_decodeApator`, key `wApator`
        bool decodeTechem = false;          // `Check_decodeTechem`, key `wTechem`
    } misc;

    struct Ethernet {
        std::string listenPort = "59615";  // `Edit_tcp_port` "Port to listen:", key `port`/`Port`
        bool autoOpen = true;              // `Check_open_tcp` "Auto open and listen"
        bool autoLdu = false;              // `Check_autoldu` "Auto read LDM Display"
        bool autoMbus = false;             // `Check_autombus` "Auto read m-bus by Primary address"
        bool autoSecondary = false;        // `Check_autoSecondary` "Auto search secondary address", key `AutoSec`
        bool keepAlive = true;             // `Check_keepAlive` "Keep alive"
        int timerReload = 0;               // `UD_timerReload` "Timeout reload when GPRS", 0..9, key `TReload`
    } ethernet;

    struct Vodud {
        std::string ip = "192.168.1.3";  // `Edit_vodud_ip` "Remote IP number:"
        std::string port = "10001";      // `Edit_vodud_port` "Remote port:"
        std::string netNumber;           // `Edit_net_number` "Network number:"
        int ethTimeout = 50;             // `UD_eth_timeout` "Ethernet timeout", 20..999, unit 10 ms
        bool closeTcp = false;           // `Check_closeTCP` "Close automatically connection"
    } vodud;

    AdditionalTitles titles;  // section `Titles`, stored in full
};

// The main window's persisted state (`TForm11`), with its defaults.
struct MainWindowState {
    int searchFrom = 0;   // `Mbus` `SearchFrom`: `UD_address_min`, 0..255
    int searchTo = 0;     // `Mbus` `SearchTo`: `UD_address_max`, 0..255
    int timeout = 500;    // `Mbus` `Timeout`: `UD_timeout`, the response window in ms, 300..30000
    std::string dir;      // `Misc` `Dir`: working folder of the file dialogs; default the program folder
    Language language = Language::English;  // `Misc` `Language`: 1 English, 2 Italian
    AdditionalTitles titles;                 // `Titles`, read only, each cut to 15 characters
    std::string picoSecondary = "00000001";  // `RXVpico` `Secondary`: `Edit_picoID`
    std::string picoPrimary = "0";           // `RXVpico` `Primary`: `Edit_rxvAddress`
    // `Mbus` `FastResponse`: a meter's window ends when its answer is complete, or after the answer time
    // of the line when nothing came (`Check_fast` "Fast response").
    bool fastResponse = false;
    int fastAllowance = 100;  // `Mbus` `FastAllowance`: ms the bridge and the gateways add to the answer time
};

// Range of each up-down control, applied to the integers read (a control clamps what it is given).
inline constexpr int kRetryHighest = 9;
inline constexpr int kTimerReloadHighest = 9;
inline constexpr int kEthTimeoutLowest = 20;
inline constexpr int kEthTimeoutHighest = 999;
inline constexpr int kResponseWindowLowest = 300;
inline constexpr int kResponseWindowHighest = 30000;
inline constexpr int kFastAllowanceHighest = 5000;
inline constexpr int kScanAddressHighest = kLastScanAddress;

// Every key of the settings window, read when the window opens. A missing key or one whose value does
// not parse as an integer or boolean takes its default; an integer outside its control's range is
// clamped to it.
Settings ReadSettings(const IniFile& ini);

// "Apply" on the communication page (`BitBtn1Click`): sections `Com port`, `Misc`, `Ethernet`, `VODUD`,
// in the order of the window. All or nothing: false (and the file untouched) when a value cannot be
// stored, such as one holding a line break.
[[nodiscard]] bool WriteCommunicationSettings(const Settings& settings, IniFile& ini);

// "Apply" on the additional-information page (`BitBtn3Click`): `Titles` `Count` and `Title1`..`Title15`.
[[nodiscard]] bool WriteTitleSettings(const AdditionalTitles& titles, IniFile& ini);

// The main window's keys, read once at `FormCreate`.
MainWindowState ReadMainWindowState(const IniFile& ini, std::string_view programFolder);

// `FormClose`: `Mbus`, `Misc` `Dir` and `Language`, `RXVpico`; not the titles. All or nothing.
[[nodiscard]] bool WriteMainWindowState(const MainWindowState& state, IniFile& ini);

// The main window's copy of the titles: the count and each title cut to 15 characters.
AdditionalTitles MainWindowTitles(const AdditionalTitles& titles);

// The first `count` characters of UTF-8 text (bytes, when the text is not valid UTF-8, as an old
// 8-bit file may be), never splitting a character.
std::string CutToCharacters(std::string_view text, std::size_t count);

} // namespace veltro
