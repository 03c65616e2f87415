#include "app/account_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

#include "mbus/byte_reader.h"

namespace veltro {
namespace {

struct TextField {
    std::size_t offset;
    std::size_t capacity;
    std::uint8_t mask;
};
constexpr TextField kUserNameField{0, kUserNameCapacity, kMaskA};
constexpr TextField kPasswordField{11, kPasswordCapacity, kMaskB};
constexpr TextField kAccessLevelField{22, kAccessLevelCapacity, kMaskA};
constexpr TextField kRegistrationDateField{38, kRegistrationDateCapacity, 0x00};

struct PermissionField {
    std::size_t offset;
    PermissionCodes codes;
};
constexpr std::size_t kPermissionCodeLength = 3;
constexpr PermissionField kMeterDevicesField{54, kMeterDevicesCodes};
constexpr PermissionField kCommunicationField{58, kCommunicationCodes};
constexpr PermissionField kDisplayField{62, kDisplayCodes};

static_assert(kPasswordField.offset == kUserNameField.offset + 1 + kUserNameField.capacity);
static_assert(kAccessLevelField.offset == kPasswordField.offset + 1 + kPasswordField.capacity);
static_assert(kRegistrationDateField.offset == kAccessLevelField.offset + 1 + kAccessLevelField.capacity);
static_assert(kMeterDevicesField.offset == kRegistrationDateField.offset + 1 + kRegistrationDateField.capacity);
static_assert(kDisplayField.offset + 1 + kPermissionCodeLength == kAccountRecordSize - 1);  // then the reserved byte

constexpr bool AllDifferent(std::initializer_list<std::string_view> codes) {
    for (auto a = codes.begin(); a != codes.end(); ++a)
        for (auto b = a + 1; b != codes.end(); ++b)
            if (*a == *b) return false;
    return true;
}
static_assert(AllDifferent({kMeterDevicesCodes.allowed, kMeterDevicesCodes.notAllowed, kCommunicationCodes.allowed,
                            kCommunicationCodes.notAllowed, kDisplayCodes.allowed, kDisplayCodes.notAllowed}));
static_assert(kMeterDevicesCodes.allowed.size() == kPermissionCodeLength && kDisplayCodes.notAllowed.size() == kPermissionCodeLength);

std::span<const std::uint8_t> FieldRegion(const AccountRecord& record, std::size_t offset, std::size_t capacity) {
    return std::span<const std::uint8_t>(record).subspan(offset, 1 + capacity);
}

// Reads one text field; `overlong` is set when its length byte claims more than the field holds.
std::string ReadText(const AccountRecord& record, const TextField& field, bool& overlong) {
    ByteReader reader(FieldRegion(record, field.offset, field.capacity));
    const std::size_t claimed = reader.readByte().value_or(0);
    if (claimed > field.capacity) overlong = true;
    const auto characters = reader.readBytes(std::min(claimed, field.capacity));
    std::string text;
    if (characters)
        for (const std::uint8_t byte : *characters) text.push_back(static_cast<char>(byte ^ field.mask));
    return text;
}

void WriteText(AccountRecord& record, const TextField& field, std::string_view text) {
    const std::size_t length = std::min(text.size(), field.capacity);
    record[field.offset] = static_cast<std::uint8_t>(length);
    for (std::size_t i = 0; i < field.capacity; ++i)
        record[field.offset + 1 + i] = i < length ? static_cast<std::uint8_t>(static_cast<std::uint8_t>(text[i]) ^ field.mask) : 0x00;
}

// Allowed exactly when the field holds its "allowed" code; `foreign` is set when it holds neither code.
bool ReadPermission(const AccountRecord& record, const PermissionField& field, bool& foreign) {
    ByteReader reader(FieldRegion(record, field.offset, kPermissionCodeLength));
    const auto length = reader.readByte();
    const auto code = reader.readBytes(kPermissionCodeLength);
    if (length != kPermissionCodeLength || !code) {
        foreign = true;
        return false;
    }
    const std::string_view text(reinterpret_cast<const char*>(code->data()), code->size());
    if (text == field.codes.allowed) return true;
    if (text != field.codes.notAllowed) foreign = true;
    return false;
}

void WritePermission(AccountRecord& record, const PermissionField& field, bool allowed) {
    const std::string_view code = allowed ? field.codes.allowed : field.codes.notAllowed;
    record[field.offset] = static_cast<std::uint8_t>(kPermissionCodeLength);
    std::copy(code.begin(), code.end(), record.begin() + static_cast<std::ptrdiff_t>(field.offset + 1));
}

std::string Cut(std::string_view text, std::size_t capacity) { return std::string(text.substr(0, capacity)); }

bool IsPrintableLatin1(unsigned codePoint) {
    return (codePoint >= 0x20 && codePoint <= 0x7E) || (codePoint >= 0xA0 && codePoint <= 0xFF);
}

std::string ErrnoText(int error) { return std::generic_category().message(error); }

} // namespace

Account DecodeAccount(const AccountRecord& record) {
    Account account;
    bool damaged = false;
    account.userName = ReadText(record, kUserNameField, damaged);
    account.password = ReadText(record, kPasswordField, damaged);
    account.accessLevel = ReadText(record, kAccessLevelField, damaged);
    account.registrationDate = ReadText(record, kRegistrationDateField, damaged);
    account.permissions.meterDevices = ReadPermission(record, kMeterDevicesField, damaged);
    account.permissions.communication = ReadPermission(record, kCommunicationField, damaged);
    account.permissions.display = ReadPermission(record, kDisplayField, damaged);
    account.damaged = damaged;
    return account;
}

AccountRecord EncodeAccount(const Account& account) {
    AccountRecord record{};
    WriteText(record, kUserNameField, account.userName);
    WriteText(record, kPasswordField, account.password);
    WriteText(record, kAccessLevelField, account.accessLevel);
    WriteText(record, kRegistrationDateField, account.registrationDate);
    WritePermission(record, kMeterDevicesField, account.permissions.meterDevices);
    WritePermission(record, kCommunicationField, account.permissions.communication);
    WritePermission(record, kDisplayField, account.permissions.display);
    return record;
}

std::vector<Account> DecodeAccounts(const AccountRecords& records) {
    std::vector<Account> accounts;
    accounts.reserve(records.size());
    for (const AccountRecord& record : records) accounts.push_back(DecodeAccount(record));
    return accounts;
}

AccountRecords ParseAccountFile(std::span<const std::uint8_t> bytes) {
    AccountRecords records;
    ByteReader reader(bytes);
    records.reserve(bytes.size() / kAccountRecordSize);
    while (const auto whole = reader.readBytes(kAccountRecordSize)) {
        AccountRecord record;
        std::copy(whole->begin(), whole->end(), record.begin());
        records.push_back(record);
    }
    return records;
}

std::string RenderAccountFile(const AccountRecords& records) {
    std::string bytes;
    bytes.reserve(records.size() * kAccountRecordSize);
    for (const AccountRecord& record : records) bytes.append(record.begin(), record.end());
    return bytes;
}

std::optional<std::string> AccountTextFromUtf8(std::string_view utf8) {
    std::string text;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto lead = static_cast<std::uint8_t>(utf8[i]);
        unsigned codePoint = lead;
        if (lead >= 0x80) {
            // Only C2h and C3h lead to code points below 100h; everything else is outside the range or
            // not UTF-8 at all.
            if ((lead != 0xC2 && lead != 0xC3) || i + 1 >= utf8.size()) return std::nullopt;
            const auto continuation = static_cast<std::uint8_t>(utf8[++i]);
            if ((continuation & 0xC0) != 0x80) return std::nullopt;
            codePoint = ((lead & 0x1Fu) << 6) | (continuation & 0x3Fu);
        }
        if (!IsPrintableLatin1(codePoint)) return std::nullopt;
        text.push_back(static_cast<char>(codePoint));
    }
    return text;
}

