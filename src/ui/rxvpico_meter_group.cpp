#include "ui/rxvpico_meter_group.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTableWidget>

#include "devices/rxvpico.h"
#include "devices/rxvpico_engine.h"
#include "ui/key_filter.h"
#include "ui/named_widgets.h"

namespace veltro {
namespace {

QString FromView(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QLineEdit* NamedField(const char* name, int characters, const QString& extraKeys, QWidget* parent) {
    auto* field = Named(new QLineEdit(parent), name);
    field->setMaxLength(characters);
    KeyFilter::Install(*field, extraKeys);
    // Room for a full field of hex digits.
    const QString sample = QStringLiteral("0123456789ABCDEF").repeated(2).left(characters);
    field->setMinimumWidth(field->fontMetrics().horizontalAdvance(sample) + 12);
    return field;
}

QSpinBox* NamedPosition(const char* name, QWidget* parent) {
    QSpinBox* spin = NamedSpinBox(name, 1, kPicoFilterPositions, parent);
    spin->setValue(1);
    spin->setToolTip(QStringLiteral("Position 1..8"));
    return spin;
}

QString FilterTitle(std::optional<PicoFilter> filter) {
    if (!filter) return QStringLiteral("Filter");
    switch (*filter) {
    case PicoFilter::Id:
        return QStringLiteral("ID");
    case PicoFilter::Manufacturer:
        return QStringLiteral("Manufacturer");
    case PicoFilter::Medium:
        return QStringLiteral("Medium");
    }
    return QStringLiteral("Filter");
}

} // namespace

RxvpicoMeterGroup::RxvpicoMeterGroup(RxvpicoEngine& engine, QWidget* parent)
    : QGroupBox(QStringLiteral("   RXVpico single meter settings   "), parent), m_engine(engine) {
    setObjectName(QStringLiteral("Group_picoMeter"));
    auto* layout = new QHBoxLayout(this);

    auto* meter = new QGridLayout;
    meter->addWidget(NamedLabel("Label_picoMeter", QStringLiteral("Meter ID:"), this), 0, 0);
    Edit_IDpico = NamedField("Edit_IDpico", static_cast<int>(kPicoIdLength), {}, this);
    meter->addWidget(Edit_IDpico, 0, 1);
    Check_deleteAll = NamedCheckBox("Check_deleteAll", QStringLiteral("All"), this);
    meter->addWidget(Check_deleteAll, 0, 2);
    auto* BitBtn42 = NamedButton("BitBtn42", QStringLiteral("Add"), this);
    auto* BitBtn43 = NamedButton("BitBtn43", QStringLiteral("Delete"), this);
    meter->addWidget(BitBtn42, 0, 3);
    meter->addWidget(BitBtn43, 0, 4);
    meter->addWidget(NamedLabel("Label_picoKey", QStringLiteral("AES-128 key:"), this), 1, 0);
    Edit_aesKey = NamedField("Edit_aesKey", static_cast<int>(kPicoKeyLength), QStringLiteral("ABCDEF"), this);
    meter->addWidget(Edit_aesKey, 1, 1, 1, 4);
    auto* Butt_setAES = NamedButton("Butt_setAES", QStringLiteral("Set AES key"), this);
    auto* Butt_readAES = NamedButton("Butt_readAES", QStringLiteral("Read AES key"), this);
    meter->addWidget(Butt_setAES, 2, 1, 1, 2);
    meter->addWidget(Butt_readAES, 2, 3, 1, 2);
    meter->addWidget(NamedLabel("Label_rxvFlags", QStringLiteral("Flag:"), this), 3, 0);
    Combo_rxvFlags = Named(new QComboBox(this), "Combo_rxvFlags");
    for (const PicoFlag& flag : kPicoFlags) Combo_rxvFlags->addItem(FromView(flag.item));
    meter->addWidget(Combo_rxvFlags, 3, 1, 1, 4);
    Check_picoFlag = NamedCheckBox("Check_picoFlag", QStringLiteral("Set/Clear Flag"), this);
    auto* BitBtn44 = NamedButton("BitBtn44", QStringLiteral("Send flag"), this);
    meter->addWidget(Check_picoFlag, 4, 1, 1, 2);
    meter->addWidget(BitBtn44, 4, 3, 1, 2);
    meter->setRowStretch(5, 1);
    layout->addLayout(meter);
    layout->addWidget(buildFilters(), 1);

    connect(BitBtn42, &QPushButton::clicked, this, &RxvpicoMeterGroup::BitBtn42Click);
    connect(BitBtn43, &QPushButton::clicked, this, &RxvpicoMeterGroup::BitBtn43Click);
    connect(BitBtn44, &QPushButton::clicked, this, &RxvpicoMeterGroup::BitBtn44Click);
    connect(Butt_setAES, &QPushButton::clicked, this, &RxvpicoMeterGroup::Butt_setAESClick);
    connect(Butt_readAES, &QPushButton::clicked, this, &RxvpicoMeterGroup::Butt_readAESClick);
    connect(&m_engine, &RxvpicoEngine::allChanged, this, &RxvpicoMeterGroup::setAll);
    connect(&m_engine, &RxvpicoEngine::keyRead, Edit_aesKey, &QLineEdit::setText);
    connect(&m_engine, &RxvpicoEngine::filtersChanged, this, &RxvpicoMeterGroup::showFilters);
    showFilters();
}

QWidget* RxvpicoMeterGroup::buildFilters() {
    auto* group = Named(new QGroupBox(QStringLiteral("Filters in RXVpico"), this), "Group_picoFilters");
    auto* layout = new QHBoxLayout(group);
    auto* rows = new QGridLayout;
    layout->addLayout(rows);
    // One line per filter table: its value, the position it goes to, save and read.
    auto line = [&](int row, const char* labelName, const QString& caption, QWidget* value, QSpinBox* position,
                    QPushButton* save, QPushButton* read) {
        rows->addWidget(NamedLabel(labelName, caption, group), row, 0);
        rows->addWidget(value, row, 1);
        rows->addWidget(position, row, 2);
        rows->addWidget(save, row, 3);
        rows->addWidget(read, row, 4);
    };
    auto button = [group](const char* name, const QString& caption, const QString& hint) {
        QPushButton* b = NamedButton(name, caption, group);
        b->setToolTip(hint);
        return b;
    };
    const QString saveHint = QStringLiteral("Save in RXVpico");
    Edit_filterID = NamedField("Edit_filterID", static_cast<int>(kPicoIdLength), QStringLiteral("F"), group);
    UD_filterID = NamedPosition("UD_filterID", group);
    auto* BitBtn47 = button("BitBtn47", QStringLiteral("Save"), saveHint);
    auto* BitBtn49 = button("BitBtn49", QStringLiteral("Read"), QStringLiteral("Read ID filter"));
    line(0, "Label_filterID", QStringLiteral("ID:"), Edit_filterID, UD_filterID, BitBtn47, BitBtn49);

    Combo_filterManf = Named(new QComboBox(group), "Combo_filterManf");
    Combo_filterManf->setEditable(true);
    Combo_filterManf->setInsertPolicy(QComboBox::NoInsert);
    for (std::string_view item : kPicoManufacturerItems) Combo_filterManf->addItem(FromView(item));
    Combo_filterManf->lineEdit()->setMaxLength(3);
    Combo_filterManf->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[A-Za-z]{0,3}")), Combo_filterManf));
    UD_filterManf = NamedPosition("UD_filterManf", group);
    auto* BitBtn45 = button("BitBtn45", QStringLiteral("Save"), saveHint);
    auto* BitBtn50 = button("BitBtn50", QStringLiteral("Read"), QStringLiteral("Read manufacturer filter"));
    line(1, "Label_filterManf", QStringLiteral("Manufacturer:"), Combo_filterManf, UD_filterManf, BitBtn45, BitBtn50);

    Combo_filterMedium = Named(new QComboBox(group), "Combo_filterMedium");
    for (std::string_view item : kPicoMediumItems) Combo_filterMedium->addItem(FromView(item));
    UD_filterMedium = NamedPosition("UD_filterMedium", group);
    auto* BitBtn46 = button("BitBtn46", QStringLiteral("Save"), saveHint);
    auto* BitBtn48 = button("BitBtn48", QStringLiteral("Read"), QStringLiteral("Read ID filter"));
    line(2, "Label_filterMedium", QStringLiteral("Medium:"), Combo_filterMedium, UD_filterMedium, BitBtn46, BitBtn48);
    rows->setRowStretch(3, 1);
    for (QPushButton* b : {BitBtn45, BitBtn46, BitBtn47, BitBtn48, BitBtn49, BitBtn50})
        b->setMaximumWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("Save")) + 28);

