#pragma once
// The failure of a media player call. The player throws it; the commands that drive a
// player (the panels, and the row table commands that move them) catch it and end the
// command they run, so it lives below both.

#include <stdexcept>

namespace vk {

class EngineError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace vk
