// veltro-users run as an installer runs it; what it writes is read back by the login window.
#include "accounts_fixture.h"

#include <QDate>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

namespace veltro::test {
namespace {

struct ToolRun {
    int exitCode = -1;
    QString out, err;
};

class VeltroUsersTest : public AccountsTest {
protected:
    ToolRun run(const QStringList& arguments, const QByteArray& input = {}, bool withHome = true) {
        QProcess tool;
        tool.setProcessEnvironment(m_environment);
        tool.start(QStringLiteral(VELTRO_USERS_PATH), withHome ? QStringList{"--home", home()} + arguments : arguments);
        if (!tool.waitForStarted(10000)) return {};
        tool.write(input);
        tool.closeWriteChannel();
        EXPECT_TRUE(tool.waitForFinished(10000));
        return {tool.exitCode(), QString::fromUtf8(tool.readAllStandardOutput()), QString::fromUtf8(tool.readAllStandardError())};
    }

    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
};

TEST_F(VeltroUsersTest, CreatesTheFirstAdministratorThatThenLogsIn) {
    const ToolRun added = run({"add", "admin", "--access", "Administrator", "--allow", "devices,comm,display", "--password-stdin"},
                          "s3cret\n");
    ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
    const std::vector<Account> stored = accounts();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].registrationDate, QDate::currentDate().toString(Qt::ISODate).toStdString());
    EXPECT_EQ(std::filesystem::file_size(file()), kAccountRecordSize);

    const Attempt attempt = login("admin", "s3cret");
    ASSERT_EQ(attempt.grants.size(), 1u);
    EXPECT_EQ(attempt.grants[0].role, Role::Administrator);
    EXPECT_TRUE(attempt.grants[0].meterConfiguration && attempt.grants[0].communicationPage && attempt.grants[0].displayPage);
}

TEST_F(VeltroUsersTest, RefusalsChangeNothingAndSayWhy) {
    writeAccounts({Make("admin", "pw", "Administrator")});
    const std::string before = fileBytes();
    struct Case {
        const char* what;
        QStringList arguments;
        QByteArray input;
        int exitCode;
        const char* says;
    } cases[] = {
        {"add an existing name", {"add", "admin", "--access", "Setup", "--password-stdin"}, "x\n", 1, "exists"},
        {"unknown access level", {"add", "u", "--access", "Sultan", "--password-stdin"}, "x\n", 2, "--access"},
        {"access level in other case", {"add", "u", "--access", "setup", "--password-stdin"}, "x\n", 2, "--access"},
        {"no access level", {"add", "u", "--password-stdin"}, "x\n", 2, "--access"},
        {"unknown permission", {"add", "u", "--access", "Setup", "--allow", "devices,all", "--password-stdin"}, "x\n", 2, "all"},
        {"eleven-character name", {"add", "elevenchars", "--access", "Setup", "--password-stdin"}, "x\n", 2, "1 to 10"},
        {"eleven-character password", {"add", "u", "--access", "Setup", "--password-stdin"}, "01234567890\n", 1, "1 to 10"},
        {"empty password", {"add", "u", "--access", "Setup", "--password-stdin"}, "\n", 1, "password"},
        {"no password at all", {"add", "u", "--access", "Setup", "--password-stdin"}, "", 1, "password"},
        {"password outside ISO 8859-1", {"add", "u", "--access", "Setup", "--password-stdin"}, "\xE2\x82\xAC\n", 1, "ISO 8859-1"},
        {"no terminal and no --password-stdin", {"add", "u", "--access", "Setup"}, "x\nx\n", 2, "--password-stdin"},
        {"change an unknown name", {"change", "nobody", "--access", "Setup", "--password-stdin"}, "x\n", 1, "no account"},
        {"delete an unknown name", {"delete", "nobody"}, "", 1, "no account"},
        {"unknown command", {"rename", "admin"}, "", 2, "unknown command"},
        {"missing name", {"delete"}, "", 2, "needs a user name"},
        {"a second name", {"delete", "admin", "other"}, "", 2, "unexpected"},
        {"unknown option", {"list", "--force"}, "", 2, "unknown option"},
    };
    for (const auto& c : cases) {
        const ToolRun result = run(c.arguments, c.input);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.what << ": " << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(c.says)) << c.what << ": " << result.err.toStdString();
        EXPECT_EQ(fileBytes(), before) << c.what;
    }
}