    // Positions 1..8 under a title row; the value column says which table was read last.
    Grid_filters = Named(new QTableWidget(kPicoFilterPositions, 2, group), "Grid_filters");
    Grid_filters->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid_filters->setSelectionMode(QAbstractItemView::NoSelection);
    Grid_filters->setFocusPolicy(Qt::NoFocus);
    Grid_filters->verticalHeader()->hide();
    Grid_filters->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Grid_filters->verticalHeader()->setDefaultSectionSize(Grid_filters->fontMetrics().height() + 2);
    Grid_filters->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Grid_filters->horizontalHeader()->setStretchLastSection(true);
    Grid_filters->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Grid_filters->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int digit = Grid_filters->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    Grid_filters->setColumnWidth(0, digit * 4);
    for (int row = 0; row < kPicoFilterPositions; ++row) {
        Grid_filters->setItem(row, 0, new QTableWidgetItem(QString::number(row + 1)));
        Grid_filters->setItem(row, 1, new QTableWidgetItem);
    }
    Grid_filters->setFixedSize(digit * 4 + Grid_filters->fontMetrics().horizontalAdvance(QStringLiteral("Manufacturer")) + 16,
                               Grid_filters->horizontalHeader()->sizeHint().height() +
                                   kPicoFilterPositions * Grid_filters->verticalHeader()->defaultSectionSize() +
                                   2 * Grid_filters->frameWidth());
    layout->addWidget(Grid_filters);

