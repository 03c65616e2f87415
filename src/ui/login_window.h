#pragma once

#include <memory>
#include <optional>

#include <QDialog>
#include <QString>

#include "app/language.h"
#include "app/login_grant.h"

class QLabel;
class QLineEdit;

namespace veltro {

class OperatorInterface;

// The login window (`TLogin`, caption "Login "), the first window of the program: the main window is
// shown only after a login against <program folder>/files/users.dat succeeds (docs/ACCOUNTS.md).
class TLogin : public QDialog {
    Q_OBJECT

public:
    static constexpr int kFieldLength = 15;

    // Messages go through `operatorInterface`; with none, through message boxes.
    explicit TLogin(const QString& programFolder, OperatorInterface* operatorInterface = nullptr,
                    QWidget* parent = nullptr);
    ~TLogin() override;

    QString accountFilePath() const;
    // The language of the first-administrator hint, shown while there is no account file.
    void setLanguage(Language language);
    // The role flags and permissions of the last successful login, held as long as the window lives.
    const std::optional<LoginGrant>& grant() const { return m_grant; }

signals:
    // A login succeeded; the window hides itself right after.
    void loggedIn(const veltro::LoginGrant& grant);
    // The program ends: the account file cannot be used, or the operator cancelled (also by Esc or by
    // closing the window). Emitted once.
    void quitRequested();

public slots:
    void Butt_enterClick();
    void Butt_cancelClick();

protected:
    // Esc and the close button reach here while the window is shown: as "Cancel".
    void reject() override;
    void showEvent(QShowEvent* event) override;

private:
    void endProgram();
    QString firstAdministratorHint() const;
    void showHintWhileNoAccountFile();

    QString m_programFolder;
    std::unique_ptr<OperatorInterface> m_ownOperator;
    OperatorInterface* m_operator;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QLabel* m_hint = nullptr;
    Language m_language = Language::English;
    std::optional<LoginGrant> m_grant;
    bool m_quitRequested = false;
};

} // namespace veltro
