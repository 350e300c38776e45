#pragma once
// How a port OS transfer tells its caller how far it is.
#include <functional>

namespace zelmar::net {

// The share of a port OS image the controller has taken, 0 to 100, in order.
// Called on the calling thread while the transfer runs: whenever the share
// grows, and now and then while it does not, so that a window can repaint.
using UpgradeProgress = std::function<void(int percent)>;

}  // namespace zelmar::net
