#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace kelvar::test {

// Does `answer` to the modal window that is up, every 20 ms while one is, as
// a user answers a dialog or a message box that the code under test runs.
class WhenModal {
public:
    explicit WhenModal(std::function<void(QWidget* modal)> answer) {
        QObject::connect(&timer_, &QTimer::timeout, [answer = std::move(answer)] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                answer(modal);
            }
        });
        timer_.start(20);
    }

private:
    QTimer timer_;
};

} // namespace kelvar::test
