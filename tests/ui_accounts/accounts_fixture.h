#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "app/account_file.h"
#include "app/file_faults.h"
#include "app/scripted_operator.h"
#include "ui/login_window.h"

namespace veltro::test {

// Types `text` into `widget` key by key, as a keyboard does; unlike QTest::keyClicks, also characters
// beyond ASCII.
inline void Type(QWidget* widget, const QString& text) {
    for (const QChar character : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(character));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(character));
        QApplication::sendEvent(widget, &release);
    }
}

// A temporary program folder with its account file, and the login window driven as an operator drives it.
class AccountsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_home.isValid()); }

    QString home() const { return m_home.path(); }
    std::filesystem::path folder() const { return std::filesystem::path(home().toStdString()) / "files"; }
    std::filesystem::path file() const { return folder() / "users.dat"; }

    static Account Make(std::string user, std::string password, std::string access, AccountPermissions permissions = {},
                        std::string date = "01/02/2020") {
        Account account;
        account.userName = std::move(user);
        account.password = std::move(password);
        account.accessLevel = std::move(access);
        account.registrationDate = std::move(date);
        account.permissions = permissions;
        return account;
    }

    void writeAccounts(const std::vector<Account>& accounts) {
        std::filesystem::create_directories(folder());
        AccountRecords records;
        for (const Account& account : accounts) records.push_back(EncodeAccount(account));
        const FileWriteResult written = WriteAccountFile(file(), records);
        ASSERT_TRUE(written.ok) << written.error;
    }
    std::string fileBytes() const { return ReadWholeFile(file()); }
    std::vector<Account> accounts() const {
        const AccountFileRead read = ReadAccountFile(file());
        EXPECT_EQ(read.status, AccountFileRead::Status::Loaded) << read.error;
        return DecodeAccounts(read.records);
    }

    struct Attempt {
        std::vector<LoginGrant> grants;
        int quitRequests = 0;
        bool visibleAfter = false;
        QString passwordAfter, userAfter;
    };
    // Types the user name and the password into a fresh login window and clicks "Enter".
    Attempt login(const QString& user, const QString& password) {
        TLogin window(home(), &operatorScript);
        window.show();
        Attempt attempt;
        QObject::connect(&window, &TLogin::loggedIn, [&](const LoginGrant& grant) { attempt.grants.push_back(grant); });
        QObject::connect(&window, &TLogin::quitRequested, [&] { ++attempt.quitRequests; });
        Type(window.findChild<QLineEdit*>("Edit_username"), user);
        Type(window.findChild<QLineEdit*>("Edit_pass"), password);
        QTest::mouseClick(window.findChild<QPushButton*>("Butt_enter"), Qt::LeftButton);
        attempt.visibleAfter = window.isVisible();
        attempt.userAfter = window.findChild<QLineEdit*>("Edit_username")->text();
        attempt.passwordAfter = window.findChild<QLineEdit*>("Edit_pass")->text();
        if (!attempt.grants.empty()) {
            EXPECT_TRUE(window.grant().has_value());
        }
        return attempt;
    }

    ScriptedOperator operatorScript;

private:
    QTemporaryDir m_home;
};

} // namespace veltro::test
