// The users window driven by its control names; what it does is read back from the account file.
#include "accounts_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QLabel>
#include <QLocale>
#include <QTableWidget>

#include "ui/caption_tables.h"
#include "ui/users_window.h"

namespace veltro::test {
namespace {

using Icon = OperatorInterface::Icon;

class UsersWindowTest : public AccountsTest {
protected:
    void open(Language language = Language::English) {
        m_window = std::make_unique<TFUsers>(home(), &operatorScript);
        m_window->setLanguage(language);
        m_window->show();
    }
    TFUsers& window() { return *m_window; }
    template <typename T> T* find(const char* name) {
        T* widget = m_window->findChild<T*>(name);
        EXPECT_TRUE(widget) << name;
        return widget;
    }
    QTableWidget* grid() { return find<QTableWidget>("Grid_users"); }
    QString cell(int row, int column) {
        const QTableWidgetItem* item = grid()->item(row, column);
        return item ? item->text() : QString("<none>");
    }
    QStringList row(int r) {
        QStringList cells;
        for (int c = 0; c < grid()->columnCount(); ++c) cells << cell(r, c);
        return cells;
    }
    void clickCell(int row, int column) {
        const QRect rect = grid()->visualItemRect(grid()->item(row, column));
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, rect.center());
    }
    // Types as an operator does; the access level is picked from the list ("" picks none).
    void fill(const QString& user, const QString& pass1, const QString& pass2, const QString& access) {
        for (const char* name : {"Edit_user", "Edit_pass1", "Edit_pass2"}) find<QLineEdit>(name)->clear();
        Type(find<QLineEdit>("Edit_user"), user);
        Type(find<QLineEdit>("Edit_pass1"), pass1);
        Type(find<QLineEdit>("Edit_pass2"), pass2);
        find<QComboBox>("Combo_access")->setCurrentIndex(find<QComboBox>("Combo_access")->findText(access));
    }
    void setBoxes(bool devices, bool communication, bool display) {
        const std::pair<const char*, bool> boxes[] = {{"Check_dev", devices}, {"Check_comm", communication}, {"Check_display", display}};
        for (const auto& [name, wanted] : boxes)
            if (find<QCheckBox>(name)->isChecked() != wanted) QTest::mouseClick(find<QCheckBox>(name), Qt::LeftButton);
    }
    void click(const char* name) { QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton); }

private:
    std::unique_ptr<TFUsers> m_window;
};

const QStringList kEnglishTitles{"User", "Access", "Date reg.", "m-bus", "Comm", "Display"};
const QStringList kItalianTitles{"Utenti", "Accesso", "Data res.", "m-bus", "Comm", "Display"};

QString ControlText(QWidget& root, const char* name) {
    if (root.objectName() == QLatin1String(name)) return root.windowTitle();
    if (auto* label = root.findChild<QLabel*>(name)) return label->text();
    if (auto* button = root.findChild<QAbstractButton*>(name)) return button->text();
    return "<no control " + QString::fromLatin1(name) + ">";
}

