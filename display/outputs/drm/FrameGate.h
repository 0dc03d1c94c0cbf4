#pragma once

namespace lumora {

// One flush at a time. A frame offered while the previous one is still on its way is dropped,
// not queued, so a slow link costs frames rather than latency; the panel still ends on the
// latest picture because the flush's completion asks for one more frame if any was dropped.
class FrameGate {
public:
    enum class Offer { push, drop };

    // A new frame is ready. push: send it now (the gate is then in flight until completed()).
    Offer offer() {
        if (m_inFlight) {
            m_dropped = true;
            return Offer::drop;
        }
        m_inFlight = true;
        return Offer::push;
    }

    // The flush in flight finished. True when a frame was dropped meanwhile: the caller should
    // offer the current picture again.
    bool completed() {
        m_inFlight = false;
        bool again = m_dropped;
        m_dropped = false;
        return again;
    }

    // The flush failed or was never started: nothing is in flight and nothing is owed.
    void reset() {
        m_inFlight = false;
        m_dropped = false;
    }

    bool inFlight() const { return m_inFlight; }

private:
    bool m_inFlight = false;
    bool m_dropped = false;
};

} // namespace lumora
