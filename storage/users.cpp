#include "storage/users.h"

#include "platform/files.h"
#include "platform/text.h"
#include "shell/settings/valuestream.h"

#include <QFile>

namespace mk {

namespace {
// `UsersKey`: the fixed key of the account texts in "users.lst".
constexpr quint8 UsersKey[10] = {0x5A, 0x13, 0x6C, 0x27, 0x41, 0x0E, 0x72, 0x39, 0x55, 0x1D};
} // namespace

QString TUserRec::directoryFor(int number)
{
    return QStringLiteral("data%1").arg(number, 4, 10, QLatin1Char('0'));
}

QByteArray scrambleUserText(QByteArray bytes)
{
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(quint8(bytes[i]) ^ UsersKey[i % 10]);
    return bytes;
}

int TUserList::findByName(const QString& name) const
{
    for (int i = 0; i < count(); ++i)
        if (at(i).name == name)
            return i;
    return -1;
}

int TUserList::findByUserId(const QString& userId) const
{
    for (int i = 0; i < count(); ++i)
        if (at(i).userId == userId)
            return i;
    return -1;
}

int TUserList::nextFreeNumber() const
{
    for (int n = 1; n <= 9999; ++n) {
        if ((n & 0xFF) == 0)
            continue;
        bool taken = false;
        for (int i = 0; i < count() && !taken; ++i)
            taken = at(i).number == n;
        if (!taken)
            return n;
    }
    return 0;
}

bool TUserList::AddUser(const QString& name, const QString& userId, quint8 status, quint8 access,
                        const QString& password)
{
    if (findByName(name) >= 0)
        return false;
    const int number = nextFreeNumber();
    if (number == 0)
        return false;
    TUserRec rec;
    rec.number = qint16(number);
    rec.name = name;
    rec.userId = userId;
    rec.password = password;
    rec.directory = TUserRec::directoryFor(number);
    rec.status = status;
    rec.access = access;
    append(rec);
    return true;
}

void TUserList::LoadUsers(const QString& dataRoot, const QString& programDir)
{
    clear();
    QString path = findFileNoCase(dataRoot, QStringLiteral("users.lst"));
    if (path.isEmpty())
        path = findFileNoCase(programDir, QStringLiteral("users.lst"));
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    readBytes(file.readAll());
}

bool TUserList::SaveUsers(const QString& dataRoot) const
{
    return writeFileAtomic(joinPath(dataRoot, QStringLiteral("users.lst")), toBytes());
}

QByteArray TUserList::toBytes() const
{
    TValueWriter w;
    w.writeListBegin();
    for (const auto& rec : m_items) {
        w.writeRawInt16(rec->number);
        for (const QString* text : {&rec->name, &rec->userId, &rec->password, &rec->directory})
            w.writeRawShortBytes(scrambleUserText(toCp1252(*text).left(255)));
        w.writeRawByte(rec->status);
        w.writeRawByte(rec->access);
    }
    w.writeListEnd();
    return w.bytes();
}

void TUserList::readBytes(const QByteArray& bytes)
{
    clear();
    TValueReader r(bytes);
    r.readListBegin();
    while (r.ok() && !r.endOfList()) {
        TUserRec rec;
        rec.number = r.readRawInt16();
        for (QString* text : {&rec.name, &rec.userId, &rec.password, &rec.directory})
            *text = fromCp1252(scrambleUserText(r.readRawShortBytes()));
        rec.status = r.readRawByte();
        rec.access = r.readRawByte();
        if (!r.ok())
            break;
        append(rec);
    }
}

LoginState SupervisorLogin(const LoginSettings& settings)
{
    LoginState state;
    state.isSupervisor = true;
    state.dataDir = joinPath(settings.dataRoot, settings.publicDirName);
    state.accessLevel = 1;
    return state;
}

LoginResult EvaluateLogin(const QString& userId, const QString& password, const LoginSettings& settings,
                          LoginState& state)
{
    state.isSupervisor = false;
    state.dataDir = joinPath(settings.dataRoot, settings.publicDirName);
    state.accessLevel = 1;

    if (userId != settings.supervisorName) {
        TUserList users;
        users.LoadUsers(settings.dataRoot, settings.programDir);
        const int i = users.findByUserId(userId);
        if (i < 0)
            return LoginResult::Cancel;
        const TUserRec& account = users.at(i);
        if (settings.passwordsRequired() && password != account.password)
            return LoginResult::Cancel;
        state.userName = account.userId;
        state.dataDir = joinPath(settings.dataRoot, account.directory);
        state.accessLevel =
                settings.publicAccessMode != 0 ? qint16(settings.publicAccessMode) : qint16(account.access + 1);
        return account.status == 1 ? LoginResult::NotActive : LoginResult::Ok;
    }

    if (settings.passwordsRequired() && password != settings.supervisorPassword)
        return LoginResult::Cancel;
    state.isSupervisor = true;
    return LoginResult::Ok;
}

} // namespace mk
