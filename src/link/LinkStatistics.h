#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <utility>
#include <vector>

namespace kelvar {

// What the line did for one sensor, so that a bad cable shows up as numbers.
struct cLinkStatistics {
    // Round trips kept for the median: the most recent ones.
    static constexpr std::size_t RoundTripsKept = 4096;

    std::int64_t requests = 0;        // put on the line, retries included
    std::int64_t answers = 0;         // taken as the answer to their request
    std::int64_t timeOuts = 0;        // requests that got nothing in time
    std::int64_t crcErrors = 0;       // answers that failed their CRC check
    std::int64_t unknownAnswers = 0;  // good CRC, but a letter nobody knows
    std::int64_t lateAnswers = 0;     // frames that came when no request of theirs waited
    std::int64_t repeatedAnswers = 0; // stray frames that were copies of the one before
    std::int64_t echoesSkipped = 0;   // our own requests heard back on a two-wire line
    std::int64_t retries = 0;         // requests asked again
    std::int64_t doubted = 0;         // answers put in doubt by a frame that followed them

    void AddRoundTrip(double ms);
    bool HasRoundTrips() const { return !roundTrips_.empty(); }
    double MedianRoundTripMs() const;
    double WorstRoundTripMs() const { return worstMs_; }

    // The figures for people, named, in a fixed order: ("Requests", "230") ...
    QList<std::pair<QString, QString>> Figures() const;
    // The same as lines: "Requests: 230" ...
    QStringList Lines() const;

private:
    std::vector<float> roundTrips_; // a ring of the last RoundTripsKept
    std::size_t next_ = 0;
    double worstMs_ = 0;
};

} // namespace kelvar
