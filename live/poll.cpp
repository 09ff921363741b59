#include "live/poll.h"

#include "link/commands.h"
#include "live/decoder.h"

namespace kv {
namespace {

// Display memory is present unless every byte 40..59 reads 0xFF.
bool HasDisplayMemory(const ReplyBuffer &reply)
{
    for (int i = 40; i <= 59; ++i)
        if (reply[static_cast<std::size_t>(i)] != 0xFF)
            return true;
    return false;
}

} // namespace

PollLoop::PollLoop(MeterLink &link, PollView &view) : m_link(link), m_view(view) {}

void PollLoop::PollTick()
{
    m_link.LinkBusy = true;

    const QDateTime stamp = Clock();
    const int second = stamp.time().second();
    if (second != LastSecond) {
        ++SecondTicks;
        LastSecond = second;
    }

    if (!m_link.isConnected()) {
        if (m_link.QueryUsb(cmd::Identify) && IsMeterIdentification(m_link.Reply.data())) {
            m_link.Kind = kv::LinkKind::Usb;
            m_view.HideLinkPicture();
        }
        if (m_link.isConnected())
            ConnectionFound();
    } else if (m_link.ReadLiveReply()) {
        PollFailures = 0;
        if (HasLiveMarkers(m_link.Reply.data())) {
            const bool displayPresent = HasDisplayMemory(m_link.Reply);
            DecodeLiveReply(m_link.Reply.data(), Reading);
            Reading.StatusByte = m_link.Reply[6];
            if (displayPresent)
                m_view.UpdatePanel(Reading);
            if (m_view.IsRecordingRealTime() && SecondTicks >= m_view.RealTimeSamplingPeriod()) {
                SecondTicks = 0;
                m_view.AddRealTimeSample(Reading, stamp);
            }
        }
    } else if (++PollFailures >= PollFailureLimit) {
        ConnectionLost();
    }

    m_link.LinkBusy = false;
}

void PollLoop::ConnectionFound()
{
    m_view.ShowConnectionFound();
}

void PollLoop::ConnectionLost()
{
    Reading.RecBlink = false;
    Reading.MmaMode = false;
    PollFailures = 0;
    m_view.ShowConnectionLost();
    m_link.Kind = kv::LinkKind::None;
}

void PollLoop::DropLink()
{
    // Polling starts again when the operation holding the link (this one,
    // or the download that drops it) ends.
    const LinkLease lease(m_link, true, LinkLease::Join);
    if (m_link.serial())
        m_link.serial()->close();
    m_link.Kind = kv::LinkKind::None;
    Reading.RecBlink = false;
    Reading.MmaMode = false;
    m_view.ShowLinkDropped();
}

} // namespace kv
