#pragma once

#include "link/SensorLink.h"

#include <QTimer>
#include <functional>

namespace kelvar::test {

// Runs `action` from the event loop once the link waits for an answer (not
// during a recovery pause before the request goes out).
inline void WhileWaiting(cSensorLink& link, std::function<void()> action) {
    auto* timer = new QTimer(&link);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, &link, [timer, &link, action = std::move(action)] {
        if (link.AwaitingReply()) {
            timer->stop();
            timer->deleteLater();
            action();
        }
    });
    timer->start();
}

} // namespace kelvar::test
