#pragma once
namespace kv {
// Placeholder until the simulated meter lands.
class SimMeter {
public:
    int placeholder() const;
};
} // namespace kv