std::string AccountTextToUtf8(std::string_view accountText) {
    std::string utf8;
    for (const char c : accountText) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (!IsPrintableLatin1(byte)) {
            utf8.push_back('?');  // a control byte of a damaged record is never sent to a screen
        } else if (byte < 0x80) {
            utf8.push_back(c);
        } else {
            utf8.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return utf8;
}

std::optional<Role> RoleOfAccessLevel(std::string_view accessLevel) {
    if (accessLevel == kAdministrator) return Role::Administrator;
    if (accessLevel == kSetup) return Role::Setup;
    if (accessLevel == kOperator) return Role::Operator;
    return std::nullopt;
}

LoginOutcome CheckLogin(const AccountFileRead& file, std::string_view userName, std::string_view password) {
    LoginOutcome outcome;
    switch (file.status) {
    case AccountFileRead::Status::Missing: outcome.kind = LoginOutcome::Kind::MissingFile; return outcome;
    case AccountFileRead::Status::Failed: outcome.kind = LoginOutcome::Kind::UnreadableFile; return outcome;
    case AccountFileRead::Status::Loaded: break;
    }
    if (file.records.empty()) {
        outcome.kind = LoginOutcome::Kind::EmptyFile;
        return outcome;
    }
    for (const AccountRecord& record : file.records) {
        const Account account = DecodeAccount(record);
        if (account.userName != userName || account.password != password) continue;
        const auto role = RoleOfAccessLevel(account.accessLevel);
        if (!role) continue;
        outcome.kind = LoginOutcome::Kind::Granted;
        outcome.grant.role = *role;
        outcome.grant.meterConfiguration = account.permissions.meterDevices;
        outcome.grant.communicationPage = account.permissions.communication;
        outcome.grant.displayPage = account.permissions.display;
    }
    return outcome;
}

std::optional<std::string_view> CheckAccountEntry(const AccountEntry& entry) {
    if (entry.userName.empty()) return kEnterUsernameText;
    if (entry.password.empty() || entry.repeatedPassword.empty()) return kEnterPasswordText;
    if (entry.accessLevel.empty()) return kSelectAccessLevelText;
    if (entry.password != entry.repeatedPassword) return kPasswordsDifferText;
    return std::nullopt;
}

AddOrChangeResult AddOrChangeAccount(AccountRecords records, const AccountEntry& entry, std::string_view today) {
    // Compared as it would be stored, so a longer name never appends a second account of the same name.
    const std::string userName = Cut(entry.userName, kUserNameCapacity);
    AddOrChangeResult result;
    const std::vector<Account> accounts = DecodeAccounts(records);
    const auto administrators =
        std::count_if(accounts.begin(), accounts.end(), [](const Account& a) { return a.accessLevel == kAdministrator; });
    for (std::size_t i = 0; i < records.size(); ++i) {
        bool ignored = false;
        if (ReadText(records[i], kUserNameField, ignored) != userName) continue;
        if (administrators == 1 && accounts[i].accessLevel == kAdministrator && entry.accessLevel != kAdministrator) {
            result.lastAdministrator = true;
            result.position = i;
            result.records = std::move(records);
            return result;
        }
        AccountRecord& record = records[i];
        WriteText(record, kPasswordField, entry.password);
        WriteText(record, kAccessLevelField, entry.accessLevel);
        WritePermission(record, kMeterDevicesField, entry.permissions.meterDevices);
        WritePermission(record, kCommunicationField, entry.permissions.communication);
        WritePermission(record, kDisplayField, entry.permissions.display);
        result.position = i;
        result.records = std::move(records);
        return result;
    }
    Account account;
    account.userName = userName;
    account.password = entry.password;
    account.accessLevel = entry.accessLevel;
    account.registrationDate = Cut(today, kRegistrationDateCapacity);
    account.permissions = entry.permissions;
    records.push_back(EncodeAccount(account));
    result.added = true;
    result.position = records.size() - 1;
    result.records = std::move(records);
    return result;
}

DeleteResult DeleteAccount(AccountRecords records, std::string_view userName) {
    DeleteResult result;
    const std::vector<Account> accounts = DecodeAccounts(records);
    auto isAdministrator = [](const Account& a) { return a.accessLevel == kAdministrator; };
    const auto administrators = std::count_if(accounts.begin(), accounts.end(), isAdministrator);
    const auto found = std::find_if(accounts.begin(), accounts.end(), [&](const Account& a) { return a.userName == userName; });
    if (administrators == 0) {
        result.outcome = DeleteResult::Outcome::NoAdministrator;
    } else if (found != accounts.end() && administrators == 1 && isAdministrator(*found)) {
        result.outcome = DeleteResult::Outcome::LastAdministrator;
    } else if (found != accounts.end()) {
        result.position = static_cast<std::size_t>(found - accounts.begin());
        records.erase(records.begin() + static_cast<std::ptrdiff_t>(result.position));
        result.outcome = DeleteResult::Outcome::Deleted;
    }
    result.records = std::move(records);
    return result;
}

std::vector<AccountListRow> ListAccounts(const AccountRecords& records) {
    std::vector<AccountListRow> rows;
    rows.reserve(records.size());
    auto yesNo = [](bool allowed) { return std::string(allowed ? kYes : kNo); };
    for (const Account& account : DecodeAccounts(records)) {
        rows.push_back({AccountTextToUtf8(account.userName), AccountTextToUtf8(account.accessLevel),
                        AccountTextToUtf8(account.registrationDate), yesNo(account.permissions.meterDevices),
                        yesNo(account.permissions.communication), yesNo(account.permissions.display)});
    }
    return rows;
}

AccountFileRead ReadAccountFile(const std::filesystem::path& path, AccountFileAccess access) {
    namespace fs = std::filesystem;
    AccountFileRead result;
    auto failed = [&](const std::string& why) {
        result.status = AccountFileRead::Status::Failed;
        result.error = "Cannot read " + path.string() + ": " + why;
        return result;
    };
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found) return result;
    if (error) return failed(error.message());
    if (status.type() != fs::file_type::regular) return failed("not a regular file");

    const char* mode = access == AccountFileAccess::ReadWrite ? "r+b" : "rb";
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.string().c_str(), mode), &std::fclose);
    if (!file) {
        if (errno == ENOENT) return result;  // removed since the look above
        return failed(ErrnoText(errno));
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[4096];
    while (true) {
        const std::size_t count = std::fread(buffer, 1, sizeof buffer, file.get());
        bytes.insert(bytes.end(), buffer, buffer + count);
        if (bytes.size() > kMaxAccountFileSize)
            return failed("larger than " + std::to_string(kMaxAccountFileSize) + " bytes");
        if (count < sizeof buffer) break;
    }
    if (std::ferror(file.get())) return failed("read error");
    result.status = AccountFileRead::Status::Loaded;
    result.records = ParseAccountFile(bytes);
    result.ignoredBytes = bytes.size() % kAccountRecordSize;
    return result;
}

FileWriteResult WriteAccountFile(const std::filesystem::path& path, const AccountRecords& records) {
    return WriteFileAtomically(path, RenderAccountFile(records));
}

std::string FirstAdministratorHint(Language language, const std::filesystem::path& programFolder) {
    const std::string command = "veltro-users --home \"" + programFolder.string() +
                                "\" add NAME --access Administrator --allow devices,comm,display";
    if (language == Language::Italian)
        return "Non esiste ancora nessun account. Creare il primo amministratore in un terminale:\n" + command;
    return "No account exists yet. Create the first administrator in a terminal:\n" + command;
}

} // namespace veltro
