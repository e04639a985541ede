#include "fields/currencyedit.h"

#include "fields/calcdlg.h"
#include "fields/editbutton.h"
#include "platform/help.h"
#include "platform/locale.h"
#include "platform/prompt.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace mk {

TCurrencyEdit::TCurrencyEdit(QWidget* parent)
    : TMyBtnEdit(parent)
{
    resize(120, 22);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    button()->setToolTip(QStringLiteral("Click here to display a Calculator"));
    setToolTip(QStringLiteral("Numeric Field - Enter Number Here"));
    setHelpContext(HelpContext::Fields);
    formatText();
}

void TCurrencyEdit::setValue(double value)
{
    if (value == m_value && !text().isEmpty())
        return;
    m_value = value;
    formatText();
}

void TCurrencyEdit::setDisplayFormat(const QString& format)
{
    const QString cut = format.left(20);
    if (cut == m_displayFormat)
        return;
    m_displayFormat = cut;
    formatText();
}

void TCurrencyEdit::setPlusColor(const QColor& colour)
{
    m_plusColor = colour;
    formatText();
}

void TCurrencyEdit::setNegColor(const QColor& colour)
{
    m_negColor = colour;
    formatText();
}

QColor TCurrencyEdit::BackgroundColor() const
{
    return palette().color(QPalette::Base);
}

void TCurrencyEdit::setBackgroundColor(const QColor& colour)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Base, colour);
    setPalette(pal);
}

QColor TCurrencyEdit::textColor() const
{
    return palette().color(QPalette::Text);
}

void TCurrencyEdit::setTextColor(const QColor& colour)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Active, QPalette::Text, colour);
    pal.setColor(QPalette::Inactive, QPalette::Text, colour);
    setPalette(pal);
}

bool TCurrencyEdit::parseText()
{
    const QString t = text();
    const std::optional<double> read = parseLooseNumber(t);
    if (!read) {
        beep(BeepKind::Information);
        return false;
    }
    double value = *read;
    if (t.contains(QLatin1Char('-')) || t.contains(QLatin1Char('(')))
        value = -value;
    m_value = value;
    return true;
}

void TCurrencyEdit::formatText()
{
    // The colour follows the sign of the value shown.
    setTextColor(m_value < 0 ? m_negColor : m_plusColor);
    QLineEdit::setText(formatPicture(m_value, m_displayFormat));
}

bool TCurrencyEdit::parseAndFormat()
{
    const bool ok = parseText();
    formatText();
    return ok;
}

void TCurrencyEdit::keyPressEvent(QKeyEvent* event)
{
    const QString t = event->text();
    const bool typed = !t.isEmpty() && t.at(0).isPrint() &&
                       !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (typed) {
        const QChar decimal = Locale::current().decimalSeparator;
        for (const QChar c : t) {
            if (!(c.isDigit() && c.unicode() < 128) && c != QLatin1Char('-') && c != decimal) {
                // Dropped silently.
                event->accept();
                return;
            }
        }
    }
    TMyBtnEdit::keyPressEvent(event);
}

void TCurrencyEdit::focusOutEvent(QFocusEvent* event)
{
    TMyBtnEdit::focusOutEvent(event);
    if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason)
        return;
    parseAndFormat();
}

int TCurrencyEdit::showCalculator()
{
    const QString before = text();
    TCalcDlg calculator(this);
    setTextColor(QColor(0, 0, 0));
    connect(&calculator, &TCalcDlg::displayChanged, this,
            [this](const QString& display) { QLineEdit::setText(display); });
    const int result = calculator.exec();
    if (result == QDialog::Accepted) {
        QString t = text();
        t.replace(QLatin1Char('.'), Locale::current().decimalSeparator);
        QLineEdit::setText(t);
    } else {
        QLineEdit::setText(before);
    }
    setFocus(Qt::OtherFocusReason);
    parseAndFormat();
    return result;
}

void TCurrencyEdit::ButtonClick()
{
    showCalculator();
}

} // namespace mk