TEST_F(UsersWindowTest, ControlsAsBuilt) {
    TFUsers unshown(home(), &operatorScript);
    EXPECT_EQ(unshown.windowTitle(), "Veltro -> Users and accounts");
    EXPECT_EQ(ControlText(unshown, "Check_dev"), "Allow setting devices");
    EXPECT_TRUE(unshown.windowFlags() & Qt::WindowStaysOnTopHint);

    open();
    for (const char* name : {"Edit_user", "Edit_pass1", "Edit_pass2"}) EXPECT_EQ(find<QLineEdit>(name)->maxLength(), 10) << name;
    EXPECT_EQ(find<QLineEdit>("Edit_user")->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(find<QLineEdit>("Edit_pass1")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(find<QLineEdit>("Edit_pass2")->echoMode(), QLineEdit::Password);
    QComboBox* access = find<QComboBox>("Combo_access");
    ASSERT_EQ(access->count(), 3);
    EXPECT_EQ(access->itemText(0), "Administrator");
    EXPECT_EQ(access->itemText(1), "Setup");
    EXPECT_EQ(access->itemText(2), "Operator");
    EXPECT_EQ(access->currentText(), "");
    for (const char* name : {"Check_require", "Butt_add", "Butt_delete", "Butt_end"}) EXPECT_TRUE(window().findChild<QWidget*>(name)) << name;
}

TEST_F(UsersWindowTest, ShowingAppliesTheLanguageItIsGiven) {
    open(Language::Italian);
    const auto rows = TFUsers::captions();
    EXPECT_EQ(rows.size() + 6, 18u);  // and the six column titles
    for (const CaptionRow& r : rows) EXPECT_EQ(ControlText(window(), r.objectName), CaptionText(r.text, Language::Italian)) << r.objectName;
    EXPECT_EQ(window().windowTitle(), "Utenti e account");
    EXPECT_EQ(ControlText(window(), "Butt_add"), "Aggiungi/Change");
    EXPECT_EQ(row(0), kItalianTitles);

    window().hide();
    window().setLanguage(Language::English);
    window().show();
    for (const CaptionRow& r : rows) EXPECT_EQ(ControlText(window(), r.objectName), CaptionText(r.text, Language::English)) << r.objectName;
    EXPECT_EQ(window().windowTitle(), "Users and accounts");
    EXPECT_EQ(ControlText(window(), "Check_dev"), "Allow settings devices");
    EXPECT_EQ(row(0), kEnglishTitles);
}

TEST_F(UsersWindowTest, ListsEveryRecordUnderTheTitles) {
    writeAccounts({Make("admin", "1", "Administrator", {true, true, true}, "10/03/2025"),
                   Make("Jos\xE9", "2", "Operator", {false, true, false}, "1.1.25")});
    open();
    ASSERT_EQ(grid()->rowCount(), 3);
    EXPECT_EQ(row(0), kEnglishTitles);
    EXPECT_EQ(row(1), (QStringList{"admin", "Administrator", "10/03/2025", "Yes", "Yes", "Yes"}));
    EXPECT_EQ(row(2), (QStringList{QString::fromUtf8("Jos\xC3\xA9"), "Operator", "1.1.25", "No", "Yes", "No"}));

    // An Italian window keeps its titles when an addition rebuilds the list.
    window().hide();
    window().setLanguage(Language::Italian);
    window().show();
    fill("new", "pw", "pw", "Setup");
    click("Butt_add");
    ASSERT_EQ(grid()->rowCount(), 4);
    EXPECT_EQ(row(0), kItalianTitles);
}

TEST_F(UsersWindowTest, SelectingARowCopiesItIntoTheFields) {
    writeAccounts({Make("admin", "1", "Administrator", {true, false, true}), Make("odd", "2", "Superuser", {false, true, false})});
    open();
    clickCell(1, 2);
    EXPECT_EQ(find<QLineEdit>("Edit_user")->text(), "admin");
    EXPECT_EQ(find<QComboBox>("Combo_access")->currentText(), "Administrator");
    EXPECT_TRUE(find<QCheckBox>("Check_dev")->isChecked());
    EXPECT_FALSE(find<QCheckBox>("Check_comm")->isChecked());
    EXPECT_TRUE(find<QCheckBox>("Check_display")->isChecked());
    EXPECT_TRUE(find<QLineEdit>("Edit_pass1")->text().isEmpty());  // passwords are never shown

    clickCell(2, 0);  // an access level that is none of the three leaves the box empty
    EXPECT_EQ(find<QLineEdit>("Edit_user")->text(), "odd");
    EXPECT_EQ(find<QComboBox>("Combo_access")->currentText(), "");
    EXPECT_FALSE(find<QCheckBox>("Check_dev")->isChecked());
    EXPECT_TRUE(find<QCheckBox>("Check_comm")->isChecked());

    clickCell(0, 0);  // the titles are no account
    EXPECT_EQ(find<QLineEdit>("Edit_user")->text(), "odd");
}

TEST_F(UsersWindowTest, AddRefusesIncompleteEntriesInOrderAndWritesNothing) {
    writeAccounts({Make("admin", "1", "Administrator")});
    const std::string before = fileBytes();
    open();
    struct Case {
        const char* user;
        const char* pass1;
        const char* pass2;
        const char* access;
        const char* message;
    } cases[] = {
        {"", "a", "b", "", "Enter username"},
        {"u", "", "pw", "Setup", "Enter password (both fields)"},
        {"u", "pw", "", "Setup", "Enter password (both fields)"},
        {"u", "a", "b", "", "Select access level for this user"},
        {"u", "pw", "PW", "Setup", "Passwords does not match!"},
    };
    for (const auto& c : cases) {
        operatorScript.messages.clear();
        fill(c.user, c.pass1, c.pass2, c.access);
        click("Butt_add");
        ASSERT_EQ(operatorScript.messages.size(), 1u) << c.message;
        EXPECT_EQ(operatorScript.messages[0].text, c.message);
        EXPECT_EQ(operatorScript.messages[0].title, "Veltro");
        EXPECT_EQ(fileBytes(), before) << c.message;
        EXPECT_EQ(find<QLineEdit>("Edit_user")->text(), c.user) << c.message;  // kept for correction
    }
}

TEST_F(UsersWindowTest, AddAppendsWithTodaysDateAndChangeKeepsTheDate) {
    writeAccounts({Make("admin", "old", "Administrator", {true, true, true}, "01/01/2020")});
    open();
    fill("tech", "pw", "pw", "Setup");
    setBoxes(true, false, true);
    const QString dayBefore = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
    click("Butt_add");
    const QString dayAfter = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
    EXPECT_TRUE(operatorScript.messages.empty());
    std::vector<Account> stored = accounts();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[1].userName, "tech");
    EXPECT_EQ(stored[1].password, "pw");
    EXPECT_EQ(stored[1].accessLevel, "Setup");
    EXPECT_EQ(stored[1].permissions, (AccountPermissions{true, false, true}));
    const QString date = QString::fromStdString(stored[1].registrationDate);
    EXPECT_TRUE(date == dayBefore || date == dayAfter) << date.toStdString();
    EXPECT_EQ(row(2), (QStringList{"tech", "Setup", date, "Yes", "No", "Yes"}));
    // The four fields are cleared, the boxes stay.
    for (const char* name : {"Edit_user", "Edit_pass1", "Edit_pass2"}) EXPECT_TRUE(find<QLineEdit>(name)->text().isEmpty()) << name;
    EXPECT_EQ(find<QComboBox>("Combo_access")->currentText(), "");
    EXPECT_TRUE(find<QCheckBox>("Check_dev")->isChecked());

    // Change the administrator: selected from the list, new password and permissions, same date.
    clickCell(1, 0);
    Type(find<QLineEdit>("Edit_pass1"), "new");
    Type(find<QLineEdit>("Edit_pass2"), "new");
    setBoxes(false, true, false);
    click("Butt_add");
    stored = accounts();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].userName, "admin");
    EXPECT_EQ(stored[0].password, "new");
    EXPECT_EQ(stored[0].registrationDate, "01/01/2020");
    EXPECT_EQ(stored[0].permissions, (AccountPermissions{false, true, false}));
    EXPECT_EQ(row(1), (QStringList{"admin", "Administrator", "01/01/2020", "No", "Yes", "No"}));
    EXPECT_EQ(login("admin", "old").grants.size(), 0u);
    EXPECT_EQ(login("admin", "new").grants.size(), 1u);
}

