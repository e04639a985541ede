#include "fields/dateedit.h"

#include "fields/calpop.h"
#include "fields/editbutton.h"
#include "platform/dates.h"
#include "platform/help.h"
#include "platform/locale.h"
#include "platform/prompt.h"

#include <QActionGroup>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

namespace mk {

namespace {
const char* const FormatNames[4] = {"MMDDYYYY", "DDMMYYYY", "YYYYMMDD", "YYYY"};

QString startFormat()
{
    const QString format = fields::normaliseDateFormat(Locale::current().shortDateFormat);
    return codeForDateFormat(format) ? format : QStringLiteral("mm/dd/yyyy");
}
} // namespace

TDateEdit::TDateEdit(QWidget* parent)
    : TMyBtnEdit(parent)
    , m_separator(Locale::current().dateSeparator)
    , m_format(startFormat())
    , m_shape(fields::DateMaskShape::forFormat(m_format))
{
    resize(120, 22);
    setMaxLength(10);
    setAutoSelect(false);
    setStayEnabled(true);
    setAcceptDrops(false);
    setDragEnabled(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    button()->setToolTip(QStringLiteral("Click here to display a Calendar"));
    setToolTip(QStringLiteral("Date Field - Enter Date Here"));
    setHelpContext(HelpContext::Fields);
    m_mask = m_shape.emptyMask(m_separator);
    m_undo = m_mask;
    buildMenu();
    showMask();
}

TDateEdit::~TDateEdit() = default;

void TDateEdit::buildMenu()
{
    m_menu = new QMenu(this);
    m_undoAction = m_menu->addAction(QStringLiteral("&Undo"), this, [this] { setDate(m_undo); });
    m_undoAction->setEnabled(false);
    m_todayAction = m_menu->addAction(QStringLiteral("&Today"), this, [this] { setDateValue(todayValue()); });
    m_clearAction = m_menu->addAction(QStringLiteral("&Clear"), this, &TDateEdit::clearMask);
    m_menu->addSeparator();
    m_fontAction = m_menu->addAction(QStringLiteral("&Font..."), this, [this] { emit OnSetFont(m_menu); });
    m_colorAction = m_menu->addAction(QStringLiteral("C&olor..."), this, [this] { emit OnSetColor(m_menu); });
    QMenu* formats = m_menu->addMenu(QStringLiteral("&Date Format"));
    for (int code = 0; code < 4; ++code) {
        QAction* item = formats->addAction(QString::fromLatin1(FormatNames[code]));
        item->setCheckable(true);
        item->setData(code);
        connect(item, &QAction::triggered, this, [this, item] { pickFormat(item); });
        m_formatActions[code] = item;
    }
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("&Help"), this, [this] {
        if (helpContext() != 0)
            showHelp(helpContext());
    });
    connect(m_menu, &QMenu::aboutToShow, this, &TDateEdit::updateFormatChecks);
    setPopupMenu(m_menu);
}

QAction* TDateEdit::formatAction(int code) const
{
    return code >= 0 && code < 4 ? m_formatActions[code] : nullptr;
}

void TDateEdit::hideFontAndColorItems()
{
    m_fontAction->setVisible(false);
    m_colorAction->setVisible(false);
}

int TDateEdit::formatCode() const
{
    return codeForDateFormat(m_format).value_or(3);
}

void TDateEdit::updateFormatChecks()
{
    const int current = formatCode();
    for (int code = 0; code < 4; ++code)
        m_formatActions[code]->setChecked(code == current);
}

void TDateEdit::pickFormat(QAction* item)
{
    const int code = item->data().toInt();
    setDateFormat(dateFormatForCode(code));
    item->setData(code);
    updateFormatChecks();
    emit OnSetFormat(item);
}

void TDateEdit::showMask()
{
    QLineEdit::setText(m_mask);
    setCursorPosition(m_caret);
    if (m_mask != m_undo)
        m_undoAction->setEnabled(true);
}

void TDateEdit::setMask(const QString& mask)
{
    m_mask = mask;
    m_caret = qBound(0, m_caret, m_shape.length);
    showMask();
}

void TDateEdit::setDate(const QString& text)
{
    if (text.isEmpty()) {
        setMask(m_shape.emptyMask(m_separator));
        return;
    }
    const QString cut = text.left(10);
    if (!m_shape.fits(cut, m_separator))
        return;
    QString mask = cut;
    for (int p : m_shape.separators)
        mask[p - 1] = m_separator;
    setMask(mask);
}

bool TDateEdit::isEmpty() const
{
    for (const QChar c : m_mask) {
        if (c != QLatin1Char('_') && c != m_separator)
            return false;
    }
    return true;
}

double TDateEdit::dateValue() const
{
    if (!m_shape.hasDigit(m_mask))
        return 0;
    return m_shape.read(m_shape.pad(m_mask), m_separator).value_or(todayValue());
}

void TDateEdit::setDateValue(double value)
{
    if (value == 0) {
        setMask(m_shape.emptyMask(m_separator));
        return;
    }
    setMask(m_shape.write(value, m_separator));
}

void TDateEdit::setDateFormat(const QString& format)
{
    const QString cut = format.left(10);
    if (cut == m_format)
        return;
    std::optional<double> remembered;
    if (!isEmpty())
        remembered = m_shape.read(m_shape.pad(m_mask), m_separator);
    m_format = fields::normaliseDateFormat(cut);
    m_shape = fields::DateMaskShape::forFormat(m_format);
    m_caret = qMin(m_caret, m_shape.length);
    m_undo = m_shape.fits(m_undo, m_separator) ? m_undo : m_shape.emptyMask(m_separator);
    if (remembered)
        setMask(m_shape.write(*remembered, m_separator));
    else
        setMask(m_shape.emptyMask(m_separator));
}

void TDateEdit::clearMask()
{
    const QString before = m_mask;
    m_undo = before;
    setMask(m_shape.emptyMask(m_separator));
    m_undoAction->setEnabled(m_mask != before);
}

bool TDateEdit::validate()
{
    bool ok = true;
    if (!isEmpty()) {
        const QString padded = m_shape.pad(m_mask);
        if (padded != m_mask)
            setMask(padded);
        ok = m_shape.read(m_mask, m_separator).has_value();
        if (!ok)
            showError(QStringLiteral("Invalid Date!"));
    }
    if (m_mask != m_undo)
        m_undoAction->setEnabled(true);
    return ok;
}

bool TDateEdit::IsValidChar(QChar c) const
{
    return c.isDigit() && c.unicode() < 128;
}

void TDateEdit::typeDigit(QChar digit)
{
    if (m_caret >= m_shape.length)
        return;
    // A caret resting in front of a separator writes behind it, never over it.
    if (m_shape.isSeparator(m_caret + 1))
        ++m_caret;
    if (m_caret >= m_shape.length)
        return;
    ++m_caret;
    m_mask[m_caret - 1] = digit;
    if (m_caret < m_shape.length && m_shape.isSeparator(m_caret + 1))
        ++m_caret;
}

void TDateEdit::backspace()
{
    if (m_caret <= 0)
        return;
    if (m_shape.isSeparator(m_caret))
        --m_caret;
    if (m_caret <= 0)
        return;
    m_mask[m_caret - 1] = QLatin1Char('_');
    --m_caret;
}

void TDateEdit::moveLeft()
{
    if (m_caret <= 0)
        return;
    if (m_shape.isSeparator(m_caret))
        --m_caret;
    if (m_caret > 0)
        --m_caret;
}

void TDateEdit::moveRight()
{
    if (m_caret >= m_shape.length)
        return;
    ++m_caret;
    if (m_caret < m_shape.length && m_shape.isSeparator(m_caret + 1))
        ++m_caret;
}

void TDateEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::SelectAll)) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    switch (event->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F1:
        event->ignore();
        return;
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Backspace:
        if (!isLocked()) {
            switch (event->key()) {
            case Qt::Key_Home:
                m_caret = 0;
                break;
            case Qt::Key_End:
                m_caret = m_shape.length;
                break;
            case Qt::Key_Left:
                moveLeft();
                break;
            case Qt::Key_Right:
                moveRight();
                break;
            default:
                backspace();
                break;
            }
            showMask();
        }
        event->accept();
        return;
    default:
        break;
    }
    const QString text = event->text();
    if (plain && !text.isEmpty() && text.at(0).isPrint()) {
        if (!isLocked()) {
            for (const QChar c : text) {
                if (!IsValidChar(c)) {
                    beep();
                    break;
                }
                typeDigit(c);
            }
            showMask();
        }
        event->accept();
        return;
    }
    // Everything else that could change the text (Delete, cut, paste, undo) is dropped.
    event->accept();
}

