#include "platform/widgets/qtprompter.h"

#include "platform/files.h"
#include "platform/help.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace mk {

QWidget* QtPrompter::dialogParent()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

Answer QtPrompter::message(const Message& m)
{
    QMessageBox::Icon icon = QMessageBox::Information;
    switch (m.type) {
    case MessageType::Error:
        icon = QMessageBox::Critical;
        break;
    case MessageType::Warning:
        icon = QMessageBox::Warning;
        break;
    case MessageType::Information:
        icon = QMessageBox::Information;
        break;
    case MessageType::Confirmation:
        icon = QMessageBox::Question;
        break;
    }
    const QString caption = m.caption.isEmpty() ? applicationTitle() : m.caption;
    QMessageBox box(icon, caption, displayText(m.text), QMessageBox::NoButton, dialogParent());
    box.setTextFormat(Qt::PlainText);

    QMessageBox::StandardButtons standard;
    switch (m.buttons) {
    case Buttons::Ok:
    case Buttons::OkHelp:
        standard = QMessageBox::Ok;
        break;
    case Buttons::OkCancel:
        standard = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case Buttons::YesNo:
    case Buttons::YesNoHelp:
        standard = QMessageBox::Yes | QMessageBox::No;
        break;
    case Buttons::YesNoCancel:
        standard = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        break;
    case Buttons::RetryCancel:
        standard = QMessageBox::Retry | QMessageBox::Cancel;
        break;
    }
    box.setStandardButtons(standard);
    if (standard & QMessageBox::Ok)
        box.setDefaultButton(QMessageBox::Ok);
    else if (standard & QMessageBox::Yes)
        box.setDefaultButton(QMessageBox::Yes);
    else if (standard & QMessageBox::Retry)
        box.setDefaultButton(QMessageBox::Retry);

    switch (escapeAnswer(m.buttons)) {
    case Answer::No:
        box.setEscapeButton(QMessageBox::No);
        break;
    case Answer::Cancel:
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    default:
        box.setEscapeButton(QMessageBox::Ok);
        break;
    }

    if (hasHelpButton(m.buttons)) {
        auto* help = new QPushButton(QObject::tr("&Help"));
        help->setObjectName(QStringLiteral("helpButton"));
        box.addButton(help, QMessageBox::HelpRole);
        // The button box would close the message box on any click; take the
        // Help button's clicks away from it so the box stays open.
        if (auto* buttonBox = box.findChild<QDialogButtonBox*>())
            QObject::disconnect(help, &QAbstractButton::clicked, buttonBox, nullptr);
        const int context = m.helpContext;
        QObject::connect(help, &QAbstractButton::clicked, help, [context] { showHelp(context); });
    }

    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (!clicked)
        return escapeAnswer(m.buttons);
    switch (box.standardButton(clicked)) {
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    case QMessageBox::Retry:
        return Answer::Retry;
    default:
        return escapeAnswer(m.buttons);
    }
}

void QtPrompter::beep(BeepKind)
{
    QApplication::beep();
}

std::optional<QString> QtPrompter::inputBox(const QString& caption, const QString& prompt, const QString& preset)
{
    QInputDialog dialog(dialogParent());
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setTextValue(preset);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

QString QtPrompter::toQtFilters(const QString& filters)
{
    if (filters.isEmpty() || filters.contains(QLatin1String(";;")) || filters.contains(QLatin1Char('(')))
        return filters;
    if (filters.contains(QLatin1Char('|'))) {
        const QStringList parts = filters.split(QLatin1Char('|'));
        QStringList out;
        for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
            QString patterns = parts.at(i + 1);
            patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
            QString description = parts.at(i);
            // "Text files (*.txt)" already names its patterns.
            const qsizetype paren = description.indexOf(QLatin1Char('('));
            if (paren >= 0)
                description = description.left(paren).trimmed();
            out << QStringLiteral("%1 (%2)").arg(description, patterns);
        }
        return out.join(QLatin1String(";;"));
    }
    QString patterns = filters;
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    return QStringLiteral("%1 (%1)").arg(patterns.simplified());
}

namespace {

std::optional<QString> runFileDialog(const FileRequest& r, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(QtPrompter::dialogParent(), r.caption);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    const QString filters = QtPrompter::toQtFilters(r.filters);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters.split(QLatin1String(";;")));
    if (!r.defaultExtension.isEmpty()) {
        QString ext = r.defaultExtension;
        if (ext.startsWith(QLatin1Char('.')))
            ext.remove(0, 1);
        dialog.setDefaultSuffix(ext);
    }
    if (!r.directory.isEmpty())
        dialog.setDirectory(nativePath(r.directory));
    if (!r.fileName.isEmpty())
        dialog.selectFile(nativePath(r.fileName));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return std::nullopt;
    return files.first();
}

} // namespace

std::optional<QString> QtPrompter::openFile(const FileRequest& request)
{
    return runFileDialog(request, QFileDialog::AcceptOpen);
}

std::optional<QString> QtPrompter::saveFile(const FileRequest& request)
{
    return runFileDialog(request, QFileDialog::AcceptSave);
}

std::optional<QString> QtPrompter::chooseDirectory(const QString& caption, const QString& start, int)
{
    const QString dir = QFileDialog::getExistingDirectory(dialogParent(), caption, nativePath(start));
    if (dir.isEmpty())
        return std::nullopt;
    return dir;
}

std::optional<QFont> QtPrompter::chooseFont(const QFont& initial)
{
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, initial, dialogParent());
    if (!ok)
        return std::nullopt;
    return font;
}

std::optional<QColor> QtPrompter::chooseColour(const QColor& initial)
{
    const QColor colour = QColorDialog::getColor(initial, dialogParent());
    if (!colour.isValid())
        return std::nullopt;
    return colour;
}

} // namespace mk
