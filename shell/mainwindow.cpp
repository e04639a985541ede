#include "shell/mainwindow.h"

#include "app/core/globals.h"
#include "app/core/startup.h"
#include "platform/prompt.h"
#include "shell/settings/binarysettings.h"
#include "shell/settings/textsettings.h"
#include "storage/storage.h"

#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

namespace mk {

TForm3::TForm3(GlobalState& g, QWidget* parent)
    : QMainWindow(parent)
    , m_g(g)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(captionText());
    resize(800, 600);
    readWindowPlacement();
    m_storage = std::make_unique<TStorage>(m_g.SortIndex);
    m_storage->CreateTables();
    m_databaseOpen = openDatabase();
    if (!m_databaseOpen)
        QTimer::singleShot(0, this, &QWidget::close);
}

TForm3::~TForm3()
{
    writeWindowPlacement();
    if (m_databaseOpen)
        m_g.SortIndex.SaveSettings(TIndex::SettingsPath(m_g.DataDir, m_g.TableFileName));
    WriteShutdownSettings(m_g);
    m_storage->CloseTables();
}

bool TForm3::openDatabase()
{
    TStorage& s = *m_storage;
    s.ProgramDir = m_g.ProgramDir;
    s.DataDir = m_g.DataDir;
    s.SettingsDir = m_g.SettingsDir;
    s.TableFileName = m_g.TableFileName;
    s.letterTabsEnabled = [this] { return m_g.UserOptions.LetterTabs == 0; };
    const bool ok = s.OpenDatabase();
    if (ok)
        s.recordTable().setAfterInsert([this](TDbTable& table) { m_storage->AssignRecordNumber(table); });
    return ok;
}

QString TForm3::captionText() const
{
    QString caption = QStringLiteral("Marlocket");
    if (m_g.IsReadOnly())
        caption += QStringLiteral(" [Read Only Mode]");
    return caption;
}

void TForm3::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_activated) {
        m_activated = true;
        // After the window is on screen, so the warning has a parent to sit on.
        QTimer::singleShot(0, this, &TForm3::FormActivateFirst);
    }
}

void TForm3::FormActivateFirst()
{
    if (!WasClosedNormally(m_g.SettingsDir)) {
        beep(BeepKind::Warning);
        showMessage(MessageType::Warning,
                    m_g.ProductName + QStringLiteral(" was not Closed normally!\rIt is STRONGLY recommended that you "
                                                     "Restore the last used database from your backup. For more "
                                                     "information click on Help."),
                    Buttons::OkHelp, 123);
    }
    MarkRunning(m_g.SettingsDir);
    activateWindow();
}

void TForm3::readWindowPlacement()
{
    const auto placement = ReadWindowPlacement(m_g.SettingsDir);
    const TWindowPlacement::Kind kind = placement ? placement->kind() : TWindowPlacement::Kind::Design;
    switch (kind) {
    case TWindowPlacement::Kind::Stored:
        setGeometry(placement->Left, placement->Top, placement->Width, placement->Height);
        break;
    case TWindowPlacement::Kind::Maximized:
        setWindowState(windowState() | Qt::WindowMaximized);
        break;
    case TWindowPlacement::Kind::Design:
        // Top 1, right edge at the right edge of the screen.
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            move(area.right() - frameGeometry().width() + 1, area.top() + 1);
        }
        break;
    }
}

void TForm3::writeWindowPlacement() const
{
    TWindowPlacement p;
    const QRect r = geometry();
    p.Top = r.top();
    p.Left = r.left();
    p.Width = r.width();
    p.Height = r.height();
    p.RightPageWidth = m_g.MinRightPageWidth;
    WriteWindowPlacement(m_g.SettingsDir, p, isMaximized());
}

} // namespace mk
