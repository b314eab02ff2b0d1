#include "link/LinkStatistics.h"

#include <QLocale>
#include <algorithm>

namespace kelvar {

void cLinkStatistics::AddRoundTrip(double ms) {
    if (roundTrips_.size() < RoundTripsKept) {
        roundTrips_.push_back(static_cast<float>(ms));
    } else {
        roundTrips_[next_] = static_cast<float>(ms);
        next_ = (next_ + 1) % RoundTripsKept;
    }
    worstMs_ = std::max(worstMs_, ms);
}

double cLinkStatistics::MedianRoundTripMs() const {
    if (roundTrips_.empty()) {
        return 0;
    }
    std::vector<float> sorted = roundTrips_;
    const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    return *middle;
}

QList<std::pair<QString, QString>> cLinkStatistics::Figures() const {
    const QLocale c = QLocale::c();
    const auto count = [](const char* name, std::int64_t value) {
        return std::pair{QLatin1String(name), QString::number(value)};
    };
    QList<std::pair<QString, QString>> figures{count("Requests", requests),
                                               count("Answers", answers),
                                               count("Time-outs", timeOuts),
                                               count("CRC errors", crcErrors),
                                               count("Unknown answers", unknownAnswers),
                                               count("Late answers discarded", lateAnswers),
                                               count("Repeated answers", repeatedAnswers),
                                               count("Answers in doubt", doubted),
                                               count("Echoes skipped", echoesSkipped),
                                               count("Retries", retries)};
    figures.append({QStringLiteral("Round trip"),
                    HasRoundTrips() ? QStringLiteral("median %1 ms, worst %2 ms")
                                          .arg(c.toString(MedianRoundTripMs(), 'f', 1),
                                               c.toString(WorstRoundTripMs(), 'f', 1))
                                    : QStringLiteral("none yet")});
    return figures;
}

QStringList cLinkStatistics::Lines() const {
    QStringList lines;
    for (const auto& [name, value] : Figures()) {
        lines.append(name + QStringLiteral(": ") + value);
    }
    return lines;
}

} // namespace kelvar
