#include "platform/scriptedprompter.h"

#include "platform/help.h"

namespace mk {

namespace {

const char* entryName(int kind)
{
    static const char* const names[] = {"an answer", "an input", "a file", "a directory", "a font", "a colour"};
    return kind >= 0 && kind < 6 ? names[kind] : "?";
}

} // namespace

void ScriptedPrompter::pushAnswer(Answer answer)
{
    m_script.push_back({EntryKind::Answer, answer, {}, {}, {}});
}

void ScriptedPrompter::pushInput(std::optional<QString> text)
{
    m_script.push_back({EntryKind::Input, Answer::None, std::move(text), {}, {}});
}

void ScriptedPrompter::pushFile(std::optional<QString> path)
{
    m_script.push_back({EntryKind::File, Answer::None, std::move(path), {}, {}});
}

void ScriptedPrompter::pushDirectory(std::optional<QString> path)
{
    m_script.push_back({EntryKind::Directory, Answer::None, std::move(path), {}, {}});
}

void ScriptedPrompter::pushFont(std::optional<QFont> font)
{
    m_script.push_back({EntryKind::Font, Answer::None, {}, std::move(font), {}});
}

void ScriptedPrompter::pushColour(std::optional<QColor> colour)
{
    m_script.push_back({EntryKind::Colour, Answer::None, {}, {}, std::move(colour)});
}

QList<ScriptedPrompter::Call> ScriptedPrompter::callsOf(Kind kind) const
{
    QList<Call> out;
    for (const Call& c : m_calls) {
        if (c.kind == kind)
            out << c;
    }
    return out;
}

QString ScriptedPrompter::lastMessageText() const
{
    for (auto it = m_calls.crbegin(); it != m_calls.crend(); ++it) {
        if (it->kind == Kind::Message)
            return it->text;
    }
    return {};
}

int ScriptedPrompter::beepCount() const
{
    return int(callsOf(Kind::Beep).size());
}

void ScriptedPrompter::clear()
{
    m_script.clear();
    m_calls.clear();
    m_failures.clear();
}

std::optional<ScriptedPrompter::Entry> ScriptedPrompter::take(EntryKind wanted, const QString& what)
{
    if (m_script.empty()) {
        m_failures << QStringLiteral("unscripted %1 (the script is empty)").arg(what);
        return std::nullopt;
    }
    if (m_script.front().kind != wanted) {
        m_failures << QStringLiteral("unscripted %1: the script holds %2 next")
                              .arg(what, QLatin1String(entryName(int(m_script.front().kind))));
        return std::nullopt;
    }
    Entry e = m_script.front();
    m_script.pop_front();
    return e;
}

Answer ScriptedPrompter::message(const Message& m)
{
    Call call;
    call.kind = Kind::Message;
    call.type = m.type;
    call.caption = m.caption;
    call.text = m.text;
    call.buttons = m.buttons;
    call.helpContext = m.helpContext;
    const QString what =
            QStringLiteral("%1 message \"%2\" (%3)")
                    .arg(QLatin1String(toString(m.type)), displayText(m.text), QLatin1String(toString(m.buttons)));
    for (;;) {
        // Peek first so that an unfitting answer stays for the dialog it was meant for.
        if (!m_script.empty() && m_script.front().kind == EntryKind::Answer &&
            !isAnswerOf(m_script.front().answer, m.buttons)) {
            m_failures << QStringLiteral("scripted answer %1 does not fit the %2")
                                  .arg(QLatin1String(toString(m_script.front().answer)), what);
            call.answer = escapeAnswer(m.buttons);
            call.scripted = false;
            break;
        }
        const std::optional<Entry> e = take(EntryKind::Answer, what);
        if (!e) {
            call.answer = escapeAnswer(m.buttons);
            call.scripted = false;
            break;
        }
        if (e->answer == Answer::Help) {
            // Help shows the context; the box stays open for the next answer.
            Call help;
            help.kind = Kind::Help;
            help.helpContext = m.helpContext;
            help.text = m.text;
            m_calls << help;
            showHelp(m.helpContext);
            continue;
        }
        call.answer = e->answer;
        break;
    }
    m_calls << call;
    return call.answer;
}

void ScriptedPrompter::beep(BeepKind kind)
{
    Call call;
    call.kind = Kind::Beep;
    call.beep = kind;
    m_calls << call;
}

std::optional<QString> ScriptedPrompter::textDialog(Call call, EntryKind wanted, const QString& what)
{
    const std::optional<Entry> e = take(wanted, what);
    if (e)
        call.result = e->text;
    else
        call.scripted = false;
    m_calls << call;
    return call.result;
}

std::optional<QString> ScriptedPrompter::inputBox(const QString& caption, const QString& prompt, const QString& preset)
{
    Call call;
    call.kind = Kind::Input;
    call.caption = caption;
    call.text = prompt;
    call.preset = preset;
    return textDialog(call, EntryKind::Input, QStringLiteral("input box \"%1\" / \"%2\"").arg(caption, prompt));
}

std::optional<QString> ScriptedPrompter::openFile(const FileRequest& request)
{
    Call call;
    call.kind = Kind::OpenFile;
    call.caption = request.caption;
    call.file = request;
    call.helpContext = request.helpContext;
    return textDialog(call, EntryKind::File, QStringLiteral("open dialog \"%1\"").arg(request.caption));
}

std::optional<QString> ScriptedPrompter::saveFile(const FileRequest& request)
{
    Call call;
    call.kind = Kind::SaveFile;
    call.caption = request.caption;
    call.file = request;
    call.helpContext = request.helpContext;
    return textDialog(call, EntryKind::File, QStringLiteral("save dialog \"%1\"").arg(request.caption));
}

std::optional<QString> ScriptedPrompter::chooseDirectory(const QString& caption, const QString& start, int helpContext)
{
    Call call;
    call.kind = Kind::Directory;
    call.caption = caption;
    call.preset = start;
    call.helpContext = helpContext;
    return textDialog(call, EntryKind::Directory, QStringLiteral("directory dialog \"%1\"").arg(caption));
}

std::optional<QFont> ScriptedPrompter::chooseFont(const QFont& initial)
{
    Call call;
    call.kind = Kind::Font;
    call.preset = initial.toString();
    const std::optional<Entry> e = take(EntryKind::Font, QStringLiteral("font dialog"));
    call.scripted = e.has_value();
    m_calls << call;
    return e ? e->font : std::nullopt;
}

std::optional<QColor> ScriptedPrompter::chooseColour(const QColor& initial)
{
    Call call;
    call.kind = Kind::Colour;
    call.preset = initial.name();
    const std::optional<Entry> e = take(EntryKind::Colour, QStringLiteral("colour dialog"));
    call.scripted = e.has_value();
    m_calls << call;
    return e ? e->colour : std::nullopt;
}

} // namespace mk
