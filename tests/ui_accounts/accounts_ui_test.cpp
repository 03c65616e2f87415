// The login and users windows driven by their control names, with the account file on disk.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QComboBox>
#include <QCheckBox>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "app/account_file.h"
#include "app/scripted_operator.h"
#include "ui/login_window.h"
#include "ui/users_window.h"

namespace veltro {
namespace {

class Accounts : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_home.isValid()); }
    QString home() const { return m_home.path(); }
    std::filesystem::path file() const { return (m_home.path() + "/files/users.dat").toStdString(); }

    void writeAccounts(const std::vector<Account>& accounts) {
        QDir(home()).mkpath("files");
        AccountRecords records;
        for (const auto& a : accounts) records.push_back(EncodeAccount(a));
        ASSERT_TRUE(WriteAccountFile(file(), records).ok);
    }
    static Account Make(const char* user, const char* password, const char* access, AccountPermissions permissions = {}) {
        Account a;
        a.userName = user;
        a.password = password;
        a.accessLevel = access;
        a.registrationDate = "2026-01-02";
        a.permissions = permissions;
        return a;
    }

    // Types into the login window and presses Enter; returns the grants emitted and whether it quit.
    struct Attempt {
        std::vector<LoginGrant> grants;
        bool quit = false;
    };
    Attempt login(const QString& user, const QString& password) {
        TLogin window(home(), &operatorScript);
        Attempt attempt;
        QObject::connect(&window, &TLogin::loggedIn, [&](const LoginGrant& g) { attempt.grants.push_back(g); });
        QObject::connect(&window, &TLogin::quitRequested, [&] { attempt.quit = true; });
        QTest::keyClicks(window.findChild<QLineEdit*>("Edit_username"), user);
        QTest::keyClicks(window.findChild<QLineEdit*>("Edit_pass"), password);
        QTest::mouseClick(window.findChild<QPushButton*>("Butt_enter"), Qt::LeftButton);
        if (!attempt.quit) EXPECT_TRUE(window.findChild<QLineEdit*>("Edit_pass")->text().isEmpty());
        return attempt;
    }

    test::ScriptedOperator operatorScript;

private:
    QTemporaryDir m_home;
};

TEST_F(Accounts, MissingAndEmptyFilesEndTheProgramWithTheirMessages) {
    Attempt missing = login("admin", "admin");
    EXPECT_TRUE(missing.quit);
    ASSERT_EQ(operatorScript.messages.size(), 1u);
    EXPECT_EQ(operatorScript.messages[0].title, "Login fail");
    EXPECT_EQ(operatorScript.messages[0].text, "Missing account file!\nContact administrator");

    writeAccounts({});
    Attempt empty = login("admin", "admin");
    EXPECT_TRUE(empty.quit);
    EXPECT_EQ(operatorScript.messages.back().text, "Account file is empty (no valid accounts)!\nContact administrator");
}

TEST_F(Accounts, NamesAreComparedExactlyAndTheLastMatchingRecordWins) {
    writeAccounts({Make("admin", "secret", "Administrator", {true, true, true}),
                   Make("admin", "secret", "Operator", {false, true, false})});
    Attempt wrongCase = login("Admin", "secret");
    EXPECT_TRUE(wrongCase.grants.empty());
    EXPECT_FALSE(wrongCase.quit);
    EXPECT_EQ(operatorScript.messages.back().text, "Wrong username or password!");

    Attempt granted = login("admin", "secret");
    ASSERT_EQ(granted.grants.size(), 1u);
    EXPECT_EQ(granted.grants[0].role, Role::Operator);
    EXPECT_FALSE(granted.grants[0].meterConfiguration);
    EXPECT_TRUE(granted.grants[0].communicationPage);
    EXPECT_FALSE(granted.grants[0].displayPage);
    EXPECT_FALSE(granted.grants[0].settingsMenuEnabled());
}

TEST_F(Accounts, UsersWindowAddsChangesKeepingTheDateAndDeletes) {
    writeAccounts({Make("admin", "admin", "Administrator", {true, true, true})});
    TFUsers window(home(), &operatorScript);
    window.show();
    auto* grid = window.findChild<QTableWidget*>("Grid_users");
    ASSERT_EQ(grid->rowCount(), 2);
    EXPECT_EQ(grid->item(0, 0)->text(), "User");
    EXPECT_EQ(grid->item(1, 2)->text(), "2026-01-02");

    auto fill = [&](const QString& user, const QString& p1, const QString& p2, const QString& access, bool dev) {
        window.findChild<QLineEdit*>("Edit_user")->setText(user);
        window.findChild<QLineEdit*>("Edit_pass1")->setText(p1);
        window.findChild<QLineEdit*>("Edit_pass2")->setText(p2);
        window.findChild<QComboBox*>("Combo_access")->setCurrentText(access);
        window.findChild<QCheckBox*>("Check_dev")->setChecked(dev);
        QTest::mouseClick(window.findChild<QPushButton*>("Butt_add"), Qt::LeftButton);
    };
    fill("tech", "a", "b", "Setup", true);
    EXPECT_EQ(operatorScript.messages.back().text, "Passwords does not match!");
    fill("tech", "pw", "pw", "Setup", true);
    ASSERT_EQ(grid->rowCount(), 3);
    EXPECT_EQ(grid->item(2, 0)->text(), "tech");
    EXPECT_EQ(grid->item(2, 3)->text(), "Yes");

    fill("admin", "new", "new", "Administrator", false);  // change: the date stays
    ASSERT_EQ(grid->rowCount(), 3);
    EXPECT_EQ(grid->item(1, 2)->text(), "2026-01-02");
    EXPECT_EQ(grid->item(1, 3)->text(), "No");

    window.findChild<QLineEdit*>("Edit_user")->setText("tech");
    QTest::mouseClick(window.findChild<QPushButton*>("Butt_delete"), Qt::LeftButton);
    EXPECT_EQ(grid->rowCount(), 2);
    const auto accounts = DecodeAccounts(ReadAccountFile(file()).records);
    ASSERT_EQ(accounts.size(), 1u);
    EXPECT_EQ(accounts[0].password, "new");
}

TEST_F(Accounts, VeltroUsersCreatesTheFirstAdministrator) {
    QProcess tool;
    tool.start(QStringLiteral(VELTRO_USERS_PATH),
               {"--home", home(), "add", "admin", "--access", "Administrator", "--allow", "devices,comm,display", "--password-stdin"});
    tool.write("admin\n");
    tool.closeWriteChannel();
    ASSERT_TRUE(tool.waitForFinished(10000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    Attempt granted = login("admin", "admin");
    ASSERT_EQ(granted.grants.size(), 1u);
    EXPECT_EQ(granted.grants[0].role, Role::Administrator);
    EXPECT_TRUE(granted.grants[0].meterConfiguration && granted.grants[0].communicationPage && granted.grants[0].displayPage);

    QProcess again;
    again.start(QStringLiteral(VELTRO_USERS_PATH), {"--home", home(), "add", "admin", "--access", "Sultan", "--password-stdin"});
    again.closeWriteChannel();
    ASSERT_TRUE(again.waitForFinished(10000));
    EXPECT_EQ(again.exitCode(), 2);
}

} // namespace
} // namespace veltro
