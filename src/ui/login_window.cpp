#include "ui/login_window.h"

#include <QDir>
#include <QFormLayout>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/account_file.h"
#include "app/save_file.h"
#include "ui/account_input.h"
#include "ui/application_identity.h"
#include "ui/dialog_operator.h"
#include "ui/named_widgets.h"

namespace veltro {

TLogin::TLogin(const QString& programFolder, OperatorInterface* operatorInterface, QWidget* parent)
    : QDialog(parent), m_programFolder(programFolder) {
    if (!operatorInterface) m_ownOperator = std::make_unique<DialogOperator>();
    m_operator = operatorInterface ? operatorInterface : m_ownOperator.get();
    setObjectName("TLogin");
    setWindowTitle(QStringLiteral("Login "));
    setWindowFlag(Qt::WindowStaysOnTopHint);

    m_user = Named(new QLineEdit(this), "Edit_username");
    SetUpAccountEdit(*m_user, kFieldLength, false);
    m_password = Named(new QLineEdit(this), "Edit_pass");
    SetUpAccountEdit(*m_password, kFieldLength, true);
    QPushButton* enter = NamedButton("Butt_enter", QStringLiteral("Enter"), this);
    enter->setDefault(true);  // Return in either field logs in
    QPushButton* cancel = NamedButton("Butt_cancel", QStringLiteral("Cancel"), this);
    cancel->setAutoDefault(false);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("User:"), m_user);
    form->addRow(QStringLiteral("Password:"), m_password);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(enter);
    buttons->addWidget(cancel);
    m_hint = Named(new QLabel(this), "Label_firstAdministrator");
    m_hint->setTextInteractionFlags(Qt::TextSelectableByMouse);  // the command can be copied
    m_hint->setVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_hint);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(enter, &QPushButton::clicked, this, &TLogin::Butt_enterClick);
    connect(cancel, &QPushButton::clicked, this, &TLogin::Butt_cancelClick);
}

TLogin::~TLogin() = default;

QString TLogin::accountFilePath() const { return QDir(m_programFolder).filePath(QStringLiteral("files/users.dat")); }

void TLogin::setLanguage(Language language) {
    m_language = language;
    m_hint->setText(firstAdministratorHint());
}

QString TLogin::firstAdministratorHint() const {
    return QString::fromStdString(FirstAdministratorHint(m_language, FileSystemPath(QDir::toNativeSeparators(m_programFolder))));
}

void TLogin::showHintWhileNoAccountFile() {
    m_hint->setText(firstAdministratorHint());
    m_hint->setVisible(!QFileInfo::exists(accountFilePath()));
}

void TLogin::showEvent(QShowEvent* event) {
    showHintWhileNoAccountFile();
    QDialog::showEvent(event);
}

void TLogin::Butt_enterClick() {
    const AccountFileRead file = ReadAccountFile(accountFilePath().toStdString());
    const auto user = AccountTextOf(m_user->text());
    const auto password = AccountTextOf(m_password->text());
    LoginOutcome outcome = CheckLogin(file, user.value_or(std::string()), password.value_or(std::string()));
    // A text no account can hold matches no account, not even one with an empty name.
    if (outcome.kind == LoginOutcome::Kind::Granted && (!user || !password))
        outcome.kind = LoginOutcome::Kind::WrongCredentials;

    const QString loginFail = Utf8Text(kLoginFailTitle);
    switch (outcome.kind) {
    case LoginOutcome::Kind::Granted:
        m_grant = outcome.grant;
        m_password->clear();
        emit loggedIn(outcome.grant);
        hide();
        return;
    case LoginOutcome::Kind::WrongCredentials:
        m_operator->message(QString::fromLatin1(kApplicationTitle), Utf8Text(kWrongCredentialsText),
                            OperatorInterface::Icon::Information);
        m_password->clear();
        return;
    case LoginOutcome::Kind::MissingFile:
        m_operator->message(loginFail, Utf8Text(kMissingAccountFileText) + QStringLiteral("\n\n") + firstAdministratorHint(),
                            OperatorInterface::Icon::Warning);
        break;
    case LoginOutcome::Kind::EmptyFile:
        m_operator->message(loginFail, Utf8Text(kEmptyAccountFileText), OperatorInterface::Icon::Information);
        break;
    case LoginOutcome::Kind::UnreadableFile:
        m_operator->message(loginFail,
                            Utf8Text(kUnreadableAccountFileText) + QLatin1Char('\n') + QString::fromStdString(file.error),
                            OperatorInterface::Icon::Warning);
        break;
    }
    endProgram();
}

void TLogin::Butt_cancelClick() { endProgram(); }

void TLogin::reject() { endProgram(); }

void TLogin::endProgram() {
    if (!m_quitRequested) {
        m_quitRequested = true;
        emit quitRequested();
    }
    QDialog::reject();  // hides the window
}

} // namespace veltro
