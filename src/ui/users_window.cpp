#include "ui/users_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/account_file.h"
#include "ui/dialog_operator.h"

namespace veltro {
namespace {

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

struct Caption {
    const char* control;
    const char* english;
    const char* italian;
};

// The users window's captions, applied in this order each time the window is shown.
constexpr Caption kUsersCaptions[] = {
    {"TFUsers", "Users and accounts", "Utenti e account"},
    {"Label_user", "User:", "Nome utente:"},
    {"Label_password", "Password:", "Password:"},
    {"Label_repeat", "Re-type password:", "Re-inserisci password:"},
    {"Label_access", "Access level:", "Livello di accesso:"},
    {"Check_dev", "Allow settings devices", "Consenti config. dispositivi"},
    {"Check_comm", "Allow setting communication", "Consenti config. comunicazione"},
    {"Check_display", "Allow setting display", "Consenti config. display"},
    {"Check_require", "Require login", "Require login"},
    {"Butt_add", "Add/Change", "Aggiungi/Change"},
    {"Butt_delete", "Delete", "Cancella"},
    {"Butt_end", "Exit", "Esci"},
};
constexpr const char* kEnglishGridTitles[] = {"User", "Access", "Date reg.", "m-bus", "Comm", "Display"};
constexpr const char* kItalianGridTitles[] = {"Utenti", "Accesso", "Data res.", "m-bus", "Comm", "Display"};

std::string AccountText(const QString& text) {
    return AccountTextFromUtf8(text.toStdString()).value_or(std::string());
}

} // namespace

TFUsers::TFUsers(const QString& programFolder, OperatorInterface* operatorInterface, QWidget* parent)
    : QDialog(parent), m_programFolder(programFolder) {
    if (!operatorInterface) m_ownOperator = std::make_unique<DialogOperator>();
    m_operator = operatorInterface ? operatorInterface : m_ownOperator.get();
    setObjectName("TFUsers");
    setWindowTitle(QStringLiteral("Veltro -> Users and accounts"));
    setWindowFlag(Qt::WindowStaysOnTopHint);

    auto edit = [this](const char* name, bool password) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setMaxLength(kFieldLength);
        if (password) e->setEchoMode(QLineEdit::Password);
        return e;
    };
    m_user = edit("Edit_user", false);
    m_pass1 = edit("Edit_pass1", true);
    m_pass2 = edit("Edit_pass2", true);
    m_access = new QComboBox(this);
    m_access->setObjectName("Combo_access");
    m_access->addItems({"", Text(kAdministrator), Text(kSetup), Text(kOperator)});
    auto box = [this](const char* name, const char* text) {
        auto* b = new QCheckBox(QString::fromLatin1(text), this);
        b->setObjectName(name);
        return b;
    };
    m_dev = box("Check_dev", "Allow setting devices");
    m_comm = box("Check_comm", "Allow setting communication");
    m_display = box("Check_display", "Allow setting display");
    m_require = box("Check_require", "Require login");
    m_grid = new QTableWidget(1, static_cast<int>(kAccountListColumns), this);
    m_grid->setObjectName("Grid_users");
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->verticalHeader()->hide();
    m_grid->horizontalHeader()->hide();

    auto label = [this](const char* name, const char* text) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setObjectName(name);
        return l;
    };
    auto* form = new QFormLayout;
    form->addRow(label("Label_user", "User:"), m_user);
    form->addRow(label("Label_password", "Password:"), m_pass1);
    form->addRow(label("Label_repeat", "Re-type password:"), m_pass2);
    form->addRow(label("Label_access", "Access level:"), m_access);
    auto* boxes = new QVBoxLayout;
    for (QCheckBox* b : {m_dev, m_comm, m_display, m_require}) boxes->addWidget(b);
    auto* buttons = new QHBoxLayout;
    auto button = [&](const char* name, const char* text, void (TFUsers::*slot)()) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(name);
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
    };
    button("Butt_add", "Add/Change", &TFUsers::Butt_addClick);
    button("Butt_delete", "Delete", &TFUsers::Butt_deleteClick);
    button("Butt_end", "Exit", &TFUsers::Butt_endClick);
    auto* top = new QHBoxLayout;
    top->addLayout(form);
    top->addLayout(boxes);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->addWidget(m_grid);
    resize(620, 420);
    connect(m_grid, &QTableWidget::cellClicked, this, &TFUsers::Grid_usersSelectCell);
}

TFUsers::~TFUsers() = default;

QString TFUsers::accountFilePath() const { return QDir(m_programFolder).filePath(QStringLiteral("files/users.dat")); }

