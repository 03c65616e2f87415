#pragma once

#include <memory>

#include <QDialog>
#include <QString>

#include "app/login_grant.h"

class QLineEdit;
class QPushButton;

namespace veltro {

class OperatorInterface;

// The login window, the first window of the program: the main window is shown only after a login
// against files/users.dat succeeds.
class TLogin : public QDialog {
    Q_OBJECT

public:
    static constexpr int kFieldLength = 15;

    // Messages go through `operatorInterface` (message boxes when none is given).
    explicit TLogin(const QString& programFolder, OperatorInterface* operatorInterface = nullptr, QWidget* parent = nullptr);
    ~TLogin() override;

    QString accountFilePath() const;

signals:
    void loggedIn(const veltro::LoginGrant& grant);
    void quitRequested();  // the account file cannot be used, or "Cancel"

public slots:
    void Butt_enterClick();
    void Butt_cancelClick();

private:
    QString m_programFolder;
    std::unique_ptr<OperatorInterface> m_ownOperator;
    OperatorInterface* m_operator;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
};

} // namespace veltro
