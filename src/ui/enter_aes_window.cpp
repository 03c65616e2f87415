#include "ui/enter_aes_window.h"

#include <vector>

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/engine.h"
#include "link/communication_log.h"
#include "meters/meter_page.h"
#include "ui/key_filter.h"
#include "ui/named_widgets.h"

namespace veltro {

TEnterAES::TEnterAES(Engine& engine, QWidget* parent) : QDialog(parent), m_engine(engine) {
    setObjectName(QStringLiteral("TEnterAES"));
    setWindowTitle(QStringLiteral("Enter AES-128 key "));
    // A title but no title-bar buttons: "Done" and "Cancel" close it.
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(NamedLabel("Label_aesKey", QStringLiteral("Enter AES-128 key for meter "), this));
    Edit_enterKey = Named(new QLineEdit(this), "Edit_enterKey");
    Edit_enterKey->setMaxLength(kKeyLength);
    // Either case passes here; the sending command refuses lower case with its own line.
    KeyFilter::Install(*Edit_enterKey, QStringLiteral("ABCDEFabcdef"));
    QFont fixed(QStringLiteral("Monospace"));
    fixed.setStyleHint(QFont::TypeWriter);
    Edit_enterKey->setFont(fixed);
    Edit_enterKey->setMinimumWidth(QFontMetrics(fixed).horizontalAdvance(QString(kKeyLength + 2, QLatin1Char('W'))));
    layout->addWidget(Edit_enterKey);
    layout->addWidget(NamedLabel(
        "Label1", QStringLiteral("Note: Key should be 32 symbols, entered in HEX, without spaces (FAC812...)"), this));

    auto* all = new QHBoxLayout;
    all->setSpacing(0);
    Check_allAES = NamedCheckBox("Check_allAES", QStringLiteral("Use this Key for all "), this);
    all->addWidget(Check_allAES);
    all->addWidget(NamedLabel("Label2", QStringLiteral("meters in the table"), this));
    all->addStretch(1);
    layout->addLayout(all);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton* done = NamedButton("BitBtn1", QStringLiteral("Done"), this);
    QPushButton* cancel = NamedButton("BitBtn2", QStringLiteral("Cancel"), this);
    for (QPushButton* button : {done, cancel}) {
        // Enter means "Done" whichever of them has the focus: the window decides, not the button.
        button->setAutoDefault(false);
        button->setMinimumWidth(90);
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);
    setFixedSize(sizeHint());

    connect(done, &QPushButton::clicked, this, &TEnterAES::BitBtn1Click);
    connect(cancel, &QPushButton::clicked, this, &TEnterAES::BitBtn2Click);
}

void TEnterAES::showForSelectedRow() {
    if (isVisible()) captureRow();  // opened again on another row: the key is for that one now
    show();
    raise();
    activateWindow();
}

void TEnterAES::captureRow() {
    const MeterTable& table = m_engine.meters().table();
    const int row = table.selectedRow();
    const bool dataRow = row >= 1 && row < table.rowCount();
    m_row = dataRow ? row : 0;
    m_id = dataRow ? table.cell(row, 0) : std::string();
}

void TEnterAES::showEvent(QShowEvent* event) {
    // The key is for the meter selected now; "Done" checks that its row still holds it.
    if (!event->spontaneous()) {
        captureRow();
        if (m_centreOn) move(m_centreOn->frameGeometry().center() - rect().center());
    }
    QDialog::showEvent(event);
    Edit_enterKey->setFocus();
}

void TEnterAES::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        BitBtn1Click();
        return;
    case Qt::Key_Escape:
        BitBtn2Click();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void TEnterAES::reject() { BitBtn2Click(); }

void TEnterAES::BitBtn1Click() {
    const QString typed = Edit_enterKey->text();
    // An empty field stores nothing: 32 zeros would pass for a key and overwrite the real one.
    if (typed.isEmpty()) {
        hide();
        return;
    }
    const std::string key = typed.leftJustified(kKeyLength, QLatin1Char('0')).toStdString();
    MeterPage& meters = m_engine.meters();
    const MeterTable& table = meters.table();
    std::vector<int> rows;
    if (Check_allAES->isChecked()) {
        for (int row = 1; row < table.rowCount(); ++row)
            if (!table.cell(row, 0).empty()) rows.push_back(row);
    } else if (m_row >= 1) {
        if (m_row < table.rowCount() && table.cell(m_row, 0) == m_id) rows.push_back(m_row);
        else m_engine.log().append(kRowChangedPrefix + QString::fromStdString(m_id));
    }
    // A running operation keeps the table: the window stays open with the key for a second try.
    if (!rows.empty() && !meters.setKeyCells(rows, key)) return;
    hide();
}

void TEnterAES::BitBtn2Click() { hide(); }

} // namespace veltro
