#pragma once

#include "fields/datemask.h"
#include "fields/mybtnedit.h"

class QAction;
class QMenu;

namespace mk {

// A date field: a fixed-width overtype mask such as "__/__/____" into which
// only digits can be typed, with its own date format, a popup menu and a
// calendar behind its button. Dates are days since 30 December 1899; 0 is
// "no date".
class TDateEdit : public TMyBtnEdit
{
    Q_OBJECT

public:
    explicit TDateEdit(QWidget* parent = nullptr);
    ~TDateEdit() override;

    // The field's date format ("mm/dd/yyyy", "dd/mm/yyyy", "yyyy/mm/dd",
    // "yyyy" or a two-digit-year form); a new one is normalised and the shown
    // date is rewritten in it.
    QString DateFormat() const { return m_format; }
    void setDateFormat(const QString& format);
    // The code 0..3 of the format (two-digit-year forms count as their
    // four-digit counterparts, any other shape as 3).
    int formatCode() const;

    // The mask as shown. A text that does not fit the mask is refused.
    QString Date() const { return m_mask; }
    void setDate(const QString& text);

    // 0 when the mask holds no digit; today when it does not read as a date.
    double dateValue() const;
    void setDateValue(double value);
    bool isEmpty() const;

    int caret() const { return m_caret; }
    int maskLength() const { return m_shape.length; }
    QString undoCopy() const { return m_undo; }

    // Pads the mask and checks it; a mask that is not a date shows
    // "Invalid Date!". Runs when the focus leaves the field.
    bool validate();

    // The field's own popup menu and its items.
    QMenu* menu() const { return m_menu; }
    QAction* undoAction() const { return m_undoAction; }
    QAction* todayAction() const { return m_todayAction; }
    QAction* clearAction() const { return m_clearAction; }
    QAction* formatAction(int code) const;
    // For owners that do not offer font and colour changes.
    void hideFontAndColorItems();
    // Checks the date-format item of the current format (done when the menu opens).
    void updateFormatChecks();

    // Opens the calendar; returns its result (see TfrmCalPop).
    int showCalendar();
    void ButtonClick() override;

signals:
    void OnSetFont(QMenu* menu);
    void OnSetColor(QMenu* menu);
    // After the user picked a date format from the menu; the item's data is its code.
    void OnSetFormat(QAction* item);

protected:
    bool IsValidChar(QChar c) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    void buildMenu();
    void showMask();
    void setMask(const QString& mask);
    void typeDigit(QChar digit);
    void backspace();
    void moveLeft();
    void moveRight();
    void caretFromMouse();
    void clearMask();
    void pickFormat(QAction* item);

    QChar m_separator;
    QString m_format;
    fields::DateMaskShape m_shape;
    QString m_mask;
    QString m_undo;
    int m_caret = 0;
    bool m_validating = false;

    QMenu* m_menu = nullptr;
    QAction* m_undoAction = nullptr;
    QAction* m_todayAction = nullptr;
    QAction* m_clearAction = nullptr;
    QAction* m_fontAction = nullptr;
    QAction* m_colorAction = nullptr;
    QAction* m_formatActions[4] = {};
};

} // namespace mk
