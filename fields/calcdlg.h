#pragma once

#include "fields/calcregister.h"

#include <QDialog>
#include <QPointer>

#include <memory>

namespace Ui {
class TCalcDlg;
}

namespace mk {

// The pocket calculator of numeric fields: a borderless keypad without a
// display of its own; it reports its display after every key (the numeric
// field shows it). Typed keys and the buttons go through the same handler;
// Enter computes and closes with OK, Esc closes with Cancel.
class TCalcDlg : public QDialog
{
    Q_OBJECT

public:
    // anchor: the control the calculator is placed under (may be null).
    explicit TCalcDlg(QWidget* anchor = nullptr);
    ~TCalcDlg() override;

    void pressKey(QChar key);
    QString display() const { return m_register.display(); }
    const TCalcRegister& calcRegister() const { return m_register; }
    // Where the calculator goes on a screen of the given geometry.
    QPoint placement(const QRect& screen) const;

signals:
    void displayChanged(const QString& display);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool handleKey(QKeyEvent* event);

    std::unique_ptr<Ui::TCalcDlg> m_ui;
    QPointer<QWidget> m_anchor;
    TCalcRegister m_register;
    bool m_cleared = false;
};

} // namespace mk
