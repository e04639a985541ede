#pragma once

#include <QChar>
#include <QString>

namespace mk {

// The working of the pocket calculator: its display register, sign flag,
// entry state, pending operator and stored operand. Keys are characters:
// digits, '.', '\b' (backspace), '_' (switch sign), 'C' (clear), the
// operators '+', '-', '*', '/', '%', '=' and '\r' (Enter, like '=').
class TCalcRegister
{
public:
    enum State { Shown = 0, Typing = 1, Failed = 2 };
    static constexpr int MaxEntry = 15;

    // Letters are upper-cased; in the error state every key but 'C' is ignored.
    void press(QChar key);

    // The register, preceded by "-" when the sign flag is set.
    QString display() const;
    QString registerText() const { return m_register; }
    bool negative() const { return m_sign; }
    State state() const { return m_state; }

    static bool isKey(QChar key);

private:
    void clear();
    void startEntry();
    void applyOperator(QChar key);
    void showResult(double value);
    double registerValue() const;

    QString m_register = QStringLiteral("0");
    bool m_sign = false;
    State m_state = Shown;
    QChar m_pending = QLatin1Char('=');
    double m_stored = 0;
};

} // namespace mk
