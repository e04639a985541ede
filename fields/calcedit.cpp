#include "fields/calcedit.h"

#include "platform/locale.h"

#include <QComboBox>

namespace mk {

namespace {
CurrencyColors& currentColors()
{
    static CurrencyColors colors;
    return colors;
}
} // namespace

CurrencyColors CurrencyColors::current()
{
    return currentColors();
}

void CurrencyColors::setCurrent(const CurrencyColors& colors)
{
    currentColors() = colors;
}

TCalcEdit::TCalcEdit(QWidget* parent)
    : QLineEdit(parent)
{
    setReadOnly(true);
    setFocusPolicy(Qt::ClickFocus);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Setting up does not evaluate anything until the field is complete.
    m_recalculating = true;
    setEmptyText(QStringLiteral("0.0"));
    connect(this, &QLineEdit::textChanged, this, &TCalcEdit::ownTextChanged);
    m_recalculating = false;
    recalculate();
}

void TCalcEdit::setFormula(const QString& formula)
{
    m_formula = formula;
    recalculate();
}

QWidget* TCalcEdit::field(int index) const
{
    return index >= 1 && index <= 3 ? m_fields[index - 1].data() : nullptr;
}

void TCalcEdit::setField(int index, QWidget* control)
{
    if (index < 1 || index > 3)
        return;
    QObject::disconnect(m_links[index - 1]);
    m_fields[index - 1] = nullptr;
    // The control keeps its own change handlers; the recalculation is added.
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        m_fields[index - 1] = edit;
        m_links[index - 1] = connect(edit, &QLineEdit::textChanged, this, &TCalcEdit::recalculate);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        m_fields[index - 1] = combo;
        m_links[index - 1] = connect(combo, &QComboBox::currentTextChanged, this, &TCalcEdit::recalculate);
    }
    recalculate();
}

void TCalcEdit::setEmptyText(const QString& text)
{
    QString t = text;
    const qsizetype dot = t.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        t[dot] = Locale::current().decimalSeparator;
    m_emptyText = t;
    recalculate();
}

void TCalcEdit::setErrorText(const QString& text)
{
    m_errorText = text;
    recalculate();
}

void TCalcEdit::setDecimals(int decimals)
{
    m_decimals = qBound(0, decimals, 18);
    recalculate();
}

QString TCalcEdit::fieldText() const
{
    return text() == m_emptyText ? QString() : text();
}

bool TCalcEdit::fieldValue(int index, double& value) const
{
    const QWidget* control = field(index);
    if (!control)
        return false;
    QString t;
    if (auto* edit = qobject_cast<const QLineEdit*>(control))
        t = edit->text();
    else if (auto* combo = qobject_cast<const QComboBox*>(control))
        t = combo->currentText();
    if (t.isEmpty())
        t = QStringLiteral("0");
    value = parseLooseNumber(t).value_or(0);
    return true;
}

bool TCalcEdit::readOperand(qsizetype& pos, double& value) const
{
    const QString& f = m_formula;
    if (pos >= f.size())
        return false;
    if (f.at(pos) == QLatin1Char('@')) {
        if (pos + 1 >= f.size())
            return false;
        const int index = f.at(pos + 1).digitValue();
        pos += 2;
        return index >= 1 && index <= 3 && fieldValue(index, value);
    }
    const QChar first = f.at(pos);
    if (!first.isDigit() && first != QLatin1Char('.') && first != QLatin1Char('~'))
        return false;
    QString number(first == QLatin1Char('~') ? QLatin1Char('-') : first);
    ++pos;
    while (pos < f.size() && (f.at(pos).isDigit() || f.at(pos) == QLatin1Char('.')))
        number.append(f.at(pos++));
    // '.' in a formula is the decimal point whatever the locale.
    bool ok = false;
    value = number.toDouble(&ok);
    return ok;
}

void TCalcEdit::recalculate()
{
    if (m_recalculating)
        return;
    m_recalculating = true;
    double result = 0;
    bool error = false;
    if (!m_formula.isEmpty()) {
        qsizetype pos = 0;
        error = !readOperand(pos, result);
        while (pos < m_formula.size() && !error) {
            const QChar op = m_formula.at(pos++);
            double operand = 0;
            if (!readOperand(pos, operand)) {
                error = true;
                break;
            }
            if (op == QLatin1Char('+'))
                result += operand;
            else if (op == QLatin1Char('-'))
                result -= operand;
            else if (op == QLatin1Char('*'))
                result *= operand;
            else if (op == QLatin1Char('/') && operand != 0)
                result /= operand;
            else
                error = true; // an unknown operator or a division by zero
        }
    }
    m_negative = false;
    m_error = error;
    m_result = error ? 0 : result;
    if (error) {
        setText(m_errorText);
    } else if (result != 0) {
        m_negative = result < 0;
        setText(formatNumber(result, m_decimals));
    } else {
        setText(m_emptyText);
    }
    applyColors();
    m_recalculating = false;
}

void TCalcEdit::ownTextChanged()
{
    // A text set from outside is replaced by the formula's result.
    if (!m_recalculating)
        recalculate();
    applyColors();
}

void TCalcEdit::applyColors()
{
    const CurrencyColors colors = CurrencyColors::current();
    QPalette pal = palette();
    const QColor text = m_negative ? colors.negative : colors.positive;
    pal.setColor(QPalette::Active, QPalette::Text, text);
    pal.setColor(QPalette::Inactive, QPalette::Text, text);
    pal.setColor(QPalette::Base, colors.background);
    setPalette(pal);
}

} // namespace mk
