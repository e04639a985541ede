#pragma once

// The one way the program asks the user something: message boxes, beeps,
// input boxes and the file, folder, font and colour dialogs all go through
// the current mk::Prompter. The application installs the Qt implementation
// (mk::QtPrompter, platform/widgets); tests and headless runs install an
// mk::ScriptedPrompter that answers from a script and records every call.
//
// Message texts are passed as written: a '\r' (or "\r\n") starts a new line.

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

#include <optional>

namespace mk {

enum class MessageType { Error, Warning, Information, Confirmation };

enum class Buttons { Ok, OkHelp, OkCancel, YesNo, YesNoHelp, YesNoCancel, RetryCancel };

// Help is never the final answer of a message box: pressing Help shows the
// help context and the box stays open. None is the answer of a box that was
// closed without a button (treated like Cancel/No by the callers).
enum class Answer { None, Ok, Cancel, Yes, No, Retry, Help };

enum class BeepKind { Default, Information, Warning, Error, Question };

struct Message
{
    MessageType type = MessageType::Information;
    QString text;
    Buttons buttons = Buttons::Ok;
    int helpContext = 0;
    QString caption; // empty: the application title
};

struct FileRequest
{
    QString caption;
    QString directory;        // start folder
    QString fileName;         // preset name (may include a folder)
    QString filters;          // "Text files (*.txt);;All files (*)"; a bare "*.txt" is accepted too
    QString defaultExtension; // "txt": added to a saved name typed without one
    int helpContext = 0;
};

class Prompter
{
public:
    virtual ~Prompter() = default;

    virtual Answer message(const Message& message) = 0;
    virtual void beep(BeepKind kind) = 0;
    // nullopt when the user cancels.
    virtual std::optional<QString> inputBox(const QString& caption, const QString& prompt, const QString& preset) = 0;
    virtual std::optional<QString> openFile(const FileRequest& request) = 0;
    virtual std::optional<QString> saveFile(const FileRequest& request) = 0;
    virtual std::optional<QString> chooseDirectory(const QString& caption, const QString& start, int helpContext) = 0;
    virtual std::optional<QFont> chooseFont(const QFont& initial) = 0;
    virtual std::optional<QColor> chooseColour(const QColor& initial) = 0;
};

// The process-wide prompter. Until one is set, a headless prompter is used
// that writes each message to the debug log and gives the safe answer
// (OK, No, Cancel, nothing chosen). setPrompter(nullptr) goes back to it.
Prompter& prompter();
Prompter* setPrompter(Prompter* prompter); // returns the previous one (not owned)

// Installs a prompter for its lifetime.
class ScopedPrompter
{
public:
    explicit ScopedPrompter(Prompter& p);
    ~ScopedPrompter();
    ScopedPrompter(const ScopedPrompter&) = delete;
    ScopedPrompter& operator=(const ScopedPrompter&) = delete;

private:
    Prompter* m_previous;
};

// The caption of message boxes without their own ("Marlocket").
QString applicationTitle();
void setApplicationTitle(const QString& title);

// Message text for display: "\r\n" and lone '\r' become '\n'.
QString displayText(const QString& text);

// The buttons a box shows and whether answer is one of them.
bool hasHelpButton(Buttons buttons);
bool isAnswerOf(Answer answer, Buttons buttons);
// The answer given when a box is closed without choosing (Esc, close button).
Answer escapeAnswer(Buttons buttons);

// ---- convenience calls ----
Answer showMessage(MessageType type, const QString& text, Buttons buttons = Buttons::Ok, int helpContext = 0,
                   const QString& caption = {});
// OK box; with a help context the box gets a Help button.
void showError(const QString& text, int helpContext = 0);
void showWarning(const QString& text, int helpContext = 0);
void showInformation(const QString& text, int helpContext = 0);
// Yes/No question (Yes/No/Help with a help context); true for Yes.
bool confirm(const QString& text, MessageType type = MessageType::Confirmation, int helpContext = 0);
void beep(BeepKind kind = BeepKind::Default);
std::optional<QString> inputBox(const QString& caption, const QString& prompt, const QString& preset = {});
std::optional<QString> openFileDialog(const FileRequest& request);
std::optional<QString> saveFileDialog(const FileRequest& request);
std::optional<QString> chooseDirectory(const QString& caption, const QString& start, int helpContext = 0);
std::optional<QFont> chooseFont(const QFont& initial);
std::optional<QColor> chooseColour(const QColor& initial);

const char* toString(MessageType type);
const char* toString(Buttons buttons);
const char* toString(Answer answer);

} // namespace mk
