#include "fields/mybtnedit.h"

#include "fields/editbutton.h"
#include "platform/prompt.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QStyle>
#include <QStyleOptionFrame>

namespace mk {

TMyBtnEdit::TMyBtnEdit(QWidget* parent)
    : QLineEdit(parent)
    , m_button(new TEditButton(this))
{
    connect(m_button, &QAbstractButton::clicked, this, [this] { ButtonClick(); });
    updateButtonGeometry();
}

TMyBtnEdit::~TMyBtnEdit() = default;

void TMyBtnEdit::setButtonVisible(bool visible)
{
    if (m_buttonVisible == visible)
        return;
    m_buttonVisible = visible;
    updateButtonGeometry();
}

void TMyBtnEdit::setAlignment(Qt::Alignment alignment)
{
    QLineEdit::setAlignment(alignment);
    updateButtonGeometry();
}

void TMyBtnEdit::setStayEnabled(bool stay)
{
    m_stayEnabled = stay;
    if (!stay && m_locked) {
        // Without the flag a locked control is simply disabled.
        setLocked(false);
        setEnabled(false);
    }
}

void TMyBtnEdit::setLocked(bool locked)
{
    if (locked == m_locked)
        return;
    if (locked) {
        m_readOnlyBeforeLock = isReadOnly();
        m_locked = true;
        setReadOnly(true);
    } else {
        m_locked = false;
        setReadOnly(m_readOnlyBeforeLock);
    }
    m_button->update();
}

void TMyBtnEdit::setEnabled(bool enabled)
{
    if (enabled && m_locked)
        setLocked(false);
    QLineEdit::setEnabled(enabled);
}

void setFieldEnabled(QWidget* control, bool enabled)
{
    if (auto* edit = qobject_cast<TMyBtnEdit*>(control))
        edit->setEnabled(enabled);
    else if (control)
        control->setEnabled(enabled);
}

void TMyBtnEdit::ButtonClick() {}

bool TMyBtnEdit::IsValidChar(QChar c) const
{
    return c != QLatin1Char('\r') && c != QLatin1Char('\n');
}

int TMyBtnEdit::minimumHeight() const
{
    // Four border heights, the font height and a quarter of the smaller of
    // the font height and the system font height.
    const int fontHeight = QFontMetrics(font()).height();
    const int systemHeight = QFontMetrics(QApplication::font()).height();
    const int border = qMax(1, style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) / 2);
    return 4 * border + fontHeight + qMin(fontHeight, systemHeight) / 4;
}

QSize TMyBtnEdit::sizeHint() const
{
    QSize size = QLineEdit::sizeHint();
    size.setHeight(qMax(size.height(), minimumHeight()));
    return size;
}

QSize TMyBtnEdit::minimumSizeHint() const
{
    QSize size = QLineEdit::minimumSizeHint();
    size.setHeight(qMax(size.height(), minimumHeight()));
    if (m_buttonVisible)
        size.setWidth(qMax(size.width(), TEditButton::ButtonWidth + 8));
    return size;
}

void TMyBtnEdit::updateButtonGeometry()
{
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    m_button->setGeometry(contents.right() + 1 - TEditButton::ButtonWidth, contents.top(), TEditButton::ButtonWidth,
                          contents.height());
    m_button->setVisible(m_buttonVisible);
    setTextMargins(0, 0, m_buttonVisible ? TEditButton::ButtonWidth + 1 : 0, 0);
}

void TMyBtnEdit::changeEvent(QEvent* event)
{
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::EnabledChange && !m_inEnableChange) {
        setLocked(false);
        if (!isEnabled() && m_stayEnabled) {
            m_inEnableChange = true;
            setEnabled(true);
            m_inEnableChange = false;
            setLocked(true);
        }
        m_button->update();
    } else if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        updateButtonGeometry();
    }
}

void TMyBtnEdit::resizeEvent(QResizeEvent* event)
{
    QLineEdit::resizeEvent(event);
    updateButtonGeometry();
}

void TMyBtnEdit::showEvent(QShowEvent* event)
{
    QLineEdit::showEvent(event);
    updateButtonGeometry();
}

void TMyBtnEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    // A mouse click places the caret itself.
    if (event->reason() == Qt::MouseFocusReason || event->reason() == Qt::PopupFocusReason ||
        event->reason() == Qt::ActiveWindowFocusReason)
        return;
    if (m_autoSelect)
        selectAll();
    else
        setCursorPosition(0);
}

bool TMyBtnEdit::isHarmlessKey(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::SelectAll))
        return true;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F1:
        return true;
    default:
        return false;
    }
}

void TMyBtnEdit::keyPressEvent(QKeyEvent* event)
{
    if (m_locked && !isHarmlessKey(event)) {
        event->accept();
        return;
    }
    const QString text = event->text();
    const bool typed = !text.isEmpty() && text.at(0).isPrint() &&
                       !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (typed) {
        for (const QChar c : text) {
            if (!IsValidChar(c)) {
                beep();
                event->accept();
                return;
            }
        }
    }
    QLineEdit::keyPressEvent(event);
}

void TMyBtnEdit::contextMenuEvent(QContextMenuEvent* event)
{
    if (m_popupMenu) {
        // The own menu is switched off while locked.
        if (!m_locked)
            m_popupMenu->exec(event->globalPos());
        event->accept();
        return;
    }
    QLineEdit::contextMenuEvent(event);
}

TClickEdit::TClickEdit(QWidget* parent)
    : TMyBtnEdit(parent)
{
    setAutoSelect(false);
}

QString TClickEdit::ButtonHint() const
{
    return button()->toolTip();
}

void TClickEdit::setButtonHint(const QString& hint)
{
    button()->setToolTip(hint);
}

void TClickEdit::ButtonClick()
{
    emit BtnClick();
}

} // namespace mk
