#pragma once

#include <QColor>
#include <QLineEdit>
#include <QPointer>

namespace mk {

// The colours of numeric fields in the record form's colour scheme:
// currency text for results at or above zero, below zero, and the background.
struct CurrencyColors
{
    QColor positive = QColor(0, 0, 255);
    QColor negative = QColor(255, 0, 0);
    QColor background = QColor(255, 255, 255);

    static CurrencyColors current();
    // Calculated fields pick the new colours up on their next change (or applyColors()).
    static void setCurrent(const CurrencyColors& colors);
};

// A read-only field computed from up to three other fields by a formula such
// as "@1*@2", recalculated whenever one of them changes. The formula is
// evaluated strictly left to right: "@1+@2*@3" is (@1 + @2) * @3.
class TCalcEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit TCalcEdit(QWidget* parent = nullptr);

    QString Formula() const { return m_formula; }
    void setFormula(const QString& formula);

    // The controls "@1" to "@3" refer to; only one-line edits and combo boxes
    // are taken, anything else is ignored. index is 1..3.
    QWidget* field(int index) const;
    void setField(int index, QWidget* control);
    void setField1(QWidget* control) { setField(1, control); }
    void setField2(QWidget* control) { setField(2, control); }
    void setField3(QWidget* control) { setField(3, control); }

    // Shown for a zero result; its last '.' becomes the decimal separator.
    QString EmptyText() const { return m_emptyText; }
    void setEmptyText(const QString& text);
    // Shown when an operand cannot be read.
    QString ErrorText() const { return m_errorText; }
    void setErrorText(const QString& text);
    int Decimals() const { return m_decimals; }
    void setDecimals(int decimals);

    bool negative() const { return m_negative; }
    bool error() const { return m_error; }
    double result() const { return m_result; }

    // The text as the record form reads it: empty while EmptyText is shown.
    QString fieldText() const;
    int textLength() const { return int(fieldText().size()); }

    void recalculate();
    // Colours the text by the sign of the result, from CurrencyColors::current().
    void applyColors();

private:
    bool readOperand(qsizetype& pos, double& value) const;
    bool fieldValue(int index, double& value) const;
    void ownTextChanged();

    QString m_formula;
    QPointer<QWidget> m_fields[3];
    QMetaObject::Connection m_links[3];
    QString m_emptyText;
    QString m_errorText = QStringLiteral("****");
    int m_decimals = 2;
    bool m_negative = false;
    bool m_error = false;
    double m_result = 0;
    bool m_recalculating = false;
};

} // namespace mk
