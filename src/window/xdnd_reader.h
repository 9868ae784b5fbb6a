#pragma once
// The data of a drop from another program, read from the X server with a
// time limit for each offer. Qt's own reading of a drop waits 5 s for a
// program that does not answer, and as long again for each offer after it;
// a drop must not hold the window that long.

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

struct xcb_connection_t;

namespace sorimba {

class XdndReader {
public:
    // How long the program that dragged may take to hand over one offer.
    static constexpr std::chrono::milliseconds kOfferLimit{2000};

    // Starts noting the drops that reach the program (the time stamp of a
    // drop tells the dragging program which drop its data are asked for).
    // Does nothing but on X11.
    static void watchDrops();
    // A reader for the drop being delivered now; null when there is none
    // from another program, or not on X11.
    static std::unique_ptr<XdndReader> forCurrentDrop();

    ~XdndReader();
    XdndReader(const XdndReader&) = delete;
    XdndReader& operator=(const XdndReader&) = delete;

    // The data of the drop's offer of a MIME type (text/plain: as UTF-8),
    // or nothing when the program refused it or did not hand it over in
    // time (`limit` for the offer, all its forms together).
    std::optional<QByteArray> read(const QString& type,
                                   std::chrono::milliseconds limit = kOfferLimit);

private:
    using Clock = std::chrono::steady_clock;
    // Refused: an answer without data. Nothing: no answer in time.
    using Answer = std::optional<std::optional<QByteArray>>;

    explicit XdndReader(std::uint32_t dropTime);
    bool valid() const { return window_ != 0; }
    std::uint32_t atom(const QByteArray& name) const;
    Answer convert(std::uint32_t target, Clock::time_point deadline);
    Answer readProperty(Clock::time_point deadline);
    Answer readIncrements(Clock::time_point deadline);

    xcb_connection_t* connection_ = nullptr;
    std::uint32_t window_ = 0;
    std::uint32_t dropTime_ = 0;
    std::uint32_t property_ = 0;
};

}  // namespace sorimba
