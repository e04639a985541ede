#pragma once

#include <QDate>
#include <QDialog>
#include <QPointer>

#include <memory>

namespace Ui {
class TfrmCalPop;
}

namespace mk {

class TDateEdit;

// The calendar popup of a date field: a borderless month sheet below the
// field. Enter or a click on a day writes the selected date into the field
// (unless it is locked) and closes with OK; TodayBtn closes with TodayResult
// (the field then takes today's date), Esc and CancelBtn with Rejected.
class TfrmCalPop : public QDialog
{
    Q_OBJECT

public:
    enum Result { CancelResult = QDialog::Rejected, OkResult = QDialog::Accepted, TodayResult = 2 };

    explicit TfrmCalPop(TDateEdit* edit);
    ~TfrmCalPop() override;

    QDate selectedDate() const { return m_date; }
    void setSelectedDate(const QDate& date);
    // The cell (1..42) of the selected day, and the one before the last move.
    int selectedCell() const { return m_cell; }
    int previousCell() const { return m_previousCell; }
    // The day shown in a cell, or 0 for a cell outside the month.
    int dayInCell(int cell) const;

    // Geometry, in the form's coordinates.
    int cellUnit() const { return m_unit; }
    int rowHeight() const { return m_rowHeight; }
    QRect cellRect(int cell) const;
    QRect leftArrowRect() const;
    QRect rightArrowRect() const;
    // The cell under a point of a week row, or 0.
    int cellAt(const QPoint& pos) const;
    // Where the form goes for its edit on a screen of the given geometry.
    QPoint placement(const QRect& screen) const;

    // Moves the selection by a number of days (arrows: 1 and 7).
    void moveBy(int days);
    void pageUp();
    void pageDown();
    void yearForward();
    void yearBack();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void layoutForm();
    void fillCaptions();
    void selectDate(const QDate& date);
    void chooseAndClose();
    QFont calendarFont(bool bold) const;

    std::unique_ptr<Ui::TfrmCalPop> m_ui;
    QPointer<TDateEdit> m_edit;
    QDate m_date;
    int m_cell = 0;
    int m_previousCell = 0;
    int m_days[42] = {};
    bool m_tracking = false;
    int m_unit = 10;
    int m_rowHeight = 16;
};

} // namespace mk
