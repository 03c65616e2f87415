#include "ui/login_window.h"

#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/account_file.h"
#include "ui/dialog_operator.h"

namespace veltro {
namespace {

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string Typed(const QLineEdit* edit) {
    // Characters an account cannot hold never match; the typed text is compared byte for byte otherwise.
    return AccountTextFromUtf8(edit->text().toStdString()).value_or(std::string("\x01", 1));
}

} // namespace

TLogin::TLogin(const QString& programFolder, OperatorInterface* operatorInterface, QWidget* parent)
    : QDialog(parent), m_programFolder(programFolder) {
    if (!operatorInterface) m_ownOperator = std::make_unique<DialogOperator>();
    m_operator = operatorInterface ? operatorInterface : m_ownOperator.get();
    setObjectName("TLogin");
    setWindowTitle(QStringLiteral("Login "));
    setWindowFlag(Qt::WindowStaysOnTopHint);

    m_user = new QLineEdit(this);
    m_user->setObjectName("Edit_username");
    m_user->setMaxLength(kFieldLength);
    m_password = new QLineEdit(this);
    m_password->setObjectName("Edit_pass");
    m_password->setMaxLength(kFieldLength);
    m_password->setEchoMode(QLineEdit::Password);
    auto* enter = new QPushButton(QStringLiteral("Enter"), this);
    enter->setObjectName("Butt_enter");
    enter->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName("Butt_cancel");

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("User:"), m_user);
    form->addRow(QStringLiteral("Password:"), m_password);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(enter);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(enter, &QPushButton::clicked, this, &TLogin::Butt_enterClick);
    connect(cancel, &QPushButton::clicked, this, &TLogin::Butt_cancelClick);
}

TLogin::~TLogin() = default;

QString TLogin::accountFilePath() const { return QDir(m_programFolder).filePath(QStringLiteral("files/users.dat")); }

void TLogin::Butt_enterClick() {
    const AccountFileRead file = ReadAccountFile(accountFilePath().toStdString());
    const LoginOutcome outcome = CheckLogin(file, Typed(m_user), Typed(m_password));
    switch (outcome.kind) {
    case LoginOutcome::Kind::Granted:
        m_password->clear();
        emit loggedIn(outcome.grant);
        return;
    case LoginOutcome::Kind::WrongCredentials:
        m_operator->message(QString(), Text(kWrongCredentialsText), OperatorInterface::Icon::Warning);
        m_password->clear();
        return;
    case LoginOutcome::Kind::MissingFile:
        m_operator->message(Text(kLoginFailTitle), Text(kMissingAccountFileText), OperatorInterface::Icon::Warning);
        break;
    case LoginOutcome::Kind::EmptyFile:
        m_operator->message(Text(kLoginFailTitle), Text(kEmptyAccountFileText), OperatorInterface::Icon::Warning);
        break;
    case LoginOutcome::Kind::UnreadableFile:
        m_operator->message(Text(kLoginFailTitle), Text(kUnreadableAccountFileText), OperatorInterface::Icon::Warning);
        break;
    }
    close();
    emit quitRequested();
}

void TLogin::Butt_cancelClick() {
    close();
    emit quitRequested();
}

} // namespace veltro
