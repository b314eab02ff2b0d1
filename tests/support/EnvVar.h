#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace kelvar::test {

// Sets an environment variable for the life of the object.
class EnvVar {
public:
    EnvVar(const char* name, const QByteArray& value)
        : name_(name), wasSet_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        qputenv(name, value);
    }
    ~EnvVar() { wasSet_ ? qputenv(name_, old_) : qunsetenv(name_); }
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

private:
    const char* name_;
    bool wasSet_;
    QByteArray old_;
};

} // namespace kelvar::test