TEST_F(VeltroUsersTest, ChangeKeepsTheDateListShowsAndDeleteFollowsTheAdministratorRule) {
    writeAccounts({Make("admin", "pw", "Administrator", {true, true, true}, "01/01/2020"),
                   Make("Jos\xE9", "x", "Operator", {}, "02/02/2021")});
    const ToolRun changed = run({"change", QString::fromUtf8("Jos\xC3\xA9"), "--access", "Setup", "--allow", "comm", "--password-stdin"},
                            "n\xC3\xB9ovo\n");
    ASSERT_EQ(changed.exitCode, 0) << changed.err.toStdString();
    std::vector<Account> stored = accounts();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[1].registrationDate, "02/02/2021");
    EXPECT_EQ(stored[1].password, "n\xF9ovo");  // one byte per character, as the desktop program types it
    EXPECT_EQ(stored[1].permissions, (AccountPermissions{false, true, false}));
    EXPECT_EQ(login(QString::fromUtf8("Jos\xC3\xA9"), QString::fromUtf8("n\xC3\xB9ovo")).grants.size(), 1u);

    const ToolRun listed = run({"list"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    const QStringList lines = listed.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << listed.out.toStdString();
    EXPECT_EQ(lines[1].simplified(), "admin Administrator 01/01/2020 Yes Yes Yes");
    EXPECT_EQ(lines[2].simplified(), QString::fromUtf8("Jos\xC3\xA9 Setup 02/02/2021 No Yes No"));

    const ToolRun last = run({"delete", "admin"});
    EXPECT_EQ(last.exitCode, 1);
    EXPECT_TRUE(last.err.contains("last account with Administrator access")) << last.err.toStdString();
    ASSERT_EQ(accounts().size(), 2u);
    const ToolRun deleted = run({"delete", QString::fromUtf8("Jos\xC3\xA9")});
    ASSERT_EQ(deleted.exitCode, 0) << deleted.err.toStdString();
    ASSERT_EQ(accounts().size(), 1u);

    writeAccounts({Make("setup", "x", "Setup"), Make("clerk", "y", "Operator")});
    const ToolRun refused = run({"delete", "clerk"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("no Administrator")) << refused.err.toStdString();
    EXPECT_EQ(accounts().size(), 2u);
}

TEST_F(VeltroUsersTest, AChangeRefusesAFileThatIsNoWholeNumberOfRecords) {
    struct Case {
        const char* what;
        QStringList arguments;
        QByteArray input;
    } cases[] = {
        {"add", {"add", "tech", "--access", "Setup", "--password-stdin"}, "pw\n"},
        {"change", {"change", "clerk", "--access", "Setup", "--password-stdin"}, "pw\n"},
        {"delete", {"delete", "clerk"}, ""},
    };
    for (const auto& c : cases) {
        writeAccounts({Make("admin", "pw", "Administrator"), Make("clerk", "pw", "Operator")});
        WriteWholeFile(file(), fileBytes() + "tail");
        const std::string before = fileBytes();
        const ToolRun result = run(c.arguments, c.input);
        EXPECT_EQ(result.exitCode, 1) << c.what;
        EXPECT_TRUE(result.err.contains("4 bytes after the last whole record")) << c.what << ": " << result.err.toStdString();
        EXPECT_EQ(fileBytes(), before) << c.what;
    }
}

TEST_F(VeltroUsersTest, TheHomeComesFromTheEnvironmentWithoutOption) {
    m_environment.insert("VELTRO_HOME", home());
    const ToolRun missing = run({"list"}, {}, false);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains(QDir(home()).filePath("files/users.dat"))) << missing.err.toStdString();
    const ToolRun added = run({"add", "op", "--access", "Operator", "--password-stdin"}, "pw\n", false);
    ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
    EXPECT_EQ(login("op", "pw").grants.size(), 1u);
}

TEST_F(VeltroUsersTest, ListReportsWhatIsNoAccount) {
    writeAccounts({Make("admin", "pw", "Administrator")});
    std::string bytes = fileBytes();
    bytes[0] = static_cast<char>(0xFF);  // a length byte beyond the field
    WriteWholeFile(file(), bytes + "tail");
    const ToolRun listed = run({"list"});
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_TRUE(listed.err.contains("record 1")) << listed.err.toStdString();
    EXPECT_TRUE(listed.err.contains("4 bytes")) << listed.err.toStdString();
}

// Reads what the tool writes to its terminal until `until` appears or time runs out.
QByteArray ReadTerminal(int master, const QByteArray& until, QByteArray& seen) {
    QElapsedTimer clock;
    clock.start();
    while (!seen.contains(until) && clock.elapsed() < 10000) {
        pollfd ready{master, POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0) continue;
        char buffer[256];
        const ssize_t count = ::read(master, buffer, sizeof buffer);
        if (count <= 0) break;
        seen.append(buffer, count);
    }
    return seen;
}

TEST_F(VeltroUsersTest, OnATerminalThePasswordIsAskedTwiceWithoutEcho) {
    struct Case {
        const char* what;
        const char* first;
        const char* second;
        int exitCode;
    } cases[] = {{"the same twice", "hidden1", "hidden1", 0}, {"two different", "hidden1", "hidden2", 1}};
    for (const auto& c : cases) {
        std::filesystem::remove(file());
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(::grantpt(master), 0);
        ASSERT_EQ(::unlockpt(master), 0);
        const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
        ASSERT_GE(slave, 0);

        QProcess tool;
        // Prompts go to standard error, so the tool's terminal gets standard input and standard error.
        tool.setChildProcessModifier([slave] {
            ::dup2(slave, STDIN_FILENO);
            ::dup2(slave, STDERR_FILENO);
        });
        tool.start(QStringLiteral(VELTRO_USERS_PATH), {"--home", home(), "add", "admin", "--access", "Administrator"});
        ASSERT_TRUE(tool.waitForStarted(10000));
        ::close(slave);

        QByteArray screen;
        ReadTerminal(master, "Password: ", screen);
        ASSERT_TRUE(screen.contains("Password: ")) << c.what << ": " << screen.toStdString();
        ASSERT_GT(::write(master, c.first, std::strlen(c.first)), 0);
        ASSERT_EQ(::write(master, "\n", 1), 1);
        ReadTerminal(master, "Re-type password: ", screen);
        ASSERT_TRUE(screen.contains("Re-type password: ")) << c.what << ": " << screen.toStdString();
        ASSERT_GT(::write(master, c.second, std::strlen(c.second)), 0);
        ASSERT_EQ(::write(master, "\n", 1), 1);
        ASSERT_TRUE(tool.waitForFinished(10000)) << c.what;
        ReadTerminal(master, "\x04", screen);  // whatever is left, until the terminal closes
        ::close(master);

        EXPECT_EQ(tool.exitCode(), c.exitCode) << c.what << ": " << screen.toStdString();
        EXPECT_FALSE(screen.contains("hidden")) << c.what << ": the password was echoed: " << screen.toStdString();
        EXPECT_EQ(std::filesystem::exists(file()), c.exitCode == 0) << c.what;
        if (c.exitCode == 0) {
            EXPECT_EQ(login("admin", c.first).grants.size(), 1u) << c.what;
        } else {
            EXPECT_TRUE(screen.contains("do not match")) << c.what << ": " << screen.toStdString();
        }
    }
}

} // namespace
} // namespace veltro::test
