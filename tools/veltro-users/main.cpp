// veltro-users: creates, changes, lists and deletes the accounts of <home>/files/users.dat. The desktop
// program never creates that file; this is how an installation gets its first administrator.
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/account_file.h"

namespace fs = std::filesystem;
using namespace veltro;

namespace {

constexpr const char* kUsage =
    "Usage: veltro-users [--home DIR] COMMAND\n"
    "\n"
    "  add NAME --access LEVEL [--allow devices,comm,display] [--password-stdin]\n"
    "  change NAME --access LEVEL [--allow devices,comm,display] [--password-stdin]\n"
    "  list\n"
    "  delete NAME\n"
    "\n"
    "LEVEL is Administrator, Setup or Operator. The password is asked twice on the terminal, or read as one\n"
    "line from standard input with --password-stdin. The accounts are DIR/files/users.dat (DIR: --home, else\n"
    "VELTRO_HOME, else the folder of this program); add creates the folder and the file when missing.\n";

int Usage(const std::string& reason) {
    std::cerr << "veltro-users: " << reason << "\n\n" << kUsage;
    return 2;
}

int Fail(const std::string& reason) {
    std::cerr << "veltro-users: " << reason << "\n";
    return 1;
}

fs::path Home(const std::string& option) {
    if (!option.empty()) return fs::absolute(option);
    if (const char* env = std::getenv("VELTRO_HOME"); env && *env) return fs::absolute(env);
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : self.parent_path();
}

std::string ReadPassword(const char* prompt) {
    std::cerr << prompt << std::flush;
    termios old{};
    const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &old) == 0;
    if (terminal) {
        termios quiet = old;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &old);
        std::cerr << "\n";
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::string Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string home, access, allow, command, name;
    bool passwordStdin = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) return false;
            into = args[++i];
            return true;
        };
        if (a == "-h" || a == "--help") {
            std::cout << kUsage;
            return 0;
        } else if (a == "--home") {
            if (!value(home)) return Usage("--home needs a folder");
        } else if (a == "--access") {
            if (!value(access)) return Usage("--access needs a level");
        } else if (a == "--allow") {
            if (!value(allow)) return Usage("--allow needs a list");
        } else if (a == "--password-stdin") {
            passwordStdin = true;
        } else if (a.rfind("--", 0) == 0) {
            return Usage("unknown option " + a);
        } else if (command.empty()) {
            command = a;
        } else if (name.empty()) {
            name = a;
        } else {
            return Usage("unexpected argument " + a);
        }
    }
    if (command.empty()) return Usage("no command given");
    const fs::path file = Home(home) / "files" / "users.dat";

    if (command == "list") {
        const AccountFileRead read = ReadAccountFile(file);
        if (read.status == AccountFileRead::Status::Missing) return Fail("no account file at " + file.string());
        if (read.status == AccountFileRead::Status::Failed) return Fail(read.error);
        std::printf("%-10s  %-13s  %-15s  %-5s  %-5s  %-7s\n", "User", "Access", "Date reg.", "m-bus", "Comm", "Display");
        for (const auto& row : ListAccounts(read.records))
            std::printf("%-10s  %-13s  %-15s  %-5s  %-5s  %-7s\n", AccountTextToUtf8(row[0]).c_str(),
                        AccountTextToUtf8(row[1]).c_str(), row[2].c_str(), row[3].c_str(), row[4].c_str(), row[5].c_str());
        return 0;
    }
    if (name.empty()) return Usage(command + " needs a user name");
    const auto user = AccountTextFromUtf8(name);
    if (!user || user->empty() || user->size() > kUserNameCapacity) return Fail("user name must be 1 to 10 printable characters");

    if (command == "delete") {
        const AccountFileRead read = ReadAccountFile(file, AccountFileAccess::ReadWrite);
        if (read.status != AccountFileRead::Status::Loaded) return Fail("cannot open " + file.string() + " " + read.error);
        const auto result = DeleteAccount(read.records, *user);
        if (result.outcome == DeleteResult::Outcome::NoAdministrator) return Fail("the file holds no Administrator; nothing deleted");
        if (result.outcome == DeleteResult::Outcome::NotFound) return Fail("no account " + name);
        const auto written = WriteAccountFile(file, result.records);
        if (!written.ok) return Fail(written.error);
        std::cout << "deleted " << name << "\n";
        return 0;
    }
    if (command != "add" && command != "change") return Usage("unknown command " + command);

    AccountEntry entry;
    entry.userName = *user;
    entry.accessLevel = access;
    if (!RoleOfAccessLevel(access)) return Usage("--access must be Administrator, Setup or Operator");
    std::size_t start = 0;
    while (start <= allow.size() && !allow.empty()) {
        const std::size_t comma = allow.find(',', start);
        const std::string item = allow.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (item == "devices") entry.permissions.meterDevices = true;
        else if (item == "comm") entry.permissions.communication = true;
        else if (item == "display") entry.permissions.display = true;
        else return Usage("--allow takes devices, comm and display: " + item);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (passwordStdin) {
        std::string line;
        std::getline(std::cin, line);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        entry.password = entry.repeatedPassword = line;
    } else {
        entry.password = ReadPassword("Password: ");
        entry.repeatedPassword = ReadPassword("Re-type password: ");
    }
    const auto password = AccountTextFromUtf8(entry.password);
    if (!password || password->size() > kPasswordCapacity) return Fail("password must be 1 to 10 printable characters");
    if (const auto refusal = CheckAccountEntry(entry)) return Fail(std::string(*refusal));

    AccountFileRead read = ReadAccountFile(file, AccountFileAccess::ReadWrite);
    if (read.status == AccountFileRead::Status::Failed) return Fail(read.error);
    if (read.status == AccountFileRead::Status::Missing) {
        if (command == "change") return Fail("no account file at " + file.string());
        std::error_code ec;
        fs::create_directories(file.parent_path(), ec);
        if (ec) return Fail("cannot create " + file.parent_path().string() + ": " + ec.message());
    }
    for (const auto& account : DecodeAccounts(read.records)) {
        if (account.userName != *user) continue;
        if (command == "add") return Fail("account " + name + " exists; use change");
    }
    if (command == "change") {
        bool found = false;
        for (const auto& account : DecodeAccounts(read.records)) found = found || account.userName == *user;
        if (!found) return Fail("no account " + name + "; use add");
    }
    const auto changed = AddOrChangeAccount(read.records, entry, Today());
    const auto written = WriteAccountFile(file, changed.records);
    if (!written.ok) return Fail(written.error);
    std::cout << (changed.added ? "added " : "changed ") << name << " (" << access << ")\n";
    return 0;
}
