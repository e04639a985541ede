#pragma once

#include "fields/mybtnedit.h"

#include <QColor>

namespace mk {

// A numeric field: keeps a number, shows it through a display format with
// thousands separators, coloured by its sign, and opens a pocket calculator
// from its button.
class TCurrencyEdit : public TMyBtnEdit
{
    Q_OBJECT

public:
    explicit TCurrencyEdit(QWidget* parent = nullptr);

    double Value() const { return m_value; }
    void setValue(double value);

    // A picture such as ",0" or ",0.00" (at most 20 characters).
    QString DisplayFormat() const { return m_displayFormat; }
    void setDisplayFormat(const QString& format);

    QColor PlusColor() const { return m_plusColor; }
    void setPlusColor(const QColor& colour);
    QColor NegColor() const { return m_negColor; }
    void setNegColor(const QColor& colour);
    QColor BackgroundColor() const;
    void setBackgroundColor(const QColor& colour);
    // The colour the text is drawn in now.
    QColor textColor() const;

    // Reads the text into Value and shows it formatted (after the record form
    // put a text into the control, and on leaving it). False when the text
    // did not read as a number: the old value is shown again.
    bool parseAndFormat();

    // Opens the calculator; returns its dialog result.
    int showCalculator();
    void ButtonClick() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool parseText();
    void formatText();
    void setTextColor(const QColor& colour);

    double m_value = 0;
    QString m_displayFormat = QStringLiteral(",0.00");
    QColor m_plusColor = QColor(0, 0, 255);
    QColor m_negColor = QColor(255, 0, 0);
};

} // namespace mk
