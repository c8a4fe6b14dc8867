#pragma once

#include <QPointer>

#include <memory>

class Dialogs;
class TerminationWatcher;
class clsLogEntry;
class clsUTC;
class frmMain;

// The three objects that live for the whole run. The main window releases
// the clock and the record when its close is accepted; the window and its
// panels keep their own references for as long as they use them.
extern std::shared_ptr<clsUTC> g_objUTC;
extern std::shared_ptr<clsLogEntry> g_objLogEntry;
extern QPointer<frmMain> g_frmMain;

// Start-up: splash, the program-wide objects, the main window shown. A
// failure is reported; when no window is open afterwards the program ends.
void Main(Dialogs& dialogs);
// The same, with the program ended from outside closing the window. A
// request that comes while the window is built or asks its start question
// waits until Main has returned: closing the window under its own question
// would pull the panel away from beneath it.
void Main(Dialogs& dialogs, TerminationWatcher& termination);
