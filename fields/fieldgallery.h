#pragma once

#include <QWidget>

namespace mk {

class TCalcEdit;
class TClickEdit;
class TCurrencyEdit;
class TDateEdit;

// A window that shows every field editor in its states, for looking at the
// controls (debug builds and the screenshot test).
class TFieldGallery : public QWidget
{
    Q_OBJECT

public:
    explicit TFieldGallery(QWidget* parent = nullptr);

    TDateEdit* dateEdit() const { return m_date; }
    TCurrencyEdit* bottlesEdit() const { return m_bottles; }
    TCurrencyEdit* costEdit() const { return m_cost; }
    TCalcEdit* totalEdit() const { return m_total; }

private:
    TDateEdit* m_date = nullptr;
    TCurrencyEdit* m_bottles = nullptr;
    TCurrencyEdit* m_cost = nullptr;
    TCalcEdit* m_total = nullptr;
};

} // namespace mk