void TDateEdit::caretFromMouse()
{
    if (hasSelectedText()) {
        m_caret = cursorPosition();
        return;
    }
    int caret = qBound(0, cursorPosition(), m_shape.length);
    if (caret > 0 && m_shape.isSeparator(caret))
        --caret;
    m_caret = caret;
    setCursorPosition(m_caret);
}

void TDateEdit::mousePressEvent(QMouseEvent* event)
{
    QLineEdit::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        caretFromMouse();
}

void TDateEdit::mouseReleaseEvent(QMouseEvent* event)
{
    // A middle click would paste the selection clipboard into the mask.
    if (event->button() == Qt::MiddleButton) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        caretFromMouse();
}

void TDateEdit::mouseDoubleClickEvent(QMouseEvent* event)
{
    QLineEdit::mouseDoubleClickEvent(event);
    m_caret = cursorPosition();
}

void TDateEdit::inputMethodEvent(QInputMethodEvent* event)
{
    event->accept();
}

void TDateEdit::focusInEvent(QFocusEvent* event)
{
    TMyBtnEdit::focusInEvent(event);
    if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason)
        return;
    m_caret = 0;
    m_undo = m_mask;
    setCursorPosition(0);
}

void TDateEdit::focusOutEvent(QFocusEvent* event)
{
    TMyBtnEdit::focusOutEvent(event);
    // Only leaving for another control of the same window is leaving the field.
    if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason || m_validating)
        return;
    m_validating = true;
    const bool ok = validate();
    m_validating = false;
    if (!ok) {
        // Back into the field once the focus change has finished.
        QMetaObject::invokeMethod(
                this, [this] { setFocus(Qt::OtherFocusReason); }, Qt::QueuedConnection);
    }
}

int TDateEdit::showCalendar()
{
    if (!isEmpty()) {
        const QString padded = m_shape.pad(m_mask);
        if (padded != m_mask)
            setMask(padded);
    }
    TfrmCalPop calendar(this);
    const int result = calendar.exec();
    if (result == TfrmCalPop::TodayResult && !isLocked())
        setDateValue(todayValue());
    setFocus(Qt::OtherFocusReason);
    m_caret = 0;
    setCursorPosition(0);
    return result;
}

void TDateEdit::ButtonClick()
{
    showCalendar();
}

} // namespace mk
