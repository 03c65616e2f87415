// libFuzzer harness for the account file: any bytes as files/users.dat, read, listed, logged in to,
// changed and deleted from. Sanitizers catch reads past a field; the checks below catch wrong results.
#include <algorithm>
#include <cstdint>
#include <string>
#include <cstdlib>
#include <span>

#include "app/account_file.h"
#include "require.h"

using namespace veltro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    AccountFileRead file;
    file.status = AccountFileRead::Status::Loaded;
    file.records = ParseAccountFile(bytes);
    Require(file.records.size() == size / kAccountRecordSize);
    // Written back, the file is what was read, whole records only.
    const std::string rendered = RenderAccountFile(file.records);
    Require(rendered.size() == file.records.size() * kAccountRecordSize &&
            std::equal(rendered.begin(), rendered.end(), data, [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));

    for (const Account& account : DecodeAccounts(file.records)) {
        Require(account.userName.size() <= kUserNameCapacity && account.password.size() <= kPasswordCapacity);
        Require(account.accessLevel.size() <= kAccessLevelCapacity &&
                account.registrationDate.size() <= kRegistrationDateCapacity);
        // What this program writes it reads back the same.
        const Account again = DecodeAccount(EncodeAccount(account));
        Require(again.userName == account.userName && again.password == account.password &&
                again.accessLevel == account.accessLevel && again.permissions == account.permissions && !again.damaged);
        const LoginOutcome outcome = CheckLogin(file, account.userName, account.password);
        Require(outcome.kind == LoginOutcome::Kind::Granted || outcome.kind == LoginOutcome::Kind::WrongCredentials);
    }
    Require(ListAccounts(file.records).size() == file.records.size());

    const AccountEntry entry{"fuzz", "pw", "pw", "Setup", {true, false, true}};
    const AddOrChangeResult changed = AddOrChangeAccount(file.records, entry, "2025-03-10");
    Require(changed.records.size() == file.records.size() + (changed.added ? 1 : 0));
    const DeleteResult deleted = DeleteAccount(changed.records, "fuzz");
    Require(deleted.records.size() + (deleted.outcome == DeleteResult::Outcome::Deleted ? 1 : 0) == changed.records.size());
    return 0;
}
