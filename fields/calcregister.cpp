#include "fields/calcregister.h"

#include <cmath>

namespace mk {

bool TCalcRegister::isKey(QChar key)
{
    return key.isDigit() || QStringLiteral(".\b_C+-*/%=\r").contains(key.toUpper());
}

void TCalcRegister::press(QChar key)
{
    key = key.toUpper();
    if (m_state == Failed && key != QLatin1Char('C'))
        return;
    if (key == QLatin1Char('C')) {
        clear();
    } else if (key >= QLatin1Char('0') && key <= QLatin1Char('9')) {
        startEntry();
        if (m_register == QLatin1String("0"))
            m_register.clear();
        if (m_register.size() < MaxEntry)
            m_register.append(key);
    } else if (key == QLatin1Char('.')) {
        startEntry();
        if (!m_register.contains(QLatin1Char('.')) && m_register.size() < MaxEntry)
            m_register.append(key);
    } else if (key == QLatin1Char('\b')) {
        startEntry();
        if (m_register.size() <= 1)
            m_register = QStringLiteral("0");
        else
            m_register.chop(1);
    } else if (key == QLatin1Char('_')) {
        m_sign = !m_sign;
    } else if (QStringLiteral("+-*/%=\r").contains(key)) {
        applyOperator(key);
    }
}

void TCalcRegister::clear()
{
    m_state = Shown;
    m_register = QStringLiteral("0");
    m_sign = false;
    m_pending = QLatin1Char('=');
    m_stored = 0;
}

void TCalcRegister::startEntry()
{
    if (m_state == Shown) {
        m_state = Typing;
        m_register = QStringLiteral("0");
        m_sign = false;
    }
}

double TCalcRegister::registerValue() const
{
    const double value = m_register.toDouble();
    return m_sign ? -value : value;
}

void TCalcRegister::applyOperator(QChar key)
{
    if (m_state == Typing) {
        m_state = Shown;
        double current = registerValue();
        const QChar op = m_pending;
        if (key == QLatin1Char('%')) {
            if (op == QLatin1Char('*') || op == QLatin1Char('/'))
                current = current * 0.01;
            else if (op == QLatin1Char('+') || op == QLatin1Char('-'))
                current = m_stored * current * 0.01;
        }
        double result = current;
        bool failed = false;
        if (op == QLatin1Char('*')) {
            result = m_stored * current;
        } else if (op == QLatin1Char('+')) {
            result = m_stored + current;
        } else if (op == QLatin1Char('-')) {
            result = m_stored - current;
        } else if (op == QLatin1Char('/')) {
            if (current == 0)
                failed = true;
            else
                result = m_stored / current;
        }
        if (failed) {
            m_state = Failed;
            m_register = QStringLiteral("Error");
            m_sign = false;
        } else {
            showResult(result);
        }
    }
    m_pending = key;
    m_stored = m_state == Failed ? 0 : registerValue();
}

void TCalcRegister::showResult(double value)
{
    QString text;
    if (qIsFinite(value) && std::fabs(value) >= 1e15) {
        // Beyond 15 digits a double has no more exact digits to show: write
        // its 15 significant digits and fill the rest with zeros.
        const QString e = QString::number(value, 'e', 14); // "-d.ddddddddddddddde+XX"
        const qsizetype ePos = e.indexOf(QLatin1Char('e'));
        const int exponent = e.mid(ePos + 1).toInt();
        QString digits = e.left(ePos);
        const bool minus = digits.startsWith(QLatin1Char('-'));
        if (minus)
            digits.remove(0, 1);
        digits.remove(QLatin1Char('.'));
        text = (minus ? QStringLiteral("-") : QString()) + digits + QString(exponent - 14, QLatin1Char('0')) +
               QStringLiteral(".0000000000");
    } else {
        text = QString::number(value, 'f', 10);
    }
    m_sign = false;
    if (text.startsWith(QLatin1Char('-'))) {
        m_sign = true;
        text.remove(0, 1);
    }
    while (text.endsWith(QLatin1Char('0')) && text.contains(QLatin1Char('.')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (text.size() >= 27 || !qIsFinite(value)) {
        m_state = Failed;
        m_register = QStringLiteral("Error");
        m_sign = false;
        return;
    }
    // A result that rounds to zero shows no sign.
    if (text == QLatin1String("0"))
        m_sign = false;
    m_register = text;
}

QString TCalcRegister::display() const
{
    return m_sign ? QLatin1Char('-') + m_register : m_register;
}

} // namespace mk
