// Entry points of parts of the program still being written. Each block goes
// away when its real definition lands; none of them pretends to work.
#include <windows.h>

#include "app/layout_win.h"
#include "engine/report.h"
#include "settings/help_about_win.h"
#include "settings/settings_dialog_win.h"
#include "viewer/viewer_win.h"

#include <cstdlib>

