#pragma once
// A private D-Bus session bus for tests: its own dbus-daemon with a throw-away
// configuration and the limits of a desktop session bus, optionally with a service folder so that calling a name starts the
// program its service file names. Processes the bus starts inherit `environment`, with
// DBUS_SESSION_BUS_ADDRESS naming this bus.

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace vk::test {

class PrivateBus final {
public:
    explicit PrivateBus(const QString& serviceDir = QString(),
                        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool ok() const { return !m_address.isEmpty(); }
    // The bus address, for DBUS_SESSION_BUS_ADDRESS.
    const QString& address() const { return m_address; }
    // Why the bus did not start.
    const QString& error() const { return m_error; }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_daemon;
    QString m_address;
    QString m_error;
};

// Runs a program to its end (at most timeoutMs); returns its exit code, -1 when it
// could not start or did not finish. Standard output goes to `out`, errors to `err`.
int RunProgram(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
               QString* out = nullptr, QString* err = nullptr, int timeoutMs = 30000);

} // namespace vk::test
