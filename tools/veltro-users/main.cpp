// veltro-users: adds, changes, lists and deletes the accounts of <home>/files/users.dat with the same
// core code as the desktop program. The desktop program never creates that file; this is how an
// installation gets its first administrator (docs/ACCOUNTS.md).
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/account_file.h"
#include "app/program_home.h"

namespace fs = std::filesystem;
using namespace veltro;

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;    // the command could not be done
constexpr int kBadUsage = 2;  // the command line is wrong

constexpr const char* kUsage =
    "Usage: veltro-users [--home DIR] COMMAND\n"
    "\n"
    "  add NAME --access LEVEL [--allow devices,comm,display] [--password-stdin]\n"
    "  change NAME --access LEVEL [--allow devices,comm,display] [--password-stdin]\n"
    "  list\n"
    "  delete NAME\n"
    "\n"
    "LEVEL is Administrator, Setup or Operator; --allow lists the permissions granted (none without it).\n"
    "The password is asked twice on the terminal without echo, or read as one line from standard input\n"
    "with --password-stdin. Names and passwords have 1 to 10 characters of ISO 8859-1.\n"
    "The accounts are DIR/files/users.dat (DIR: --home, else VELTRO_HOME, else this program's folder, or\n"
    "for an installed program ~/.config/veltro, as the desktop program finds them);\n"
    "add creates the folder and the file when missing; change keeps the registration date.\n"
    "Exit status: 0 done, 1 not done (the reason on standard error), 2 bad command line.\n";

int Usage(const std::string& reason) {
    std::cerr << "veltro-users: " << reason << "\n\n" << kUsage;
    return kBadUsage;
}

int Fail(const std::string& reason) {
    std::cerr << "veltro-users: " << reason << "\n";
    return kFailed;
}

fs::path Home(const std::optional<std::string>& option) { return ProgramHomeOfThisProcess(option, "veltro-users").folder; }

// The terminal's settings while echo is off, so that Ctrl-C does not leave the terminal silent.
termios g_savedTerminal{};
volatile std::sig_atomic_t g_echoOff = 0;

extern "C" void RestoreEchoAndDie(int signal) {
    if (g_echoOff) ::tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

std::optional<std::string> ReadLine() {
    std::string line;
    if (!std::getline(std::cin, line)) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// Echo goes off before the prompt appears, so nothing typed after the prompt is ever shown.
std::optional<std::string> AskWithoutEcho(const char* prompt) {
    if (::tcgetattr(STDIN_FILENO, &g_savedTerminal) != 0) return std::nullopt;
    termios quiet = g_savedTerminal;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    quiet.c_lflag |= ECHONL;
    std::signal(SIGINT, RestoreEchoAndDie);
    std::signal(SIGTERM, RestoreEchoAndDie);
    std::signal(SIGHUP, RestoreEchoAndDie);
    g_echoOff = 1;
    if (::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) != 0) {
        g_echoOff = 0;
        return std::nullopt;
    }
    std::cerr << prompt << std::flush;
    const auto line = ReadLine();
    ::tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
    g_echoOff = 0;
    return line;
}

// Today as YYYY-MM-DD: short, numeric and read the same way in every country.
std::string Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[16];
    return std::strftime(text, sizeof text, "%Y-%m-%d", &local) ? std::string(text) : std::string();
}

