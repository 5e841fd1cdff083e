#include "io/x11displayprofile.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace {

// Profiles are well under this; it bounds what a broken property can make us allocate.
constexpr uint32_t kMaxProfileWords = 16u * 1024u * 1024u / 4u;

struct ConnectionCloser
{
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};

} // namespace

QByteArray X11DisplayProfile::atomName(int monitor)
{
    QByteArray name("_ICC_PROFILE");
    if (monitor > 0)
        name += '_' + QByteArray::number(monitor);
    return name;
}

QByteArray X11DisplayProfile::forWindow(const QWindow* window)
{
    int monitor = 0;
    if (window && window->screen() && qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        monitor = qMax(0, QGuiApplication::screens().indexOf(window->screen()));
    return forMonitor(monitor);
}

QByteArray X11DisplayProfile::forMonitor(int monitor)
{
    int screenNumber = 0;
    std::unique_ptr<xcb_connection_t, ConnectionCloser> connection(xcb_connect(nullptr, &screenNumber));
    if (!connection || xcb_connection_has_error(connection.get()))
        return {};

    const xcb_setup_t* setup = xcb_get_setup(connection.get());
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem)
        return {};
    const xcb_window_t root = it.data->root;

    const QByteArray name = atomName(monitor);
    xcb_intern_atom_reply_t* atomReply = xcb_intern_atom_reply(
        connection.get(), xcb_intern_atom(connection.get(), 1, uint16_t(name.size()), name.constData()), nullptr);
    if (!atomReply)
        return {};
    const xcb_atom_t atom = atomReply->atom;
    std::free(atomReply);
    if (atom == XCB_ATOM_NONE)
        return {}; // nobody ever published a profile under that name

    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection.get(),
        xcb_get_property(connection.get(), 0, root, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, kMaxProfileWords),
        nullptr);
    if (!reply)
        return {};
    QByteArray bytes;
    if (reply->format == 8 && reply->bytes_after == 0) {
        const int length = xcb_get_property_value_length(reply);
        if (length > 0)
            bytes = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)), length);
    }
    std::free(reply);
    return bytes;
}
