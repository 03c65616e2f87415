// The login window driven by its control names against account files on disk.
#include "accounts_fixture.h"

#include <QKeyEvent>
#include <QLabel>

namespace veltro::test {
namespace {

using Icon = OperatorInterface::Icon;

TEST_F(AccountsTest, TheLoginWindowAsTheOperatorSeesIt) {
    TLogin window(home(), &operatorScript);
    window.show();
    EXPECT_EQ(window.windowTitle(), "Login ");
    EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
    auto* user = window.findChild<QLineEdit*>("Edit_username");
    auto* password = window.findChild<QLineEdit*>("Edit_pass");
    ASSERT_TRUE(user && password && window.findChild<QPushButton*>("Butt_enter") && window.findChild<QPushButton*>("Butt_cancel"));
    EXPECT_EQ(user->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);

    Type(user, "abcdefghijklmnopqrst");
    EXPECT_EQ(user->text(), "abcdefghijklmno");  // 15 characters
    Type(password, "12345678901234567890");
    EXPECT_EQ(password->text(), "123456789012345");
    user->clear();
    Type(user, QString::fromUtf8("Jos\xC3\xA9\xE2\x82\xAC"));
    EXPECT_EQ(user->text(), QString::fromUtf8("Jos\xC3\xA9"));  // the euro sign is no character an account can hold
    EXPECT_EQ(window.accountFilePath(), QDir(home()).filePath("files/users.dat"));
}

TEST_F(AccountsTest, WithoutAnAccountFileTheWindowSaysHowToCreateTheFirstAdministrator) {
    const QString command = "veltro-users --home \"" + QDir::toNativeSeparators(home()) +
                            "\" add NAME --access Administrator --allow devices,comm,display";
    TLogin window(home(), &operatorScript);
    window.show();
    auto* hint = window.findChild<QLabel*>("Label_firstAdministrator");
    ASSERT_TRUE(hint);
    EXPECT_TRUE(hint->isVisible());
    EXPECT_EQ(hint->text(), "No account exists yet. Create the first administrator in a terminal:\n" + command);
    window.setLanguage(Language::Italian);
    EXPECT_EQ(hint->text(), "Non esiste ancora nessun account. Creare il primo amministratore in un terminale:\n" + command);
    window.hide();

    writeAccounts({Make("admin", "admin", "Administrator")});
    window.show();
    EXPECT_FALSE(hint->isVisible());
}

TEST_F(AccountsTest, AnUnusableAccountFileIsReportedAndEndsTheProgram) {
    struct Case {
        const char* what;
        std::function<void()> prepare;
        QString text;  // the message, or its beginning
        Icon icon;
    } cases[] = {
        {"missing", [] {}, "Missing account file!\nContact administrator", Icon::Warning},
        {"empty", [&] { writeAccounts({}); }, "Account file is empty (no valid accounts)!\nContact administrator", Icon::Information},
        {"shorter than one record", [&] { WriteWholeFile(file(), std::string(66, 'x')); },
         "Account file is empty (no valid accounts)!\nContact administrator", Icon::Information},
        {"a folder in its place",
         [&] {
             std::filesystem::remove(file());
             std::filesystem::create_directories(file());
         },
         "Account file can not be read!\nContact administrator\n", Icon::Warning},
    };
    for (const auto& c : cases) {
        c.prepare();
        operatorScript.messages.clear();
        const Attempt attempt = login("admin", "admin");
        EXPECT_TRUE(attempt.grants.empty()) << c.what;
        EXPECT_EQ(attempt.quitRequests, 1) << c.what;
        EXPECT_FALSE(attempt.visibleAfter) << c.what;
        ASSERT_EQ(operatorScript.messages.size(), 1u) << c.what;
        EXPECT_EQ(operatorScript.messages[0].title, "Login fail") << c.what;
        EXPECT_TRUE(operatorScript.messages[0].text.startsWith(c.text)) << c.what << ": " << operatorScript.messages[0].text.toStdString();
        EXPECT_EQ(operatorScript.messages[0].icon, c.icon) << c.what;
    }
}

TEST_F(AccountsTest, OnlyTheExactNameAndPasswordLogIn) {
    writeAccounts({Make("Admin", "Secret", "Administrator", {true, true, true}), Make("ten", "0123456789", "Operator"),
                   Make("Jos\xE9", "\xE0\xE8", "Setup")});
    struct Case {
        const char* what;
        QString user, password;
        bool granted;
    } cases[] = {
        {"exact", "Admin", "Secret", true},
        {"user name in other case", "admin", "Secret", false},
        {"password in other case", "Admin", "SECRET", false},
        {"nothing typed", "", "", false},
        {"ten-character password", "ten", "0123456789", true},
        {"the same with two more characters", "ten", "012345678901", false},
        {"accented letters", QString::fromUtf8("Jos\xC3\xA9"), QString::fromUtf8("\xC3\xA0\xC3\xA8"), true},
    };
    for (const auto& c : cases) {
        operatorScript.messages.clear();
        const Attempt attempt = login(c.user, c.password);
        EXPECT_EQ(attempt.grants.size(), c.granted ? 1u : 0u) << c.what;
        EXPECT_EQ(attempt.quitRequests, 0) << c.what;
        EXPECT_TRUE(attempt.passwordAfter.isEmpty()) << c.what;  // cleared either way
        EXPECT_EQ(attempt.userAfter, c.user) << c.what;
        EXPECT_EQ(attempt.visibleAfter, !c.granted) << c.what;  // hidden after a login, waiting after a refusal
        if (c.granted) {
            EXPECT_TRUE(operatorScript.messages.empty()) << c.what;
        } else {
            ASSERT_EQ(operatorScript.messages.size(), 1u) << c.what;
            EXPECT_EQ(operatorScript.messages[0].text, "Wrong username or password!") << c.what;
        }
    }
}

TEST_F(AccountsTest, TheLastMatchingRecordGivesRoleAndPermissions) {
    writeAccounts({Make("same", "pw", "Administrator", {true, true, true}), Make("same", "other", "Setup", {true, true, true}),
                   Make("same", "pw", "Setup", {false, false, true})});
    const Attempt attempt = login("same", "pw");
    ASSERT_EQ(attempt.grants.size(), 1u);
    const LoginGrant& grant = attempt.grants[0];
    EXPECT_EQ(grant.role, Role::Setup);
    EXPECT_FALSE(grant.usersMenuEnabled());
    EXPECT_TRUE(grant.settingsMenuEnabled());
    EXPECT_FALSE(grant.meterConfiguration);
    EXPECT_FALSE(grant.communicationPage);
    EXPECT_TRUE(grant.displayPage);
}

TEST_F(AccountsTest, CancelEscAndTheCloseButtonEndTheProgramOnce) {
    struct Case {
        const char* what;
        std::function<void(TLogin&)> act;
    } cases[] = {
        {"Cancel", [](TLogin& w) { QTest::mouseClick(w.findChild<QPushButton*>("Butt_cancel"), Qt::LeftButton); }},
        {"Esc", [](TLogin& w) { QTest::keyClick(w.findChild<QLineEdit*>("Edit_username"), Qt::Key_Escape); }},
        {"close button", [](TLogin& w) { w.close(); }},
        {"Cancel twice", [](TLogin& w) {
             w.Butt_cancelClick();
             w.Butt_cancelClick();
         }},
    };
    for (const auto& c : cases) {
        TLogin window(home(), &operatorScript);
        window.show();
        QSignalSpy quits(&window, &TLogin::quitRequested);
        c.act(window);
        EXPECT_EQ(quits.count(), 1) << c.what;
        EXPECT_FALSE(window.isVisible()) << c.what;
    }
    EXPECT_TRUE(operatorScript.messages.empty());
}

TEST_F(AccountsTest, AfterALoginClosingTheHiddenWindowAsksNothing) {
    writeAccounts({Make("op", "pw", "Operator")});
    TLogin window(home(), &operatorScript);
    window.show();
    QSignalSpy grants(&window, &TLogin::loggedIn);
    QSignalSpy quits(&window, &TLogin::quitRequested);
    Type(window.findChild<QLineEdit*>("Edit_username"), "op");
    Type(window.findChild<QLineEdit*>("Edit_pass"), "pw");
    QTest::keyClick(window.findChild<QLineEdit*>("Edit_pass"), Qt::Key_Return);  // Return logs in like "Enter"
    ASSERT_EQ(grants.count(), 1);
    EXPECT_EQ(window.grant()->role, Role::Operator);
    window.close();  // the main window closes the login window at the end of the run
    EXPECT_EQ(quits.count(), 0);
}

} // namespace
} // namespace veltro::test
