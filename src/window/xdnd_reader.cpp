#include "window/xdnd_reader.h"

#include <poll.h>
#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "import/import.h"

namespace sorimba {
namespace {

// Notes the time stamp of each XdndDrop before Qt delivers the drop.
class DropWatcher final : public QAbstractNativeEventFilter {
public:
    explicit DropWatcher(xcb_atom_t xdndDrop) : xdndDrop_(xdndDrop) {}

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE) return false;
        const auto* client = static_cast<const xcb_client_message_event_t*>(message);
        if (client->type == xdndDrop_ && client->format == 32) dropTime = client->data.data32[2];
        return false;
    }

    std::uint32_t dropTime = 0;  // of the drop being delivered; 0 when none

private:
    xcb_atom_t xdndDrop_;
};

DropWatcher* watcher = nullptr;

struct EventFree {
    void operator()(xcb_generic_event_t* event) const { std::free(event); }
};
using Event = std::unique_ptr<xcb_generic_event_t, EventFree>;

// The next event of the connection; nothing once the deadline has passed.
Event nextEvent(xcb_connection_t* connection, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        if (xcb_generic_event_t* event = xcb_poll_for_event(connection)) return Event(event);
        if (xcb_connection_has_error(connection)) return nullptr;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) return nullptr;
        pollfd ready{xcb_get_file_descriptor(connection), POLLIN, 0};
        ::poll(&ready, 1, int(std::min<long long>(left, 60000)));
    }
}

xcb_atom_t internAtom(xcb_connection_t* connection, const QByteArray& name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData()),
        nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

}  // namespace

void XdndReader::watchDrops() {
    if (watcher != nullptr || qGuiApp == nullptr) return;
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) return;
    const xcb_atom_t xdndDrop = internAtom(x11->connection(), "XdndDrop");
    if (xdndDrop == XCB_ATOM_NONE) return;
    // Lives as long as the program.
    watcher = new DropWatcher(xdndDrop);
    qGuiApp->installNativeEventFilter(watcher);
}

std::unique_ptr<XdndReader> XdndReader::forCurrentDrop() {
    if (watcher == nullptr) return nullptr;
    const std::uint32_t time = std::exchange(watcher->dropTime, 0);
    if (time == 0) return nullptr;
    std::unique_ptr<XdndReader> reader(new XdndReader(time));
    if (!reader->valid()) return nullptr;
    return reader;
}

XdndReader::XdndReader(std::uint32_t dropTime) : dropTime_(dropTime) {
    // A connection of its own: its events are waited for here, not by Qt.
    connection_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection_)) return;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    property_ = atom("SORIMBA_DROP");
    if (screen == nullptr || property_ == XCB_ATOM_NONE) return;
    const xcb_window_t window = xcb_generate_id(connection_);
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &events);
    window_ = window;
}

XdndReader::~XdndReader() {
    xcb_disconnect(connection_);  // the window goes with the connection
}

std::uint32_t XdndReader::atom(const QByteArray& name) const {
    return internAtom(connection_, name);
}

std::optional<QByteArray> XdndReader::read(const QString& type, std::chrono::milliseconds limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    // Text in the forms that programs give as UTF-8, the common one first.
    const QList<QByteArray> targets =
        type == QStringLiteral("text/plain")
            ? QList<QByteArray>{"UTF8_STRING", "text/plain;charset=utf-8", "text/plain"}
            : QList<QByteArray>{type.toLatin1()};
    for (const QByteArray& target : targets) {
        const xcb_atom_t targetAtom = atom(target);
        if (targetAtom == XCB_ATOM_NONE) return std::nullopt;
        Answer answer = convert(targetAtom, deadline);
        if (!answer) return std::nullopt;  // no answer in time: no more asking
        if (*answer) return std::move(**answer);
    }
    return std::nullopt;
}

XdndReader::Answer XdndReader::convert(std::uint32_t target, Clock::time_point deadline) {
    xcb_delete_property(connection_, window_, property_);
    xcb_convert_selection(connection_, window_, atom("XdndSelection"), target, property_,
                          dropTime_);
    xcb_flush(connection_);
    while (const Event event = nextEvent(connection_, deadline)) {
        if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY) continue;
        const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event.get());
        if (notify->requestor != window_) continue;
        if (notify->property == XCB_ATOM_NONE) return std::optional<QByteArray>();  // refused
        return readProperty(deadline);
    }
    return std::nullopt;
}

XdndReader::Answer XdndReader::readProperty(Clock::time_point deadline) {
    // Deleting the property asks for the next piece of an incremental
    // transfer; the whole of anything else is read at once.
    constexpr std::uint32_t kMaxWords = std::uint32_t(import::kMaxFileBytes / 4);
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(connection_,
                               xcb_get_property(connection_, 1, window_, property_,
                                                XCB_GET_PROPERTY_TYPE_ANY, 0, kMaxWords),
                               nullptr);
    if (reply == nullptr) return std::optional<QByteArray>();
    const bool incremental = reply->type == atom("INCR");
    const bool whole = reply->bytes_after == 0;
    QByteArray data(static_cast<const char*>(xcb_get_property_value(reply)),
                    xcb_get_property_value_length(reply));
    std::free(reply);
    if (incremental) return readIncrements(deadline);
    if (!whole) return std::optional<QByteArray>();  // larger than any file read
    return std::optional<QByteArray>(std::move(data));
}

XdndReader::Answer XdndReader::readIncrements(Clock::time_point deadline) {
    QByteArray data;
    xcb_flush(connection_);
    while (const Event event = nextEvent(connection_, deadline)) {
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) continue;
        const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
        if (change->window != window_ || change->atom != property_ ||
            change->state != XCB_PROPERTY_NEW_VALUE)
            continue;
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            connection_,
            xcb_get_property(connection_, 1, window_, property_, XCB_GET_PROPERTY_TYPE_ANY, 0,
                             std::uint32_t(import::kMaxFileBytes / 4)),
            nullptr);
        if (reply == nullptr) return std::optional<QByteArray>();
        const int length = xcb_get_property_value_length(reply);
        data.append(static_cast<const char*>(xcb_get_property_value(reply)), length);
        std::free(reply);
        xcb_flush(connection_);
        if (length == 0) return std::optional<QByteArray>(std::move(data));  // the last piece
        if (data.size() > import::kMaxFileBytes) return std::optional<QByteArray>();
    }
    return std::nullopt;
}

}  // namespace sorimba