void TFUsers::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormActivate();
}

void TFUsers::closeEvent(QCloseEvent* event) {
    clearInputs();
    QDialog::closeEvent(event);
}

void TFUsers::FormActivate() {
    listAccounts();
    applyCaptions();
}

void TFUsers::applyCaptions() {
    const bool italian = m_language == Language::Italian;
    for (const Caption& c : kUsersCaptions) {
        const QString text = QString::fromUtf8(italian ? c.italian : c.english);
        if (objectName() == QLatin1String(c.control)) {
            setWindowTitle(text);
            continue;
        }
        QWidget* w = findChild<QWidget*>(QString::fromLatin1(c.control));
        if (auto* l = qobject_cast<QLabel*>(w)) l->setText(text);
        else if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setText(text);
    }
    for (int c = 0; c < static_cast<int>(kAccountListColumns); ++c)
        m_grid->setItem(0, c, new QTableWidgetItem(QString::fromUtf8(italian ? kItalianGridTitles[c] : kEnglishGridTitles[c])));
}

void TFUsers::listAccounts() {
    const AccountFileRead file = ReadAccountFile(accountFilePath().toStdString());
    const auto rows = ListAccounts(file.records);
    m_grid->clearContents();
    m_grid->setRowCount(1 + static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        for (int c = 0; c < static_cast<int>(kAccountListColumns); ++c)
            m_grid->setItem(r + 1, c, new QTableWidgetItem(QString::fromStdString(AccountTextToUtf8(rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]))));
    applyCaptions();
}

void TFUsers::clearInputs() {
    m_user->clear();
    m_pass1->clear();
    m_pass2->clear();
    m_access->setCurrentIndex(0);
    for (QCheckBox* b : {m_dev, m_comm, m_display}) b->setChecked(false);
}

void TFUsers::Grid_usersSelectCell(int row, int) {
    if (row < 1) return;
    auto text = [&](int column) { return m_grid->item(row, column) ? m_grid->item(row, column)->text() : QString(); };
    m_user->setText(text(0));
    m_access->setCurrentText(text(1));
    m_dev->setChecked(text(3) == Text(kYes));
    m_comm->setChecked(text(4) == Text(kYes));
    m_display->setChecked(text(5) == Text(kYes));
}

void TFUsers::Butt_addClick() {
    AccountEntry entry;
    entry.userName = AccountText(m_user->text());
    entry.password = AccountText(m_pass1->text());
    entry.repeatedPassword = AccountText(m_pass2->text());
    entry.accessLevel = AccountText(m_access->currentText());
    entry.permissions = {m_dev->isChecked(), m_comm->isChecked(), m_display->isChecked()};
    if (const auto refusal = CheckAccountEntry(entry)) {
        m_operator->message(QString(), Text(*refusal), OperatorInterface::Icon::Warning);
        return;
    }
    const std::string path = accountFilePath().toStdString();
    const AccountFileRead file = ReadAccountFile(path, AccountFileAccess::ReadWrite);
    if (file.status != AccountFileRead::Status::Loaded) {
        m_operator->message(Text(kAccountErrorTitle), Text(kMissingAccountFileText), OperatorInterface::Icon::Error);
        return;
    }
    const auto changed = AddOrChangeAccount(file.records, entry, QDate::currentDate().toString(Qt::ISODate).toStdString());
    const FileWriteResult written = WriteAccountFile(path, changed.records);
    if (!written.ok) {
        m_operator->message(Text(kAccountErrorTitle), QString::fromStdString(written.error), OperatorInterface::Icon::Error);
        return;
    }
    clearInputs();
    listAccounts();
}

void TFUsers::Butt_deleteClick() {
    const std::string path = accountFilePath().toStdString();
    const AccountFileRead file = ReadAccountFile(path, AccountFileAccess::ReadWrite);
    if (file.status != AccountFileRead::Status::Loaded) {
        m_operator->message(QString(), Text(kDeleteMissingFileText), OperatorInterface::Icon::Error);
        return;
    }
    const auto result = DeleteAccount(file.records, AccountText(m_user->text()));
    if (result.outcome != DeleteResult::Outcome::Deleted) return;
    const FileWriteResult written = WriteAccountFile(path, result.records);
    if (!written.ok) {
        m_operator->message(Text(kAccountErrorTitle), QString::fromStdString(written.error), OperatorInterface::Icon::Error);
        return;
    }
    listAccounts();
}

void TFUsers::Butt_endClick() { close(); }

} // namespace veltro
