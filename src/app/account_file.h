#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/atomic_file.h"
#include "app/language.h"
#include "app/login_grant.h"

namespace veltro {

// The account file files/users.dat: fixed records of 67 bytes, no header (docs/ACCOUNTS.md).
//
//   offset  size  field                 encoding
//    0      11    user name             length byte 0..10, characters XOR kMaskA
//   11      11    password              length byte 0..10, characters XOR kMaskB
//   22      16    access level          length byte 0..15, characters XOR kMaskA
//   38      16    registration date     length byte 0..15, plain characters
//   54       4    "m-bus devices"       length byte 3, one of two 3-character codes
//   58       4    "communication"       length byte 3, one of two 3-character codes
//   62       4    "display"             length byte 3, one of two 3-character codes
//   66       1    reserved
//
// Example: user "ab", password "x", access "Operator", date "2025-03-10", devices allowed, the
// others not: 02 5D 5E .. | 01 C7 .. | 08 73 4C 59 4E 5D 48 53 4E .. | 0A "2025-03-10" .. |
// 03 "MDY" | 03 "CMN" | 03 "DSN" | 00.
inline constexpr std::size_t kAccountRecordSize = 67;
inline constexpr std::uint8_t kMaskA = 0x3C;  // user name and access level
inline constexpr std::uint8_t kMaskB = 0xBF;  // password
static_assert(kMaskA != kMaskB);

inline constexpr std::size_t kUserNameCapacity = 10;
inline constexpr std::size_t kPasswordCapacity = 10;
inline constexpr std::size_t kAccessLevelCapacity = 15;
inline constexpr std::size_t kRegistrationDateCapacity = 15;

// A larger file is refused as a whole: some fifteen thousand accounts are far beyond any installation.
inline constexpr std::size_t kMaxAccountFileSize = 1024 * 1024;

inline constexpr std::string_view kAdministrator = "Administrator";
inline constexpr std::string_view kSetup = "Setup";
inline constexpr std::string_view kOperator = "Operator";

// One permission field's pair of codes; the six codes are all different, so a code copied from one
// field never grants another.
struct PermissionCodes {
    std::string_view allowed;
    std::string_view notAllowed;
};
inline constexpr PermissionCodes kMeterDevicesCodes{"MDY", "MDN"};
inline constexpr PermissionCodes kCommunicationCodes{"CMY", "CMN"};
inline constexpr PermissionCodes kDisplayCodes{"DSY", "DSN"};

using AccountRecord = std::array<std::uint8_t, kAccountRecordSize>;
using AccountRecords = std::vector<AccountRecord>;

struct AccountPermissions {
    bool meterDevices = false;
    bool communication = false;
    bool display = false;
    bool operator==(const AccountPermissions&) const = default;
};

// One record decoded. Characters are bytes, one per character (ISO 8859-1).
struct Account {
    std::string userName;
    std::string password;
    std::string accessLevel;
    std::string registrationDate;
    AccountPermissions permissions;
    // A length byte above its field's capacity (read as the capacity), or a permission field that holds
    // neither of its two codes (read as not allowed): the record was not written by this program.
    bool damaged = false;
};

// Decoding never reads past a field: a length byte above the field's capacity means the field is full.
Account DecodeAccount(const AccountRecord& record);
// Each text is cut to its field's capacity; bytes after a text's last character and the reserved byte
// are zero.
AccountRecord EncodeAccount(const Account& account);
std::vector<Account> DecodeAccounts(const AccountRecords& records);

// The whole records of a file's content; bytes after the last whole record are no account.
AccountRecords ParseAccountFile(std::span<const std::uint8_t> bytes);
std::string RenderAccountFile(const AccountRecords& records);

// Text typed by the operator (UTF-8) to account characters: nothing when a character is not a printable
// ISO 8859-1 character, so what one keyboard stores another can type.
std::optional<std::string> AccountTextFromUtf8(std::string_view utf8);
std::string AccountTextToUtf8(std::string_view accountText);

// The role an access level names; nothing for any other text.
std::optional<Role> RoleOfAccessLevel(std::string_view accessLevel);

// --- Login (`Butt_enterClick`) ---

inline constexpr std::string_view kLoginFailTitle = "Login fail";
inline constexpr std::string_view kMissingAccountFileText = "Missing account file!\nContact administrator";
inline constexpr std::string_view kEmptyAccountFileText = "Account file is empty (no valid accounts)!\nContact administrator";
inline constexpr std::string_view kUnreadableAccountFileText = "Account file can not be read!\nContact administrator";
inline constexpr std::string_view kWrongCredentialsText = "Wrong username or password!";

// What the login window shows while there is no account file: how to create the first administrator,
// with the folder this program reads (`veltro-users --home "FOLDER" add NAME --access Administrator ...`).
std::string FirstAdministratorHint(Language language, const std::filesystem::path& programFolder);

struct AccountFileRead {
    enum class Status { Loaded, Missing, Failed };
    Status status = Status::Missing;
    AccountRecords records;        // Loaded only
    std::size_t ignoredBytes = 0;  // bytes after the last whole record
    std::string error;             // Failed only: why
};

struct LoginOutcome {
    enum class Kind { Granted, MissingFile, EmptyFile, UnreadableFile, WrongCredentials };
    Kind kind = Kind::WrongCredentials;
    LoginGrant grant;  // Granted only
    // The file cannot be used at all: after the message the program ends.
    bool endsProgram() const { return kind == Kind::MissingFile || kind == Kind::EmptyFile || kind == Kind::UnreadableFile; }
};

// Every record is compared in file order, user name and password exactly (case-sensitive); every
// matching record is applied, so the last one decides. A record whose access level names no role grants
// nothing.
LoginOutcome CheckLogin(const AccountFileRead& file, std::string_view userName, std::string_view password);

// --- The users window (`TFUsers`) ---

inline constexpr std::string_view kAccountErrorTitle = "Account error";
inline constexpr std::string_view kEnterUsernameText = "Enter username";
inline constexpr std::string_view kEnterPasswordText = "Enter password (both fields)";
inline constexpr std::string_view kSelectAccessLevelText = "Select access level for this user";
inline constexpr std::string_view kPasswordsDifferText = "Passwords does not match!";
inline constexpr std::string_view kDeleteMissingFileText = "Missing account file!";

struct AccountEntry {
    std::string userName;
    std::string password;
    std::string repeatedPassword;
    std::string accessLevel;
    AccountPermissions permissions;
};

// `Butt_addClick`'s checks in their order: the first refusal's text, or nothing.
std::optional<std::string_view> CheckAccountEntry(const AccountEntry& entry);

struct AddOrChangeResult {
    AccountRecords records;
    bool added = false;        // false: an existing account was changed
    std::size_t position = 0;  // of the record added or changed
    // Nothing changed: the change would take Administrator access from the last account that has it.
    bool lastAdministrator = false;
};

// The first record with the same user name (as stored: cut to 10) gets the new password, access level
// and permissions and keeps its user name, registration date and reserved byte; without one, a record
// with `today` as its registration date is appended. The last "Administrator" account keeps that
// access, as deleting it is refused too.
AddOrChangeResult AddOrChangeAccount(AccountRecords records, const AccountEntry& entry, std::string_view today);

struct DeleteResult {
    enum class Outcome { Deleted, NoAdministrator, NotFound, LastAdministrator };
    AccountRecords records;
    Outcome outcome = Outcome::NotFound;
    std::size_t position = 0;  // Deleted only
};

// With no "Administrator" account in the file nothing is deleted; otherwise the first account of that
// user name is removed and the later ones move down, unless it is the last "Administrator" account:
// without one nobody could manage the accounts any more, so that one is refused.
DeleteResult DeleteAccount(AccountRecords records, std::string_view userName);

// `Grid_users`' columns: "User", "Access", "Date reg.", "m-bus", "Comm", "Display".
inline constexpr std::size_t kAccountListColumns = 6;
using AccountListRow = std::array<std::string, kAccountListColumns>;
inline constexpr std::string_view kYes = "Yes";
inline constexpr std::string_view kNo = "No";
std::vector<AccountListRow> ListAccounts(const AccountRecords& records);

// --- The file ---

enum class AccountFileAccess { Read, ReadWrite };

// Reads the whole file. With ReadWrite the file must also open for writing, as a change requires.
AccountFileRead ReadAccountFile(const std::filesystem::path& path, AccountFileAccess access = AccountFileAccess::Read);

// Replaces the file atomically (temporary file in the same folder, then rename): on failure the old file
// is untouched and the result says why.
[[nodiscard]] FileWriteResult WriteAccountFile(const std::filesystem::path& path, const AccountRecords& records);

} // namespace veltro
