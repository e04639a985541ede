#pragma once

// The Qt implementation of mk::Prompter: QMessageBox, QInputDialog,
// QFileDialog, QFontDialog, QColorDialog and QApplication::beep().
//
// A Help button shows the box's help context (mk::showHelp) and leaves the
// box open, so the user can read the help and still answer. Boxes and
// dialogs are parented to the active modal dialog or the active window.

#include "platform/prompt.h"

class QWidget;

namespace mk {

class QtPrompter : public Prompter
{
public:
    Answer message(const Message& message) override;
    void beep(BeepKind kind) override;
    std::optional<QString> inputBox(const QString& caption, const QString& prompt, const QString& preset) override;
    std::optional<QString> openFile(const FileRequest& request) override;
    std::optional<QString> saveFile(const FileRequest& request) override;
    std::optional<QString> chooseDirectory(const QString& caption, const QString& start, int helpContext) override;
    std::optional<QFont> chooseFont(const QFont& initial) override;
    std::optional<QColor> chooseColour(const QColor& initial) override;

    // Converts a filter list to Qt's form: "Text (*.txt);;All (*)" stays,
    // "Text|*.txt|All|*.*" (description|pattern pairs) and a bare "*.txt;*.csv"
    // are converted.
    static QString toQtFilters(const QString& filters);

    // The widget dialogs are parented to.
    static QWidget* dialogParent();
};

} // namespace mk
