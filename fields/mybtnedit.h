#pragma once

#include <QLineEdit>
#include <QPointer>

#include <QMenu>

namespace mk {

class TEditButton;

// A single-line edit with a small button inside its right edge, the base of
// most field controls. With the stay-enabled flag set, disabling the control
// locks it instead: it stays enabled, its text can be selected and copied and
// its button still works, but its text cannot be changed.
class TMyBtnEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit TMyBtnEdit(QWidget* parent = nullptr);
    ~TMyBtnEdit() override;

    TEditButton* button() const { return m_button; }

    bool ButtonVisible() const { return m_buttonVisible; }
    void setButtonVisible(bool visible);

    Qt::Alignment Alignment() const { return alignment(); }
    void setAlignment(Qt::Alignment alignment);

    bool AutoSelect() const { return m_autoSelect; }
    void setAutoSelect(bool autoSelect) { m_autoSelect = autoSelect; }

    bool stayEnabled() const { return m_stayEnabled; }
    void setStayEnabled(bool stay);
    bool isLocked() const { return m_locked; }
    // Enabling unlocks a locked control; disabling locks it when it stays
    // enabled. QWidget::setEnabled(false) locks as well; to unlock through a
    // QWidget pointer use setFieldEnabled().
    void setEnabled(bool enabled);
    void setLocked(bool locked);

    // The control's own popup menu (not owned); shown on a right click unless
    // locked. Without one the standard edit menu is shown.
    QMenu* popupMenu() const { return m_popupMenu; }
    void setPopupMenu(QMenu* menu) { m_popupMenu = menu; }

    int helpContext() const { return m_helpContext; }
    void setHelpContext(int context) { m_helpContext = context; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // What a click on the button does.
    virtual void ButtonClick();

protected:
    // Characters that may be typed; a rejected one is swallowed with a beep.
    virtual bool IsValidChar(QChar c) const;
    // The height below which the control never goes.
    int minimumHeight() const;
    // Places the button and narrows the text rectangle to leave room for it.
    void updateButtonGeometry();

    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;

    // True for keys that cannot change the text (caret moves, selection, copy).
    static bool isHarmlessKey(QKeyEvent* event);

private:
    TEditButton* m_button = nullptr;
    QPointer<QMenu> m_popupMenu;
    bool m_buttonVisible = true;
    bool m_autoSelect = true;
    bool m_stayEnabled = false;
    bool m_locked = false;
    bool m_readOnlyBeforeLock = false;
    bool m_inEnableChange = false;
    int m_helpContext = 0;
};

// Enables or disables a field control; an edit-with-button that stays
// enabled is locked and unlocked instead.
void setFieldEnabled(QWidget* control, bool enabled);

// An edit-with-button whose button raises BtnClick.
class TClickEdit : public TMyBtnEdit
{
    Q_OBJECT

public:
    explicit TClickEdit(QWidget* parent = nullptr);

    QString ButtonHint() const;
    // An empty hint switches the button's hint off.
    void setButtonHint(const QString& hint);

    void ButtonClick() override;

signals:
    void BtnClick();
};

} // namespace mk
