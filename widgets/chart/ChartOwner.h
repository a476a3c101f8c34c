#pragma once

// How a series or an axis tells whoever draws it that it changed, without knowing it: the
// plot that takes a series or makes an axis installs itself as their owner.

namespace chart {

enum class TChange {
    Points,  // points were added: shown at the slower pace of new points
    Content, // what is shown changed otherwise: points cleared, a series switched on or off
    Look,    // a property that shapes the picture changed: all of it is drawn afresh
};

class TOwner {
public:
    virtual void Changed(TChange change) = 0;

protected:
    ~TOwner() = default;
};

} // namespace chart
