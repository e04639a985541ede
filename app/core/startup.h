#pragma once

#include "storage/users.h"

#include <QString>

namespace mk {

struct GlobalState;

// What start-up needs from the windows: the splash and the login dialog.
// The program supplies the real windows; tests supply a script.
class StartupUi
{
public:
    virtual ~StartupUi() = default;
    virtual void showSplash() {}
    virtual void closeSplash() {}
    virtual LoginResult runLogin(const LoginSettings& settings, LoginState& state) = 0;
};

enum class StartupResult { Running, LoginFailed, AccountDisabled };

// The start-up sequence up to the creation of the windows: directories,
// machine options, data directories, the login gate, user options, field
// captions and date formats. On a failed login the failure message has been
// shown and the program must end at once, writing nothing.
StartupResult RunStartup(GlobalState& g, StartupUi& ui, const QString& executablePath);

// What the main window's destructor writes that exists so far, then the end
// of the run: tables are closed by their owner first, then the clean-shutdown
// marker.
void WriteShutdownSettings(const GlobalState& g);
void MarkShutdownComplete(const GlobalState& g);
// After the message loop: the reminder dates.
void WriteReminders(const GlobalState& g);

// The login settings of the machine options now in force.
LoginSettings currentLoginSettings(const GlobalState& g);

} // namespace mk