TEST_F(UsersWindowTest, ATwelveCharacterPasswordIsCutToTenAndTwelveNeverLogIn) {
    writeAccounts({Make("admin", "1", "Administrator")});
    open();
    fill("clerk", "abcdefghijkl", "abcdefghijkl", "Operator");
    EXPECT_EQ(find<QLineEdit>("Edit_pass1")->text(), "abcdefghij");
    click("Butt_add");
    ASSERT_EQ(accounts().size(), 2u);
    EXPECT_EQ(accounts()[1].password, "abcdefghij");
    EXPECT_EQ(login("clerk", "abcdefghijkl").grants.size(), 0u);
    const Attempt ten = login("clerk", "abcdefghij");
    ASSERT_EQ(ten.grants.size(), 1u);
    EXPECT_EQ(ten.grants[0].role, Role::Operator);
}

TEST_F(UsersWindowTest, WithoutAnAccountFileNothingIsCreated) {
    open();
    EXPECT_EQ(grid()->rowCount(), 1);
    fill("admin", "pw", "pw", "Administrator");
    click("Butt_add");
    ASSERT_EQ(operatorScript.messages.size(), 1u);
    EXPECT_EQ(operatorScript.messages[0].title, "Account error");
    EXPECT_EQ(operatorScript.messages[0].text, "Missing account file!\nContact administrator");
    EXPECT_EQ(operatorScript.messages[0].icon, Icon::Error);

    click("Butt_delete");
    ASSERT_EQ(operatorScript.messages.size(), 2u);
    EXPECT_EQ(operatorScript.messages[1].text, "Missing account file!");
    EXPECT_FALSE(std::filesystem::exists(folder()));
}

TEST_F(UsersWindowTest, DeleteFollowsTheAdministratorRule) {
    writeAccounts({Make("setup", "1", "Setup"), Make("clerk", "2", "Operator")});
    const std::string withoutAdministrator = fileBytes();
    open();
    find<QLineEdit>("Edit_user")->setText("clerk");
    click("Butt_delete");
    EXPECT_EQ(fileBytes(), withoutAdministrator);  // nothing, silently
    EXPECT_TRUE(operatorScript.messages.empty());
    EXPECT_EQ(grid()->rowCount(), 3);

    writeAccounts({Make("admin", "1", "Administrator"), Make("clerk", "2", "Operator"), Make("last", "3", "Setup")});
    window().hide();
    window().show();
    find<QLineEdit>("Edit_user")->setText("nobody");
    click("Butt_delete");
    EXPECT_EQ(accounts().size(), 3u);

    clickCell(2, 0);
    click("Butt_delete");
    std::vector<Account> left = accounts();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].userName, "admin");
    EXPECT_EQ(left[1].userName, "last");  // moved down
    EXPECT_EQ(grid()->rowCount(), 3);
    EXPECT_EQ(cell(2, 0), "last");
    EXPECT_TRUE(operatorScript.messages.empty());
}