    connect(BitBtn45, &QPushButton::clicked, this, &RxvpicoMeterGroup::BitBtn45Click);
    connect(BitBtn46, &QPushButton::clicked, this, &RxvpicoMeterGroup::BitBtn46Click);
    connect(BitBtn47, &QPushButton::clicked, this, &RxvpicoMeterGroup::BitBtn47Click);
    connect(BitBtn48, &QPushButton::clicked, this, &RxvpicoMeterGroup::BitBtn48Click);
    connect(BitBtn49, &QPushButton::clicked, this, &RxvpicoMeterGroup::BitBtn49Click);
    connect(BitBtn50, &QPushButton::clicked, this, &RxvpicoMeterGroup::BitBtn50Click);
    return group;
}

void RxvpicoMeterGroup::showMeter(const QString& id, const QString& key) {
    Edit_IDpico->setText(id);
    Edit_aesKey->setText(key);
}

void RxvpicoMeterGroup::setAll(bool all) { Check_deleteAll->setChecked(all); }

void RxvpicoMeterGroup::showFilters() {
    const auto& entries = m_engine.filters();
    Grid_filters->setHorizontalHeaderLabels({QStringLiteral("No."), FilterTitle(m_engine.filtersShown())});
    for (int row = 0; row < kPicoFilterPositions; ++row)
        Grid_filters->item(row, 1)->setText(QString::fromStdString(entries[static_cast<std::size_t>(row)]));
}

// ---- handlers ----------------------------------------------------------------------------------

void RxvpicoMeterGroup::BitBtn42Click() { m_engine.add(Edit_IDpico->text(), Check_deleteAll->isChecked()); }

void RxvpicoMeterGroup::BitBtn43Click() { m_engine.remove(Edit_IDpico->text(), Check_deleteAll->isChecked()); }

void RxvpicoMeterGroup::BitBtn44Click() { m_engine.setFlag(Combo_rxvFlags->currentText(), Check_picoFlag->isChecked()); }

void RxvpicoMeterGroup::Butt_setAESClick() {
    m_engine.setKey(Edit_IDpico->text(), Edit_aesKey->text(), Check_deleteAll->isChecked());
}

void RxvpicoMeterGroup::Butt_readAESClick() { m_engine.readKey(Edit_IDpico->text()); }

void RxvpicoMeterGroup::BitBtn45Click() {
    m_engine.saveFilter(PicoFilter::Manufacturer, UD_filterManf->value(), Combo_filterManf->currentText());
}

void RxvpicoMeterGroup::BitBtn46Click() {
    m_engine.saveFilter(PicoFilter::Medium, UD_filterMedium->value(), Combo_filterMedium->currentText());
}

void RxvpicoMeterGroup::BitBtn47Click() { m_engine.saveFilter(PicoFilter::Id, UD_filterID->value(), Edit_filterID->text()); }

void RxvpicoMeterGroup::BitBtn48Click() { m_engine.readFilter(PicoFilter::Medium); }

void RxvpicoMeterGroup::BitBtn49Click() { m_engine.readFilter(PicoFilter::Id); }

void RxvpicoMeterGroup::BitBtn50Click() { m_engine.readFilter(PicoFilter::Manufacturer); }

} // namespace veltro
