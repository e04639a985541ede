#include "platform/prompt.h"

#include <QDebug>

namespace mk {

namespace {

// Answers every question with its safe default and leaves a trace in the log.
class HeadlessPrompter final : public Prompter
{
public:
    Answer message(const Message& m) override
    {
        qWarning().noquote() << "[message]" << toString(m.type) << displayText(m.text);
        return escapeAnswer(m.buttons);
    }
    void beep(BeepKind) override {}
    std::optional<QString> inputBox(const QString& caption, const QString& prompt, const QString&) override
    {
        qWarning().noquote() << "[input box]" << caption << prompt;
        return std::nullopt;
    }
    std::optional<QString> openFile(const FileRequest&) override { return std::nullopt; }
    std::optional<QString> saveFile(const FileRequest&) override { return std::nullopt; }
    std::optional<QString> chooseDirectory(const QString&, const QString&, int) override { return std::nullopt; }
    std::optional<QFont> chooseFont(const QFont&) override { return std::nullopt; }
    std::optional<QColor> chooseColour(const QColor&) override { return std::nullopt; }
};

HeadlessPrompter& headless()
{
    static HeadlessPrompter instance;
    return instance;
}

Prompter*& currentSlot()
{
    static Prompter* current = nullptr;
    return current;
}

QString& titleSlot()
{
    static QString title = QStringLiteral("Marlocket");
    return title;
}

} // namespace

Prompter& prompter()
{
    Prompter* p = currentSlot();
    return p ? *p : headless();
}

Prompter* setPrompter(Prompter* p)
{
    Prompter* previous = currentSlot();
    currentSlot() = p;
    return previous;
}

ScopedPrompter::ScopedPrompter(Prompter& p)
    : m_previous(setPrompter(&p))
{}

ScopedPrompter::~ScopedPrompter()
{
    setPrompter(m_previous);
}

QString applicationTitle()
{
    return titleSlot();
}

void setApplicationTitle(const QString& title)
{
    titleSlot() = title;
}

QString displayText(const QString& text)
{
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

bool hasHelpButton(Buttons buttons)
{
    return buttons == Buttons::OkHelp || buttons == Buttons::YesNoHelp;
}

bool isAnswerOf(Answer answer, Buttons buttons)
{
    switch (buttons) {
    case Buttons::Ok:
        return answer == Answer::Ok;
    case Buttons::OkHelp:
        return answer == Answer::Ok || answer == Answer::Help;
    case Buttons::OkCancel:
        return answer == Answer::Ok || answer == Answer::Cancel;
    case Buttons::YesNo:
        return answer == Answer::Yes || answer == Answer::No;
    case Buttons::YesNoHelp:
        return answer == Answer::Yes || answer == Answer::No || answer == Answer::Help;
    case Buttons::YesNoCancel:
        return answer == Answer::Yes || answer == Answer::No || answer == Answer::Cancel;
    case Buttons::RetryCancel:
        return answer == Answer::Retry || answer == Answer::Cancel;
    }
    return false;
}

Answer escapeAnswer(Buttons buttons)
{
    switch (buttons) {
    case Buttons::Ok:
    case Buttons::OkHelp:
        return Answer::Ok;
    case Buttons::YesNo:
    case Buttons::YesNoHelp:
        return Answer::No;
    case Buttons::OkCancel:
    case Buttons::YesNoCancel:
    case Buttons::RetryCancel:
        return Answer::Cancel;
    }
    return Answer::Cancel;
}

Answer showMessage(MessageType type, const QString& text, Buttons buttons, int helpContext, const QString& caption)
{
    Message m;
    m.type = type;
    m.text = text;
    m.buttons = buttons;
    m.helpContext = helpContext;
    m.caption = caption;
    return prompter().message(m);
}

void showError(const QString& text, int helpContext)
{
    showMessage(MessageType::Error, text, helpContext ? Buttons::OkHelp : Buttons::Ok, helpContext);
}

void showWarning(const QString& text, int helpContext)
{
    showMessage(MessageType::Warning, text, helpContext ? Buttons::OkHelp : Buttons::Ok, helpContext);
}

void showInformation(const QString& text, int helpContext)
{
    showMessage(MessageType::Information, text, helpContext ? Buttons::OkHelp : Buttons::Ok, helpContext);
}

bool confirm(const QString& text, MessageType type, int helpContext)
{
    return showMessage(type, text, helpContext ? Buttons::YesNoHelp : Buttons::YesNo, helpContext) == Answer::Yes;
}

void beep(BeepKind kind)
{
    prompter().beep(kind);
}

std::optional<QString> inputBox(const QString& caption, const QString& prompt, const QString& preset)
{
    return prompter().inputBox(caption, prompt, preset);
}

std::optional<QString> openFileDialog(const FileRequest& request)
{
    return prompter().openFile(request);
}

std::optional<QString> saveFileDialog(const FileRequest& request)
{
    return prompter().saveFile(request);
}

std::optional<QString> chooseDirectory(const QString& caption, const QString& start, int helpContext)
{
    return prompter().chooseDirectory(caption, start, helpContext);
}

std::optional<QFont> chooseFont(const QFont& initial)
{
    return prompter().chooseFont(initial);
}

std::optional<QColor> chooseColour(const QColor& initial)
{
    return prompter().chooseColour(initial);
}

const char* toString(MessageType type)
{
    switch (type) {
    case MessageType::Error:
        return "error";
    case MessageType::Warning:
        return "warning";
    case MessageType::Information:
        return "information";
    case MessageType::Confirmation:
        return "confirmation";
    }
    return "?";
}

const char* toString(Buttons buttons)
{
    switch (buttons) {
    case Buttons::Ok:
        return "OK";
    case Buttons::OkHelp:
        return "OK/Help";
    case Buttons::OkCancel:
        return "OK/Cancel";
    case Buttons::YesNo:
        return "Yes/No";
    case Buttons::YesNoHelp:
        return "Yes/No/Help";
    case Buttons::YesNoCancel:
        return "Yes/No/Cancel";
    case Buttons::RetryCancel:
        return "Retry/Cancel";
    }
    return "?";
}

const char* toString(Answer answer)
{
    switch (answer) {
    case Answer::None:
        return "None";
    case Answer::Ok:
        return "Ok";
    case Answer::Cancel:
        return "Cancel";
    case Answer::Yes:
        return "Yes";
    case Answer::No:
        return "No";
    case Answer::Retry:
        return "Retry";
    case Answer::Help:
        return "Help";
    }
    return "?";
}

} // namespace mk
