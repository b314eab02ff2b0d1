#pragma once

#include <array>

namespace kelvar {

// The state behind one option button of the port and speed choices.
struct OptionState {
    bool selected = false;
    bool bold = false;
    bool enabled = true;
    bool green = false; // a sensor answered on this port
};

// The "Comm 1" to "Comm 16" and speed options. Choosing one makes it the
// only selected and bold one of its group; nothing goes on the line until
// the port is opened.
template <int N> class cOptionGroup {
public:
    static constexpr int Size = N;

    void Choose(int index) {
        for (int i = 0; i < N; ++i) {
            options_[i].selected = i == index;
            options_[i].bold = i == index;
        }
    }
    // -1 when none is selected.
    int Chosen() const {
        for (int i = 0; i < N; ++i) {
            if (options_[i].selected) {
                return i;
            }
        }
        return -1;
    }
    OptionState& operator[](int index) { return options_.at(static_cast<std::size_t>(index)); }
    const OptionState& operator[](int index) const {
        return options_.at(static_cast<std::size_t>(index));
    }

private:
    std::array<OptionState, N> options_{};
};

using PortOptionGroup = cOptionGroup<16>;
using SpeedOptionGroup = cOptionGroup<4>;

} // namespace kelvar
