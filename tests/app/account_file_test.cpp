#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/account_file.h"
#include "app/file_faults.h"
#include "mbus/hex.h"

namespace veltro {
namespace {

using test::ReadWholeFile;
using test::TempFolder;
using test::WriteWholeFile;

constexpr AccountPermissions kNone{};
constexpr AccountPermissions kAll{true, true, true};

Account MakeAccount(std::string user, std::string password, std::string access, AccountPermissions permissions = kNone,
                    std::string date = "2024-01-31") {
    Account account;
    account.userName = std::move(user);
    account.password = std::move(password);
    account.accessLevel = std::move(access);
    account.registrationDate = std::move(date);
    account.permissions = permissions;
    return account;
}

AccountRecords Records(std::initializer_list<Account> accounts) {
    AccountRecords records;
    for (const Account& account : accounts) records.push_back(EncodeAccount(account));
    return records;
}

AccountFileRead Loaded(AccountRecords records) {
    AccountFileRead file;
    file.status = AccountFileRead::Status::Loaded;
    file.records = std::move(records);
    return file;
}

AccountEntry Entry(std::string user, std::string password, std::string access, AccountPermissions permissions = kNone) {
    return AccountEntry{std::move(user), password, password, std::move(access), permissions};
}

std::string Hex(const AccountRecord& record) { return HexRendering(record); }

// --- The record ---

TEST(AccountRecordLayout, FieldsSitAtTheirOffsetsWithOnlyTheCharactersMasked) {
    const AccountRecord record =
        EncodeAccount(MakeAccount("ab", "x", "Operator", {true, false, false}, "2025-03-10"));
    // Written out by hand from the masks 3Ch (A) and BFh (B): 'a' 61h ^ 3Ch = 5Dh, 'x' 78h ^ BFh = C7h.
    const std::string expected =
        "02 5D 5E 00 00 00 00 00 00 00 00 "                          // 0: user name, 11 bytes
        "01 C7 00 00 00 00 00 00 00 00 00 "                          // 11: password, 11 bytes
        "08 73 4C 59 4E 5D 48 53 4E 00 00 00 00 00 00 00 "           // 22: "Operator" masked with A
        "0A 32 30 32 35 2D 30 33 2D 31 30 00 00 00 00 00 "           // 38: "2025-03-10" in plain text
        "03 4D 44 59 "                                               // 54: devices allowed "MDY"
        "03 43 4D 4E "                                               // 58: communication not allowed "CMN"
        "03 44 53 4E "                                               // 62: display not allowed "DSN"
        "00 ";                                                       // 66: reserved
    EXPECT_EQ(Hex(record), expected);
}

TEST(AccountRecordLayout, EachPermissionHasItsOwnAllowedCode) {
    struct Case {
        const char* what;
        AccountPermissions permissions;
        const char* codes;  // bytes 54..65
    } cases[] = {
        {"none allowed", kNone, "03 4D 44 4E 03 43 4D 4E 03 44 53 4E "},
        {"all allowed", kAll, "03 4D 44 59 03 43 4D 59 03 44 53 59 "},
        {"communication only", {false, true, false}, "03 4D 44 4E 03 43 4D 59 03 44 53 4E "},
        {"display only", {false, false, true}, "03 4D 44 4E 03 43 4D 4E 03 44 53 59 "},
    };
    for (const auto& c : cases) {
        const AccountRecord record = EncodeAccount(MakeAccount("u", "p", "Setup", c.permissions));
        EXPECT_EQ(HexRendering(std::span<const std::uint8_t>(record).subspan(54, 12)), c.codes) << c.what;
        EXPECT_EQ(DecodeAccount(record).permissions, c.permissions) << c.what;
    }
}

TEST(AccountRecordCodec, WhatIsWrittenIsReadBack) {
    const Account cases[] = {
        MakeAccount("admin", "secret", "Administrator", kAll, "10/03/2025"),
        MakeAccount("tenchars10", "pass word!", "Setup", {true, false, true}, "15 chars date.."),
        MakeAccount("Jos\xE9", "\xE0\xE8\xEC\xF2\xF9", "Operator", {false, true, false}, "1.1.25"),
        MakeAccount("x", "y", "custom access 1", kNone, ""),
    };
    for (const Account& original : cases) {
        const Account read = DecodeAccount(EncodeAccount(original));
        EXPECT_EQ(read.userName, original.userName);
        EXPECT_EQ(read.password, original.password);
        EXPECT_EQ(read.accessLevel, original.accessLevel);
        EXPECT_EQ(read.registrationDate, original.registrationDate);
        EXPECT_EQ(read.permissions, original.permissions) << original.userName;
        EXPECT_FALSE(read.damaged) << original.userName;
    }
}

TEST(AccountRecordCodec, TextsLongerThanTheirFieldAreCut) {
    const Account read = DecodeAccount(EncodeAccount(
        MakeAccount("twelve-chars", "password12", "an access level!", kNone, "a date of 17 chrs")));
    EXPECT_EQ(read.userName, "twelve-cha");
    EXPECT_EQ(read.password, "password12");
    EXPECT_EQ(read.accessLevel, "an access level");
    EXPECT_EQ(read.registrationDate, "a date of 17 ch");
}

TEST(AccountRecordCodec, BytesAfterAFieldsLastCharacterAreIgnored) {
    AccountRecord record = EncodeAccount(MakeAccount("ab", "pw", "Setup", kAll, "1/2/25"));
    for (std::size_t offset : {3u, 10u, 14u, 21u, 28u, 37u, 45u, 53u, 66u}) record[offset] = 0xA5;
    const Account read = DecodeAccount(record);
    EXPECT_EQ(read.userName, "ab");
    EXPECT_EQ(read.password, "pw");
    EXPECT_EQ(read.accessLevel, "Setup");
    EXPECT_EQ(read.registrationDate, "1/2/25");
    EXPECT_EQ(read.permissions, kAll);
    EXPECT_FALSE(read.damaged);
}

TEST(AccountRecordCodec, LengthBytesAboveTheFieldMeanAFullFieldAndNeverReachTheNext) {
    const AccountRecord good = EncodeAccount(MakeAccount("abcdefghij", "0123456789", "Administrator", kAll,
                                                         "date-of-15-char"));
    struct Case {
        const char* what;
        std::size_t offset;
        std::uint8_t length;
        std::string Account::*field;
        std::string expected;
    } cases[] = {
        {"user name 11", 0, 11, &Account::userName, "abcdefghij"},
        {"user name FFh", 0, 0xFF, &Account::userName, "abcdefghij"},
        {"password 11", 11, 11, &Account::password, "0123456789"},
        {"password 80h", 11, 0x80, &Account::password, "0123456789"},
        // Thirteen characters of "Administrator" and two zero bytes after them, both unmasked.
        {"access level 16", 22, 16, &Account::accessLevel, std::string("Administrator") + "\x3C\x3C"},
        {"registration date 200", 38, 200, &Account::registrationDate, "date-of-15-char"},
    };
    for (const auto& c : cases) {
        AccountRecord record = good;
        record[c.offset] = c.length;
        const Account read = DecodeAccount(record);
        EXPECT_EQ(read.*c.field, c.expected) << c.what;
        EXPECT_TRUE(read.damaged) << c.what;
        EXPECT_EQ(read.permissions, kAll) << c.what;  // the fields after it are read as they are
    }
}

TEST(AccountRecordCodec, APermissionFieldGrantsOnlyWithItsOwnAllowedCode) {
    struct Case {
        const char* what;
        const char* field;  // 4 bytes at offset 58, the "communication" field
        bool allowed;
        bool damaged;
    } cases[] = {
        {"its allowed code", "03 43 4D 59", true, false},
        {"its not-allowed code", "03 43 4D 4E", false, false},
        {"the devices field's allowed code", "03 4D 44 59", false, true},
        {"the display field's allowed code", "03 44 53 59", false, true},
        {"allowed code in lower case", "03 63 6D 79", false, true},
        {"length byte 2", "02 43 4D 59", false, true},
        {"length byte FFh", "FF 43 4D 59", false, true},
        {"all zero", "00 00 00 00", false, true},
    };
    for (const auto& c : cases) {
        AccountRecord record = EncodeAccount(MakeAccount("u", "p", "Setup", kNone));
        const Telegram bytes = *ParseHex(c.field);
        std::copy(bytes.begin(), bytes.end(), record.begin() + 58);
        const Account read = DecodeAccount(record);
        EXPECT_EQ(read.permissions.communication, c.allowed) << c.what;
        EXPECT_EQ(read.damaged, c.damaged) << c.what;
        EXPECT_FALSE(read.permissions.meterDevices) << c.what;
        EXPECT_FALSE(read.permissions.display) << c.what;
    }
}

TEST(AccountFileContent, OnlyWholeRecordsAreAccounts) {
    const AccountRecords two = Records({MakeAccount("one", "1", "Setup"), MakeAccount("two", "2", "Operator")});
    const std::string whole = RenderAccountFile(two);
    ASSERT_EQ(whole.size(), 2 * kAccountRecordSize);
    struct Case {
        std::size_t size;
        std::size_t records;
    } cases[] = {{0, 0}, {1, 0}, {66, 0}, {67, 1}, {68, 1}, {133, 1}, {134, 2}};
    for (const auto& c : cases) {
        const std::string prefix = whole.substr(0, c.size);
        const AccountRecords read =
            ParseAccountFile(std::span(reinterpret_cast<const std::uint8_t*>(prefix.data()), prefix.size()));
        ASSERT_EQ(read.size(), c.records) << c.size << " bytes";
        for (std::size_t i = 0; i < read.size(); ++i) EXPECT_EQ(read[i], two[i]) << c.size << " bytes";
    }
}

TEST(AccountText, TypedTextBecomesOneBytePerCharacter) {
    struct Case {
        const char* what;
        const char* utf8;
        std::optional<std::string> stored;
    } cases[] = {
        {"plain ASCII", "admin 1", "admin 1"},
        {"empty", "", ""},
        {"Latin-1 letters", "Jos\xC3\xA9 \xC3\xA0", "Jos\xE9 \xE0"},
        {"no-break space and y with diaeresis", "\xC2\xA0\xC3\xBF", "\xA0\xFF"},
        {"euro sign is outside", "\xE2\x82\xAC", std::nullopt},
        {"tab is a control character", "a\tb", std::nullopt},
        {"C1 control character", "\xC2\x85", std::nullopt},
        {"DEL", "\x7F", std::nullopt},
        {"lone continuation byte", "\xA9", std::nullopt},
        {"lead byte at the end", "ab\xC3", std::nullopt},
        {"overlong encoding of 'A'", "\xC1\x81", std::nullopt},
        {"lead followed by ASCII", "\xC3" "A", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AccountTextFromUtf8(c.utf8), c.stored) << c.what;
        if (c.stored) {
            EXPECT_EQ(AccountTextToUtf8(*c.stored), c.utf8) << c.what;
        }
    }
    EXPECT_EQ(AccountTextToUtf8(std::string("a\x01\x9B" "b", 4)), "a??b");
}

// --- Login ---

TEST(Login, TheFileDecidesBeforeAnyName) {
    AccountFileRead missing;
    AccountFileRead failed;
    failed.status = AccountFileRead::Status::Failed;
    struct Case {
        const char* what;
        AccountFileRead file;
        LoginOutcome::Kind kind;
    } cases[] = {
        {"missing file", missing, LoginOutcome::Kind::MissingFile},
        {"unreadable file", failed, LoginOutcome::Kind::UnreadableFile},
        {"no record", Loaded({}), LoginOutcome::Kind::EmptyFile},
    };
    for (const auto& c : cases) {
        const LoginOutcome outcome = CheckLogin(c.file, "admin", "secret");
        EXPECT_EQ(outcome.kind, c.kind) << c.what;
        EXPECT_TRUE(outcome.endsProgram()) << c.what;
    }
}

TEST(Login, NamesAndPasswordsAreComparedExactly) {
    const AccountFileRead file =
        Loaded(Records({MakeAccount("Admin", "Secret", "Administrator", kAll), MakeAccount("op", "1234567890", "Operator")}));
    struct Case {
        const char* what;
        const char* user;
        const char* password;
        bool granted;
    } cases[] = {
        {"exact", "Admin", "Secret", true},
        {"user name in other case", "admin", "Secret", false},
        {"password in other case", "Admin", "secret", false},
        {"user name with a trailing blank", "Admin ", "Secret", false},
        {"password prefix", "Admin", "Secre", false},
        {"password of another account", "Admin", "1234567890", false},
        {"empty", "", "", false},
        {"ten-character password", "op", "1234567890", true},
        {"twelve characters never match a ten-character field", "op", "123456789012", false},
    };
    for (const auto& c : cases) {
        const LoginOutcome outcome = CheckLogin(file, c.user, c.password);
        EXPECT_EQ(outcome.kind == LoginOutcome::Kind::Granted, c.granted) << c.what;
        if (!c.granted) {
            EXPECT_EQ(outcome.kind, LoginOutcome::Kind::WrongCredentials) << c.what;
            EXPECT_FALSE(outcome.endsProgram()) << c.what;
        }
    }
}

TEST(Login, TheAccessLevelGivesTheRoleAndTheFieldsThePermissions) {
    struct Case {
        const char* what;
        Account account;
        Role role;
        bool usersMenu, settingsMenu;
    } cases[] = {
        {"administrator", MakeAccount("u", "p", "Administrator", {true, false, false}), Role::Administrator, true, true},
        {"setup", MakeAccount("u", "p", "Setup", {false, true, false}), Role::Setup, false, true},
        {"operator", MakeAccount("u", "p", "Operator", {false, false, true}), Role::Operator, false, false},
        {"operator with every permission", MakeAccount("u", "p", "Operator", kAll), Role::Operator, false, false},
    };
    for (const auto& c : cases) {
        const LoginOutcome outcome = CheckLogin(Loaded(Records({c.account})), "u", "p");
        ASSERT_EQ(outcome.kind, LoginOutcome::Kind::Granted) << c.what;
        EXPECT_EQ(outcome.grant.role, c.role) << c.what;
        EXPECT_EQ(outcome.grant.meterConfiguration, c.account.permissions.meterDevices) << c.what;
        EXPECT_EQ(outcome.grant.communicationPage, c.account.permissions.communication) << c.what;
        EXPECT_EQ(outcome.grant.displayPage, c.account.permissions.display) << c.what;
        EXPECT_EQ(outcome.grant.usersMenuEnabled(), c.usersMenu) << c.what;
        EXPECT_EQ(outcome.grant.settingsMenuEnabled(), c.settingsMenu) << c.what;
    }
}

TEST(Login, TheLastMatchingRecordDecides) {
    const AccountFileRead file = Loaded(Records({
        MakeAccount("same", "pw", "Administrator", kAll),
        MakeAccount("other", "pw", "Setup", kNone),
        MakeAccount("same", "pw", "Operator", {false, true, false}),
    }));
    const LoginOutcome outcome = CheckLogin(file, "same", "pw");
    ASSERT_EQ(outcome.kind, LoginOutcome::Kind::Granted);
    EXPECT_EQ(outcome.grant.role, Role::Operator);
    EXPECT_FALSE(outcome.grant.meterConfiguration);
    EXPECT_TRUE(outcome.grant.communicationPage);
    EXPECT_FALSE(outcome.grant.displayPage);
}

TEST(Login, ARecordWhoseAccessLevelNamesNoRoleGrantsNothing) {
    const LoginOutcome alone = CheckLogin(Loaded(Records({MakeAccount("u", "p", "administrator", kAll)})), "u", "p");
    EXPECT_EQ(alone.kind, LoginOutcome::Kind::WrongCredentials);

    // An earlier valid match still holds.
    const LoginOutcome after = CheckLogin(
        Loaded(Records({MakeAccount("u", "p", "Setup", kNone), MakeAccount("u", "p", "Superuser", kAll)})), "u", "p");
    ASSERT_EQ(after.kind, LoginOutcome::Kind::Granted);
    EXPECT_EQ(after.grant.role, Role::Setup);
    EXPECT_FALSE(after.grant.meterConfiguration);
}

// --- The users window's operations ---

TEST(AccountEntryChecks, RefusalsComeInTheirOrder) {
    struct Case {
        const char* what;
        AccountEntry entry;
        std::optional<std::string_view> refusal;
    } cases[] = {
        {"everything missing", AccountEntry{}, kEnterUsernameText},
        {"no user name, passwords differ", AccountEntry{"", "a", "b", "Setup", {}}, kEnterUsernameText},
        {"first password empty", AccountEntry{"u", "", "b", "", {}}, kEnterPasswordText},
        {"second password empty", AccountEntry{"u", "a", "", "Setup", {}}, kEnterPasswordText},
        {"no access level, passwords differ", AccountEntry{"u", "a", "b", "", {}}, kSelectAccessLevelText},
        {"passwords differ", AccountEntry{"u", "a", "b", "Setup", {}}, kPasswordsDifferText},
        {"passwords differ in case", AccountEntry{"u", "Pw", "pw", "Setup", {}}, kPasswordsDifferText},
        {"complete", AccountEntry{"u", "pw", "pw", "Setup", {}}, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(CheckAccountEntry(c.entry), c.refusal) << c.what;
}

TEST(AddOrChange, ANewUserIsAppendedWithTodaysDate) {
    const AccountRecords before = Records({MakeAccount("first", "1", "Administrator", kAll)});
    const AddOrChangeResult result =
        AddOrChangeAccount(before, Entry("second", "pw", "Setup", {false, true, true}), "2025-03-10");
    ASSERT_TRUE(result.added);
    ASSERT_EQ(result.records.size(), 2u);
    EXPECT_EQ(result.position, 1u);
    EXPECT_EQ(result.records[0], before[0]);
    const Account added = DecodeAccount(result.records[1]);
    EXPECT_EQ(added.userName, "second");
    EXPECT_EQ(added.password, "pw");
    EXPECT_EQ(added.accessLevel, "Setup");
    EXPECT_EQ(added.registrationDate, "2025-03-10");
    EXPECT_EQ(added.permissions, (AccountPermissions{false, true, true}));
}

TEST(AddOrChange, ChangingAnAccountKeepsItsNameDateAndReservedByteAndTouchesNoOther) {
    AccountRecords before = Records({
        MakeAccount("admin", "1", "Administrator", kAll, "01/01/2020"),
        MakeAccount("clerk", "a long pwd", "Operator", kNone, "02/02/2021"),
        MakeAccount("clerk", "dup", "Setup", kNone, "03/03/2022"),
    });
    before[1][66] = 0x5A;  // a reserved byte some other writer set
    before[1][9] = 0x77;   // and a stray byte after the user name's characters

    const AddOrChangeResult result =
        AddOrChangeAccount(before, Entry("clerk", "new", "Setup", {true, false, true}), "2025-03-10");
    ASSERT_FALSE(result.added);
    EXPECT_EQ(result.position, 1u);  // the first record of that name
    ASSERT_EQ(result.records.size(), 3u);
    EXPECT_EQ(result.records[0], before[0]);
    EXPECT_EQ(result.records[2], before[2]);

    const AccountRecord& changed = result.records[1];
    EXPECT_TRUE(std::equal(changed.begin(), changed.begin() + 11, before[1].begin()));       // user name field
    EXPECT_TRUE(std::equal(changed.begin() + 38, changed.begin() + 54, before[1].begin() + 38));  // date field
    EXPECT_EQ(changed[66], 0x5A);
    const Account read = DecodeAccount(changed);
    EXPECT_EQ(read.password, "new");
    EXPECT_EQ(read.accessLevel, "Setup");
    EXPECT_EQ(read.registrationDate, "02/02/2021");
    EXPECT_EQ(read.permissions, (AccountPermissions{true, false, true}));
    // Nothing of the old, longer password is left behind the new one.
    EXPECT_TRUE(std::all_of(changed.begin() + 15, changed.begin() + 22, [](std::uint8_t b) { return b == 0; }));
}

TEST(AddOrChange, NamesAreMatchedAsStoredCutToTenCharacters) {
    const AccountRecords before = Records({MakeAccount("tenletters", "1", "Administrator", kAll)});
    const AddOrChangeResult longer = AddOrChangeAccount(before, Entry("tenletters+2", "2", "Setup"), "today");
    EXPECT_FALSE(longer.added);
    EXPECT_EQ(longer.records.size(), 1u);

    const AddOrChangeResult otherCase = AddOrChangeAccount(before, Entry("TenLetters", "2", "Setup"), "today");
    EXPECT_TRUE(otherCase.added);
    EXPECT_EQ(otherCase.records.size(), 2u);
}

TEST(AddOrChange, ATwelveCharacterPasswordIsStoredAsItsFirstTenAndLogsInOnlyAsThose) {
    const AddOrChangeResult result = AddOrChangeAccount({}, Entry("u", "abcdefghijkl", "Operator"), "today");
    EXPECT_EQ(DecodeAccount(result.records[0]).password, "abcdefghij");
    const AccountFileRead file = Loaded(result.records);
    EXPECT_EQ(CheckLogin(file, "u", "abcdefghijkl").kind, LoginOutcome::Kind::WrongCredentials);
    EXPECT_EQ(CheckLogin(file, "u", "abcdefghij").kind, LoginOutcome::Kind::Granted);
}

TEST(AddOrChange, TheRegistrationDateIsCutToFifteenCharacters) {
    const AddOrChangeResult result = AddOrChangeAccount({}, Entry("u", "p", "Setup"), "Monday, 10 March 2025");
    EXPECT_EQ(DecodeAccount(result.records[0]).registrationDate, "Monday, 10 Marc");
}

TEST(DeleteAccount, FollowsTheAdministratorRule) {
    const Account admin = MakeAccount("admin", "1", "Administrator", kAll);
    const Account setup = MakeAccount("setup", "2", "Setup");
    const Account clerk = MakeAccount("clerk", "3", "Operator");
    const Account clerkAgain = MakeAccount("clerk", "4", "Setup");
    const Account boss = MakeAccount("boss", "5", "Administrator");
    struct Case {
        const char* what;
        AccountRecords before;
        const char* user;
        DeleteResult::Outcome outcome;
        AccountRecords after;
    } cases[] = {
        {"no administrator: nothing", Records({setup, clerk}), "clerk", DeleteResult::Outcome::NoAdministrator,
         Records({setup, clerk})},
        {"administrator in other case counts not", Records({MakeAccount("a", "1", "ADMINISTRATOR"), clerk}), "clerk",
         DeleteResult::Outcome::NoAdministrator, Records({MakeAccount("a", "1", "ADMINISTRATOR"), clerk})},
        {"unknown user: nothing", Records({admin, clerk}), "nobody", DeleteResult::Outcome::NotFound,
         Records({admin, clerk})},
        {"name in other case: nothing", Records({admin, clerk}), "Clerk", DeleteResult::Outcome::NotFound,
         Records({admin, clerk})},
        {"later records move down", Records({admin, clerk, setup}), "clerk", DeleteResult::Outcome::Deleted,
         Records({admin, setup})},
        {"only the first of two", Records({admin, clerk, clerkAgain}), "clerk", DeleteResult::Outcome::Deleted,
         Records({admin, clerkAgain})},
        {"the last record", Records({admin, setup, clerk}), "clerk", DeleteResult::Outcome::Deleted,
         Records({admin, setup})},
        {"the only administrator itself: refused", Records({admin, clerk}), "admin",
         DeleteResult::Outcome::LastAdministrator, Records({admin, clerk})},
        {"the only account: refused", Records({admin}), "admin", DeleteResult::Outcome::LastAdministrator,
         Records({admin})},
        {"one of two administrators", Records({admin, clerk, boss}), "admin", DeleteResult::Outcome::Deleted,
         Records({clerk, boss})},
        {"the first of two administrators of one name", Records({admin, clerk, admin}), "admin",
         DeleteResult::Outcome::Deleted, Records({clerk, admin})},
        {"administrator in other case is no administrator", Records({admin, MakeAccount("x", "1", "ADMINISTRATOR")}),
         "x", DeleteResult::Outcome::Deleted, Records({admin})},
        {"empty file", Records({}), "admin", DeleteResult::Outcome::NoAdministrator, Records({})},
    };
    for (const auto& c : cases) {
        const DeleteResult result = DeleteAccount(c.before, c.user);
        EXPECT_EQ(result.outcome, c.outcome) << c.what;
        EXPECT_EQ(result.records, c.after) << c.what;
    }
}

TEST(DeleteAccount, TheLastAdministratorStaysAndStillLogsIn) {
    const DeleteResult result = DeleteAccount(Records({MakeAccount("admin", "1", "Administrator")}), "admin");
    EXPECT_EQ(result.outcome, DeleteResult::Outcome::LastAdministrator);
    EXPECT_EQ(CheckLogin(Loaded(result.records), "admin", "1").kind, LoginOutcome::Kind::Granted);
}

TEST(AddOrChangeAccount, TheLastAdministratorKeepsThatAccess) {
    const AccountRecords alone = Records({MakeAccount("admin", "1", "Administrator"), MakeAccount("clerk", "2", "Operator")});
    const AddOrChangeResult demoted = AddOrChangeAccount(alone, Entry("admin", "3", "Operator"), "today");
    EXPECT_TRUE(demoted.lastAdministrator);
    EXPECT_EQ(demoted.records, alone);  // nothing changed, the password neither
    // Its password may change, and with a second administrator so may its access.
    EXPECT_FALSE(AddOrChangeAccount(alone, Entry("admin", "3", "Administrator"), "today").lastAdministrator);
    const AccountRecords two = Records({MakeAccount("admin", "1", "Administrator"), MakeAccount("boss", "2", "Administrator")});
    const AddOrChangeResult shared = AddOrChangeAccount(two, Entry("admin", "3", "Operator"), "today");
    EXPECT_FALSE(shared.lastAdministrator);
    EXPECT_EQ(CheckLogin(Loaded(shared.records), "boss", "2").kind, LoginOutcome::Kind::Granted);
}

TEST(AccountList, OneRowPerRecordWithYesOrNo) {
    AccountRecords records = Records({
        MakeAccount("admin", "1", "Administrator", kAll, "10/03/2025"),
        MakeAccount("Jos\xE9", "2", "Operator", {false, true, false}, "1.1.25"),
    });
    records[1][62] = 0;  // a display field that holds neither code reads "No"
    const std::vector<AccountListRow> rows = ListAccounts(records);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (AccountListRow{"admin", "Administrator", "10/03/2025", "Yes", "Yes", "Yes"}));
    EXPECT_EQ(rows[1], (AccountListRow{"Jos\xC3\xA9", "Operator", "1.1.25", "No", "Yes", "No"}));
    EXPECT_TRUE(ListAccounts({}).empty());
}

// --- The file ---

TEST(AccountFileIo, ReadsWholeRecordsAndCountsTheRest) {
    TempFolder home;
    const auto path = home / "users.dat";
    const AccountRecords two = Records({MakeAccount("a", "1", "Administrator"), MakeAccount("b", "2", "Setup")});
    WriteWholeFile(path, RenderAccountFile(two) + "partial record");

    const AccountFileRead read = ReadAccountFile(path);
    ASSERT_EQ(read.status, AccountFileRead::Status::Loaded) << read.error;
    EXPECT_EQ(read.records, two);
    EXPECT_EQ(read.ignoredBytes, 14u);
    EXPECT_EQ(CheckLogin(read, "b", "2").grant.role, Role::Setup);
}

TEST(AccountFileIo, MissingEmptyAndUnusableFilesAreTold) {
    TempFolder home;
    EXPECT_EQ(ReadAccountFile(home / "users.dat").status, AccountFileRead::Status::Missing);
    EXPECT_EQ(ReadAccountFile(home / "users.dat", AccountFileAccess::ReadWrite).status, AccountFileRead::Status::Missing);

    WriteWholeFile(home / "empty.dat", "");
    const AccountFileRead empty = ReadAccountFile(home / "empty.dat");
    EXPECT_EQ(empty.status, AccountFileRead::Status::Loaded);
    EXPECT_TRUE(empty.records.empty());

    std::filesystem::create_directory(home / "folder.dat");
    const AccountFileRead folder = ReadAccountFile(home / "folder.dat");
    EXPECT_EQ(folder.status, AccountFileRead::Status::Failed);
    EXPECT_NE(folder.error.find("not a regular file"), std::string::npos) << folder.error;

    WriteWholeFile(home / "huge.dat", std::string(kMaxAccountFileSize + 1, '\0'));
    EXPECT_EQ(ReadAccountFile(home / "huge.dat").status, AccountFileRead::Status::Failed);
}

TEST(AccountFileIo, WritesExactlyTheRecords) {
    TempFolder home;
    const auto path = home / "users.dat";
    WriteWholeFile(path, "old content that is not a record");
    const AccountRecords records = Records({MakeAccount("a", "1", "Administrator", kAll)});
    const FileWriteResult written = WriteAccountFile(path, records);
    ASSERT_TRUE(written.ok) << written.error;
    EXPECT_EQ(ReadWholeFile(path), RenderAccountFile(records));
    EXPECT_EQ(home.entries(), std::vector<std::string>{"users.dat"});  // no temporary file left
}

TEST(AccountFileIo, AFailedWriteLeavesTheOldFileAndSaysWhy) {
    TempFolder home;
    const auto path = home / "users.dat";
    const std::string old = RenderAccountFile(Records({MakeAccount("a", "1", "Administrator")}));
    WriteWholeFile(path, old);
    test::ImmutableFolder frozen(home.path());
    if (!frozen.available()) GTEST_SKIP() << "needs the right to set the immutable attribute on a folder";

    const FileWriteResult written = WriteAccountFile(path, Records({}));
    EXPECT_FALSE(written.ok);
    EXPECT_NE(written.error.find("users.dat"), std::string::npos) << written.error;
    EXPECT_EQ(ReadWholeFile(path), old);
}

} // namespace
} // namespace veltro
