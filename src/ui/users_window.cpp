#include "ui/users_window.h"

#include <array>

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFont>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/account_file.h"
#include "ui/account_input.h"
#include "ui/application_identity.h"
#include "ui/caption_tables.h"
#include "ui/dialog_operator.h"
#include "ui/named_widgets.h"

namespace veltro {
namespace {

// The users window's captions in assignment order; the grid's column titles follow them.
constexpr std::array kUsersRows{
    CaptionRow{"TFUsers", TextId::UsersWindowTitle},
    // the account's fields
    CaptionRow{"Label_user", TextId::UserLabel}, CaptionRow{"Label_password", TextId::PasswordLabel},
    CaptionRow{"Label_repeat", TextId::RepeatPasswordLabel}, CaptionRow{"Label_access", TextId::AccessLevelLabel},
    // its permissions
    CaptionRow{"Check_dev", TextId::AllowDevicesCheck}, CaptionRow{"Check_comm", TextId::AllowCommunicationCheck},
    CaptionRow{"Check_display", TextId::AllowDisplayCheck}, CaptionRow{"Check_require", TextId::RequireLoginCheck},
    // commands
    CaptionRow{"Butt_add", TextId::AddChangeButton}, CaptionRow{"Butt_delete", TextId::DeleteButton},
    CaptionRow{"Butt_end", TextId::Exit},
};
constexpr std::array<TextId, kAccountListColumns> kGridTitles{
    TextId::UsersColumnUser,     TextId::UsersColumnAccess,        TextId::UsersColumnRegistered,
    TextId::UsersColumnMeterBus, TextId::UsersColumnCommunication, TextId::UsersColumnDisplay};

constexpr int kColumns = static_cast<int>(kAccountListColumns);
enum Column { kUserColumn = 0, kAccessColumn = 1, kDevicesColumn = 3, kCommunicationColumn = 4, kDisplayColumn = 5 };

// The registration date: today in the system's short date format; in ISO form when that format uses a
// character the file cannot hold.
std::string TodayText() {
    const QDate today = QDate::currentDate();
    return AccountTextOf(QLocale::system().toString(today, QLocale::ShortFormat))
        .value_or(today.toString(Qt::ISODate).toStdString());
}

QString ApplicationTitle() { return QString::fromLatin1(kApplicationTitle); }

} // namespace

std::span<const CaptionRow> TFUsers::captions() { return kUsersRows; }

TFUsers::TFUsers(const QString& programFolder, OperatorInterface* operatorInterface, QWidget* parent)
    : QDialog(parent), m_programFolder(programFolder) {
    if (!operatorInterface) m_ownOperator = std::make_unique<DialogOperator>();
    m_operator = operatorInterface ? operatorInterface : m_ownOperator.get();
    setObjectName("TFUsers");
    setWindowTitle(QStringLiteral("Veltro -> Users and accounts"));
    setWindowFlag(Qt::WindowStaysOnTopHint);

    auto edit = [this](const char* name, bool password) {
        auto* e = Named(new QLineEdit(this), name);
        SetUpAccountEdit(*e, kFieldLength, password);
        return e;
    };
    m_user = edit("Edit_user", false);
    m_pass1 = edit("Edit_pass1", true);
    m_pass2 = edit("Edit_pass2", true);
    m_access = Named(new QComboBox(this), "Combo_access");
    m_access->addItems({Utf8Text(kAdministrator), Utf8Text(kSetup), Utf8Text(kOperator)});
    m_access->setCurrentIndex(-1);  // no access level chosen yet
    auto box = [this](const char* name, const char* text) { return NamedCheckBox(name, QString::fromLatin1(text), this); };
    m_dev = box("Check_dev", "Allow setting devices");
    m_comm = box("Check_comm", "Allow setting communication");
    m_display = box("Check_display", "Allow setting display");
    m_require = box("Check_require", "Require login");  // shown, not stored

    // Row 0 holds the column titles, the accounts follow from row 1.
    m_grid = Named(new QTableWidget(1, kColumns, this), "Grid_users");
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->verticalHeader()->hide();
    m_grid->horizontalHeader()->hide();
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    writeGridTitles();

    auto label = [this](const char* name, const char* text) { return NamedLabel(name, QString::fromLatin1(text), this); };
    auto* form = new QFormLayout;
    form->addRow(label("Label_user", "User:"), m_user);
    form->addRow(label("Label_password", "Password:"), m_pass1);
    form->addRow(label("Label_repeat", "Re-type password:"), m_pass2);
    form->addRow(label("Label_access", "Access level:"), m_access);
    auto* boxes = new QVBoxLayout;
    for (QCheckBox* b : {m_dev, m_comm, m_display, m_require}) boxes->addWidget(b);
    auto* buttons = new QHBoxLayout;
    auto button = [&](const char* name, const char* text, void (TFUsers::*slot)()) {
        QPushButton* b = NamedButton(name, QString::fromLatin1(text), this);
        b->setAutoDefault(false);  // Return in an edit adds nothing by surprise
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

    // A click and a move with the keys both select a cell.
    connect(m_grid, &QTableWidget::cellClicked, this, &TFUsers::Grid_usersSelectCell);
    connect(m_grid, &QTableWidget::currentCellChanged, this,
            [this](int row, int column, int, int) { Grid_usersSelectCell(row, column); });
}

TFUsers::~TFUsers() = default;

QString TFUsers::accountFilePath() const { return QDir(m_programFolder).filePath(QStringLiteral("files/users.dat")); }

void TFUsers::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormActivate();  // not when the desktop merely restores the window
}

void TFUsers::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous()) FormClose();  // closed by "Exit", Esc or the close button
}

