#include "fields/fieldgallery.h"

#include "fields/calcedit.h"
#include "fields/currencyedit.h"
#include "fields/dateedit.h"
#include "fields/mybtnedit.h"
#include "platform/dates.h"

#include <QFormLayout>
#include <QLabel>

namespace mk {

TFieldGallery::TFieldGallery(QWidget* parent)
    : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Field editors"));
    auto* form = new QFormLayout(this);
    auto add = [form](const QString& caption, QWidget* w) {
        w->setMinimumWidth(160);
        form->addRow(caption, w);
    };

    auto* click = new TClickEdit(this);
    click->setText(QStringLiteral("wine@example.com"));
    click->setButtonHint(QStringLiteral("Click here"));
    add(QStringLiteral("Edit with button:"), click);
    auto* noButton = new TClickEdit(this);
    noButton->setText(QStringLiteral("No button"));
    noButton->setButtonVisible(false);
    add(QStringLiteral("Button hidden:"), noButton);
    auto* disabled = new TClickEdit(this);
    disabled->setText(QStringLiteral("Disabled"));
    disabled->setEnabled(false);
    add(QStringLiteral("Disabled:"), disabled);

    m_date = new TDateEdit(this);
    m_date->setDateFormat(QStringLiteral("mm/dd/yyyy"));
    add(QStringLiteral("Date (empty):"), m_date);
    auto* date = new TDateEdit(this);
    date->setDateFormat(QStringLiteral("mm/dd/yyyy"));
    date->setDate(QStringLiteral("12/31/1999"));
    add(QStringLiteral("Date:"), date);
    auto* ymd = new TDateEdit(this);
    ymd->setDateFormat(QStringLiteral("yyyy/mm/dd"));
    ymd->setDateValue(toDateValue(QDate(2001, 2, 3)));
    add(QStringLiteral("Date (YYYYMMDD):"), ymd);
    auto* year = new TDateEdit(this);
    year->setDateFormat(QStringLiteral("yyyy"));
    year->setDateValue(toDateValue(QDate(2001, 1, 1)));
    add(QStringLiteral("Date (YYYY):"), year);
    auto* locked = new TDateEdit(this);
    locked->setDateFormat(QStringLiteral("mm/dd/yyyy"));
    locked->setDate(QStringLiteral("03/15/2000"));
    locked->setEnabled(false);
    add(QStringLiteral("Date (locked):"), locked);

    m_bottles = new TCurrencyEdit(this);
    m_bottles->setDisplayFormat(QStringLiteral(",0"));
    m_bottles->setValue(3);
    add(QStringLiteral("Bottles:"), m_bottles);
    m_cost = new TCurrencyEdit(this);
    m_cost->setValue(1234.5);
    add(QStringLiteral("Cost:"), m_cost);
    auto* negative = new TCurrencyEdit(this);
    negative->setValue(-12);
    add(QStringLiteral("Negative:"), negative);
    m_total = new TCalcEdit(this);
    m_total->setEmptyText(QStringLiteral("0.00"));
    m_total->setField1(m_bottles);
    m_total->setField2(m_cost);
    m_total->setFormula(QStringLiteral("@1*@2"));
    add(QStringLiteral("Total:"), m_total);
    auto* error = new TCalcEdit(this);
    error->setFormula(QStringLiteral("@1*@2"));
    add(QStringLiteral("Calculated (no fields):"), error);
}

} // namespace mk
