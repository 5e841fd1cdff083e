#pragma once
// Thread: any (opens its own X connection per call).
// Owns: nothing beyond the call.
// Errors: an empty QByteArray when there is no X server, no property or no readable data.

#include <QByteArray>

class QWindow;

// The display profile a colour-managed X11 desktop publishes: the "_ICC_PROFILE" property
// of the root window for the first monitor, "_ICC_PROFILE_<n>" for monitor n. It stands in
// for the platform's colour-system calls where those do not exist.
class X11DisplayProfile
{
public:
    // The profile of the monitor showing `window` (the first monitor for null).
    static QByteArray forWindow(const QWindow* window);
    static QByteArray forMonitor(int monitor);
    // The property name for monitor n.
    static QByteArray atomName(int monitor);
};