void TFUsers::FormActivate() {
    listAccounts();
    ApplyCaptions(*this, kUsersRows, m_language);
    writeGridTitles();
}

void TFUsers::FormClose() {
    clearInputFields();
    for (QCheckBox* b : {m_dev, m_comm, m_display}) b->setChecked(false);
}

void TFUsers::writeGridTitles() {
    for (int c = 0; c < kColumns; ++c) {
        auto* item = new QTableWidgetItem(CaptionText(kGridTitles[static_cast<std::size_t>(c)], m_language));
        item->setFlags(Qt::ItemIsEnabled);  // a title is not an account to select
        QFont bold = item->font();
        bold.setBold(true);
        item->setFont(bold);
        m_grid->setItem(0, c, item);
    }
}

void TFUsers::listAccounts() {
    const AccountFileRead file = ReadAccountFile(accountFilePath().toStdString());
    const std::vector<AccountListRow> rows = ListAccounts(file.records);
    const QSignalBlocker quiet(m_grid);  // rebuilding selects nothing
    m_grid->clearContents();
    m_grid->setRowCount(1 + static_cast<int>(rows.size()));
    writeGridTitles();
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (int c = 0; c < kColumns; ++c)
            m_grid->setItem(static_cast<int>(r) + 1, c, new QTableWidgetItem(Utf8Text(rows[r][static_cast<std::size_t>(c)])));
}

void TFUsers::clearInputFields() {
    m_user->clear();
    m_pass1->clear();
    m_pass2->clear();
    m_access->setCurrentIndex(-1);
}

void TFUsers::Grid_usersSelectCell(int row, int) {
    if (row < 1 || row >= m_grid->rowCount()) return;
    auto text = [&](int column) {
        const QTableWidgetItem* item = m_grid->item(row, column);
        return item ? item->text() : QString();
    };
    m_user->setText(text(kUserColumn));
    // An access level that is none of the three leaves the box empty.
    m_access->setCurrentIndex(m_access->findText(text(kAccessColumn), Qt::MatchExactly | Qt::MatchCaseSensitive));
    m_dev->setChecked(text(kDevicesColumn) == Utf8Text(kYes));
    m_comm->setChecked(text(kCommunicationColumn) == Utf8Text(kYes));
    m_display->setChecked(text(kDisplayColumn) == Utf8Text(kYes));
}

void TFUsers::Butt_addClick() {
    AccountEntry entry;
    // The edits accept only characters an account can hold, so nothing is lost here.
    entry.userName = AccountTextOf(m_user->text()).value_or(std::string());
    entry.password = AccountTextOf(m_pass1->text()).value_or(std::string());
    entry.repeatedPassword = AccountTextOf(m_pass2->text()).value_or(std::string());
    entry.accessLevel = AccountTextOf(m_access->currentText()).value_or(std::string());
    entry.permissions = {m_dev->isChecked(), m_comm->isChecked(), m_display->isChecked()};
    if (const auto refusal = CheckAccountEntry(entry)) {
        m_operator->message(ApplicationTitle(), Utf8Text(*refusal), OperatorInterface::Icon::Information);
        return;
    }
    const std::string path = accountFilePath().toStdString();
    const AccountFileRead file = ReadAccountFile(path, AccountFileAccess::ReadWrite);
    if (file.status != AccountFileRead::Status::Loaded) {
        QString text = Utf8Text(kMissingAccountFileText);
        if (file.status == AccountFileRead::Status::Failed) text += QLatin1Char('\n') + QString::fromStdString(file.error);
        m_operator->message(Utf8Text(kAccountErrorTitle), text, OperatorInterface::Icon::Error);
        return;
    }
    const AddOrChangeResult changed = AddOrChangeAccount(file.records, entry, TodayText());
    if (changed.lastAdministrator) {
        m_operator->message(ApplicationTitle(), CaptionText(TextId::LastAdministratorKeepsAccess, m_language),
                            OperatorInterface::Icon::Warning);
        return;
    }
    const FileWriteResult written = WriteAccountFile(path, changed.records);
    if (!written.ok) {
        // The old file is untouched; the fields stay filled for another try.
        m_operator->message(Utf8Text(kAccountErrorTitle), QString::fromStdString(written.error), OperatorInterface::Icon::Error);
        return;
    }
    clearInputFields();
    listAccounts();
}

void TFUsers::Butt_deleteClick() {
    const std::string path = accountFilePath().toStdString();
    const AccountFileRead file = ReadAccountFile(path, AccountFileAccess::ReadWrite);
    if (file.status != AccountFileRead::Status::Loaded) {
        QString text = Utf8Text(kDeleteMissingFileText);
        if (file.status == AccountFileRead::Status::Failed) text += QLatin1Char('\n') + QString::fromStdString(file.error);
        m_operator->message(ApplicationTitle(), text, OperatorInterface::Icon::Warning);
        return;
    }
    const auto user = AccountTextOf(m_user->text());
    if (!user) return;  // no account has such a name
    const DeleteResult result = DeleteAccount(file.records, *user);
    if (result.outcome == DeleteResult::Outcome::LastAdministrator) {
        m_operator->message(ApplicationTitle(), CaptionText(TextId::LastAdministratorNotDeleted, m_language),
                            OperatorInterface::Icon::Warning);
        return;
    }
    if (result.outcome != DeleteResult::Outcome::Deleted) return;  // silently, as with no Administrator
    const FileWriteResult written = WriteAccountFile(path, result.records);
    if (!written.ok) {
        m_operator->message(Utf8Text(kAccountErrorTitle), QString::fromStdString(written.error), OperatorInterface::Icon::Error);
        return;
    }
    listAccounts();
}

void TFUsers::Butt_endClick() { close(); }

} // namespace veltro