std::optional<AccountPermissions> ParseAllow(const std::string& list, std::string& wrong) {
    AccountPermissions permissions;
    std::size_t start = 0;
    while (!list.empty()) {
        const std::size_t comma = list.find(',', start);
        const std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (item == "devices") permissions.meterDevices = true;
        else if (item == "comm") permissions.communication = true;
        else if (item == "display") permissions.display = true;
        else {
            wrong = item;
            return std::nullopt;
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return permissions;
}

struct CommandLine {
    std::optional<std::string> home;
    std::optional<std::string> access;
    std::optional<std::string> allow;
    bool passwordStdin = false;
    std::vector<std::string> words;  // the command and its name
};

bool HasAccount(const AccountRecords& records, const std::string& userName) {
    for (const Account& account : DecodeAccounts(records))
        if (account.userName == userName) return true;
    return false;
}

int List(const fs::path& file) {
    const AccountFileRead read = ReadAccountFile(file);
    if (read.status == AccountFileRead::Status::Missing) return Fail("no account file at " + file.string());
    if (read.status == AccountFileRead::Status::Failed) return Fail(read.error);
    std::printf("%-10s  %-13s  %-15s  %-5s  %-5s  %s\n", "User", "Access", "Date reg.", "m-bus", "Comm", "Display");
    for (const AccountListRow& row : ListAccounts(read.records))
        std::printf("%-10s  %-13s  %-15s  %-5s  %-5s  %s\n", row[0].c_str(), row[1].c_str(), row[2].c_str(),
                    row[3].c_str(), row[4].c_str(), row[5].c_str());
    const std::vector<Account> accounts = DecodeAccounts(read.records);
    for (std::size_t i = 0; i < accounts.size(); ++i)
        if (accounts[i].damaged)
            std::cerr << "veltro-users: record " << i + 1 << " was not written by this program (a length byte or "
                      << "permission code out of range)\n";
    if (read.ignoredBytes > 0)
        std::cerr << "veltro-users: " << read.ignoredBytes << " bytes after the last whole record are no account\n";
    return kDone;
}

// A change rewrites the whole records only, so bytes after the last one would be lost without a word;
// `list` shows what the file holds.
std::optional<int> RefuseTrailingBytes(const AccountFileRead& read, const fs::path& file) {
    if (read.ignoredBytes == 0) return std::nullopt;
    return Fail("nothing changed: " + file.string() + " holds " + std::to_string(read.ignoredBytes) +
                " bytes after the last whole record, its size is no whole number of " +
                std::to_string(kAccountRecordSize) + "-byte records");
}

int Delete(const fs::path& file, const std::string& userName, const std::string& shownName) {
    const AccountFileRead read = ReadAccountFile(file, AccountFileAccess::ReadWrite);
    if (read.status == AccountFileRead::Status::Missing) return Fail("no account file at " + file.string());
    if (read.status == AccountFileRead::Status::Failed) return Fail(read.error);
    if (const auto refused = RefuseTrailingBytes(read, file)) return *refused;
    const DeleteResult result = DeleteAccount(read.records, userName);
    switch (result.outcome) {
    case DeleteResult::Outcome::NoAdministrator:
        return Fail("nothing deleted: the file holds no Administrator account");
    case DeleteResult::Outcome::LastAdministrator:
        return Fail("nothing deleted: " + shownName + " is the last account with Administrator access");
    case DeleteResult::Outcome::NotFound: return Fail("no account named " + shownName);
    case DeleteResult::Outcome::Deleted: break;
    }
    const FileWriteResult written = WriteAccountFile(file, result.records);
    if (!written.ok) return Fail(written.error);
    std::cout << "deleted " << shownName << "\n";
    return kDone;
}

int AddOrChange(const fs::path& file, const CommandLine& line, const std::string& userName, const std::string& shownName) {
    const bool adding = line.words[0] == "add";
    if (!line.access) return Usage(line.words[0] + " needs --access");
    if (!RoleOfAccessLevel(*line.access)) return Usage("--access must be Administrator, Setup or Operator");
    std::string wrong;
    const auto permissions = ParseAllow(line.allow.value_or(""), wrong);
    if (!permissions) return Usage("--allow takes devices, comm and display, not \"" + wrong + "\"");
    if (!line.passwordStdin && !::isatty(STDIN_FILENO))
        return Usage("no terminal to ask the password on: use --password-stdin");

    // The file first, so that nobody types a password for a command that cannot be done.
    const AccountFileRead read = ReadAccountFile(file, AccountFileAccess::ReadWrite);
    if (read.status == AccountFileRead::Status::Failed) return Fail(read.error);
    if (const auto refused = RefuseTrailingBytes(read, file)) return *refused;
    if (adding && HasAccount(read.records, userName)) return Fail("an account named " + shownName + " exists: use change");
    if (!adding && !HasAccount(read.records, userName)) {
        if (read.status == AccountFileRead::Status::Missing) return Fail("no account file at " + file.string());
        return Fail("no account named " + shownName + ": use add");
    }

    std::optional<std::string> typed, repeated;
    if (line.passwordStdin) {
        typed = ReadLine();
        repeated = typed;
    } else {
        typed = AskWithoutEcho("Password: ");
        if (typed) repeated = AskWithoutEcho("Re-type password: ");
    }
    if (!typed || !repeated || typed->empty()) return Fail("no password given");
    if (*typed != *repeated) return Fail("the passwords do not match");
    const auto password = AccountTextFromUtf8(*typed);
    if (!password || password->size() > kPasswordCapacity)
        return Fail("a password has 1 to 10 characters of ISO 8859-1");

    if (read.status == AccountFileRead::Status::Missing) {
        std::error_code error;
        fs::create_directories(file.parent_path(), error);
        if (error) return Fail("cannot create " + file.parent_path().string() + ": " + error.message());
    }
    const AccountEntry entry{userName, *password, *password, *line.access, *permissions};
    if (const auto refusal = CheckAccountEntry(entry)) return Fail(std::string(*refusal));
    const AddOrChangeResult changed = AddOrChangeAccount(read.records, entry, Today());
    if (changed.lastAdministrator)
        return Fail("nothing changed: " + shownName + " is the last account with Administrator access");
    const FileWriteResult written = WriteAccountFile(file, changed.records);
    if (!written.ok) return Fail(written.error);
    std::cout << (changed.added ? "added " : "changed ") << shownName << " (" << *line.access << ") in " << file.string()
              << "\n";
    return kDone;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    CommandLine line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        auto value = [&](std::optional<std::string>& into) {
            if (i + 1 >= arguments.size()) return false;
            into = arguments[++i];
            return true;
        };
        if (argument == "-h" || argument == "--help") {
            std::cout << kUsage;
            return kDone;
        } else if (argument == "--home") {
            if (!value(line.home)) return Usage("--home needs a folder");
        } else if (argument.rfind("--home=", 0) == 0) {
            line.home = argument.substr(7);
        } else if (argument == "--access") {
            if (!value(line.access)) return Usage("--access needs a level");
        } else if (argument == "--allow") {
            if (!value(line.allow)) return Usage("--allow needs a list");
        } else if (argument == "--password-stdin") {
            line.passwordStdin = true;
        } else if (argument.rfind("--", 0) == 0) {
            return Usage("unknown option " + argument);
        } else {
            line.words.push_back(argument);
        }
    }
    if (line.words.empty()) return Usage("no command given");
    const std::string& command = line.words[0];
    if (command != "list" && command != "add" && command != "change" && command != "delete")
        return Usage("unknown command " + command);
    const std::size_t expectedWords = command == "list" ? 1 : 2;
    if (line.words.size() < expectedWords) return Usage(command + " needs a user name");
    if (line.words.size() > expectedWords) return Usage("unexpected argument " + line.words[expectedWords]);
    if (command != "add" && command != "change" && (line.access || line.allow || line.passwordStdin))
        return Usage(command + " takes no --access, --allow or --password-stdin");
    if (line.home && line.home->empty()) return Usage("--home needs a folder");

    const fs::path file = Home(line.home) / "files" / "users.dat";
    if (command == "list") return List(file);

    const std::string& shownName = line.words[1];
    const auto userName = AccountTextFromUtf8(shownName);
    if (!userName || userName->empty() || userName->size() > kUserNameCapacity)
        return Usage("a user name has 1 to 10 characters of ISO 8859-1");
    if (command == "delete") return Delete(file, *userName, shownName);
    return AddOrChange(file, line, *userName, shownName);
}
