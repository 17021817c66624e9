#include "tests/app/privatebus.h"

#include <QDeadlineTimer>
#include <QFile>

namespace vk::test {

PrivateBus::PrivateBus(const QString& serviceDir, const QProcessEnvironment& environment)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }
    QString config =
        QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig>\n"
                       "  <type>session</type>\n"
                       "  <listen>unix:path=%1</listen>\n"
                       "  <auth>EXTERNAL</auth>\n"
                       "%2"
                       // The limits of a desktop session bus (session.conf), not the
                       // daemon's low defaults (128 calls awaiting answers per client).
                       "  <limit name=\"max_incoming_bytes\">1000000000</limit>\n"
                       "  <limit name=\"max_outgoing_bytes\">1000000000</limit>\n"
                       "  <limit name=\"max_message_size\">1000000000</limit>\n"
                       "  <limit name=\"max_replies_per_connection\">50000</limit>\n"
                       "  <policy context=\"default\">\n"
                       "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                       "    <allow eavesdrop=\"true\"/>\n"
                       "    <allow own=\"*\"/>\n"
                       "  </policy>\n"
                       "</busconfig>\n");
    const QString services =
        serviceDir.isEmpty() ? QString() : QStringLiteral("  <servicedir>%1</servicedir>\n").arg(serviceDir);
    // A fixed socket, so that the daemon's own environment (which the programs it starts
    // inherit) can name the bus before the daemon runs.
    const QString socket = m_dir.filePath(QStringLiteral("bus"));
    config = config.arg(socket, services);
    QProcessEnvironment daemonEnvironment = environment;
    daemonEnvironment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + socket);
    const QString configPath = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile file(configPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0) {
        m_error = QStringLiteral("cannot write the bus configuration");
        return;
    }
    file.close();

    m_daemon = std::make_unique<QProcess>();
    m_daemon->setProcessEnvironment(daemonEnvironment);
    m_daemon->setProcessChannelMode(QProcess::SeparateChannels);
    m_daemon->start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + configPath,
                                                    QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!m_daemon->waitForStarted(10000)) {
        m_error = QStringLiteral("dbus-daemon did not start");
        return;
    }
    QByteArray line;
    QDeadlineTimer deadline(10000);
    while (!line.contains('\n') && !deadline.hasExpired()) {
        if (!m_daemon->waitForReadyRead(int(deadline.remainingTime())))
            break;
        line += m_daemon->readAllStandardOutput();
    }
    if (!line.contains('\n')) {
        m_error =
            QStringLiteral("dbus-daemon gave no address: ") + QString::fromLocal8Bit(m_daemon->readAllStandardError());
        return;
    }
    m_address = QString::fromUtf8(line.left(line.indexOf('\n'))).trimmed();
}

PrivateBus::~PrivateBus()
{
    if (m_daemon && m_daemon->state() != QProcess::NotRunning) {
        m_daemon->terminate();
        if (!m_daemon->waitForFinished(5000)) {
            m_daemon->kill();
            m_daemon->waitForFinished(5000);
        }
    }
}

int RunProgram(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
               QString* out, QString* err, int timeoutMs)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        return -1;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return -1;
    }
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput());
    if (err)
        *err = QString::fromUtf8(process.readAllStandardError());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace vk::test
