#pragma once

#include <stdexcept>
#include <string>

namespace kelvar {

// An index given to one of the data classes lies outside its table. Nothing
// was stored; the message names the index and its allowed range.
class SubscriptOutOfRange : public std::out_of_range {
public:
    SubscriptOutOfRange(const std::string& what, long long index, long long low, long long high)
        : std::out_of_range("subscript out of range: " + what + " " + std::to_string(index) +
                            " (allowed " + std::to_string(low) + " to " + std::to_string(high) +
                            ")"),
          index_(index) {}
    long long index() const { return index_; }

private:
    long long index_;
};

// Run-time error 5, "invalid procedure call or argument": a bit number
// outside 0 to 31 given to a bit map.
class InvalidArgument : public std::invalid_argument {
public:
    static constexpr int Number = 5;
    InvalidArgument(const std::string& what, long long value)
        : std::invalid_argument("error 5 (invalid procedure call or argument): " + what + " " +
                                std::to_string(value)),
          value_(value) {}
    long long value() const { return value_; }

private:
    long long value_;
};

} // namespace kelvar