TEST_F(UsersWindowTest, TheLastAdministratorKeepsItsAccessAndTheWindowSaysSo) {
    writeAccounts({Make("admin", "1", "Administrator"), Make("clerk", "2", "Operator")});
    const std::string before = fileBytes();
    open(Language::English);
    fill("admin", "9", "9", "Operator");
    click("Butt_add");
    EXPECT_EQ(fileBytes(), before);
    ASSERT_EQ(operatorScript.messages.size(), 1u);
    EXPECT_EQ(operatorScript.messages[0].text.split('\n')[0], "The last account with Administrator access keeps it!");
    EXPECT_EQ(login("admin", "1").grants.size(), 1u);
}

TEST_F(UsersWindowTest, TheLastAdministratorIsNotDeletedAndTheWindowSaysSo) {
    struct Case {
        const char* what;
        Language language;
        const char* firstLine;
    } cases[] = {
        {"English", Language::English, "The last account with Administrator access can not be deleted!"},
        {"Italian", Language::Italian, "L'ultimo account con accesso Administrator non puo essere cancellato!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeAccounts({Make("admin", "1", "Administrator"), Make("clerk", "2", "Operator")});
        const std::string before = fileBytes();
        operatorScript.messages.clear();
        open(c.language);
        find<QLineEdit>("Edit_user")->setText("admin");
        click("Butt_delete");
        EXPECT_EQ(fileBytes(), before);
        ASSERT_EQ(operatorScript.messages.size(), 1u);
        EXPECT_EQ(operatorScript.messages[0].title, "Veltro");
        EXPECT_EQ(operatorScript.messages[0].text.split('\n')[0], c.firstLine);
        EXPECT_EQ(operatorScript.messages[0].icon, Icon::Warning);
        EXPECT_EQ(grid()->rowCount(), 3);
        EXPECT_EQ(login("admin", "1").grants.size(), 1u);
    }
}

TEST_F(UsersWindowTest, AFailedWriteLeavesTheFileAndSaysWhy) {
    writeAccounts({Make("admin", "1", "Administrator"), Make("boss", "2", "Administrator")});
    const std::string before = fileBytes();
    open();
    ImmutableFolder frozen(folder());
    if (!frozen.available()) GTEST_SKIP() << "needs the right to set the immutable attribute on a folder";
    fill("tech", "pw", "pw", "Setup");
    click("Butt_add");
    ASSERT_EQ(operatorScript.messages.size(), 1u);
    EXPECT_EQ(operatorScript.messages[0].title, "Account error");
    EXPECT_TRUE(operatorScript.messages[0].text.contains("users.dat")) << operatorScript.messages[0].text.toStdString();
    EXPECT_EQ(operatorScript.messages[0].icon, Icon::Error);
    EXPECT_EQ(fileBytes(), before);
    EXPECT_EQ(find<QLineEdit>("Edit_user")->text(), "tech");  // kept for another try
    EXPECT_EQ(grid()->rowCount(), 3);

    find<QLineEdit>("Edit_user")->setText("admin");
    click("Butt_delete");
    ASSERT_EQ(operatorScript.messages.size(), 2u);
    EXPECT_EQ(operatorScript.messages[1].title, "Account error");
    EXPECT_EQ(fileBytes(), before);
}

TEST_F(UsersWindowTest, ClosingClearsTheFieldsHoweverItCloses) {
    writeAccounts({Make("admin", "1", "Administrator", {true, true, true})});
    open();
    const std::function<void()> closers[] = {
        [&] { click("Butt_end"); },
        [&] { QTest::keyClick(find<QLineEdit>("Edit_user"), Qt::Key_Escape); },
        [&] { window().close(); },
    };
    for (const auto& closeWindow : closers) {
        window().show();
        clickCell(1, 0);
        Type(find<QLineEdit>("Edit_pass1"), "x");
        Type(find<QLineEdit>("Edit_pass2"), "y");
        ASSERT_TRUE(find<QCheckBox>("Check_dev")->isChecked());
        closeWindow();
        EXPECT_FALSE(window().isVisible());
        for (const char* name : {"Edit_user", "Edit_pass1", "Edit_pass2"}) EXPECT_TRUE(find<QLineEdit>(name)->text().isEmpty()) << name;
        EXPECT_EQ(find<QComboBox>("Combo_access")->currentText(), "");
        for (const char* name : {"Check_dev", "Check_comm", "Check_display"}) EXPECT_FALSE(find<QCheckBox>(name)->isChecked()) << name;
    }
}

} // namespace
} // namespace veltro::test
