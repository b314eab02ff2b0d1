#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QMetaEnum>
#include <QString>
#include <exception>
#include <functional>

namespace kelvar {

// An application whose event loop survives a programming error: an
// exception that escapes a slot or an event handler is caught where the
// event was delivered, reported with what was being handled, and the program
// goes on with the next event. Without this, Qt ends the program.
template <class Base> class cEventGuard : public Base {
public:
    using Base::Base;

    // Told what was being handled and what went wrong; without one, the
    // report goes to standard error.
    std::function<void(const QString& doing, const QString& what)> Report;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return Base::notify(receiver, event);
        } catch (const std::exception& error) {
            Deliver(receiver, event, QString::fromLocal8Bit(error.what()));
        } catch (...) {
            Deliver(receiver, event, QStringLiteral("an unknown exception"));
        }
        return false;
    }

private:
    void Deliver(QObject* receiver, QEvent* event, const QString& what) {
        const char* type = QMetaEnum::fromType<QEvent::Type>().valueToKey(event->type());
        QString name = receiver != nullptr ? receiver->objectName() : QString();
        if (name.isEmpty() && receiver != nullptr) {
            name = QString::fromLatin1(receiver->metaObject()->className());
        }
        const QString doing = QStringLiteral("handling %1 for %2")
                                  .arg(QString::fromLatin1(type != nullptr ? type : "an event"),
                                       name.isEmpty() ? QStringLiteral("the program") : name);
        qWarning("Program error while %s: %s", qUtf8Printable(doing), qUtf8Printable(what));
        // A report that itself fails, or an error met while the report is
        // shown, goes to standard error only.
        if (Report && !reporting_) {
            reporting_ = true;
            try {
                Report(doing, what);
            } catch (...) {
            }
            reporting_ = false;
        }
    }

    bool reporting_ = false;
};

} // namespace kelvar
