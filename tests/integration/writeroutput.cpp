#include "tests/integration/writeroutput.h"

#include "render/outputdriver.h"
#include "tests/support/pump.h"
#include "tests/support/scriptedui.h"
#include "timeline/editor.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

namespace vk::test {

WriterRun RunOutputCommand(Editor& editor, ScriptedUi& ui, OutputKind kind, const QString& target,
                           const std::function<void(const QString& out, QProcess& writer)>& onOutput)
{
    OutputDriver driver(editor);
    driver.setApplicationFolder(QStringLiteral(VK_WRITER_FOLDER));
    ui.saveNames.push_back(target);
    ui.yesNo = {true};
    ui.started.clear();
    if (kind == OutputKind::Mp4)
        driver.CreateMp4();
    else
        driver.CreateAvi();
    WriterRun run;
    if (ui.started.size() != 1)
        return run;
    run.started = true;
    const QStringList command = ui.started.first();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VK_WRITER_NO_DIALOGS"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess p;
    p.setProcessEnvironment(env);
    QByteArray out;
    QObject::connect(&p, &QProcess::readyReadStandardOutput, [&] {
        out += p.readAllStandardOutput();
        if (onOutput)
            onOutput(QString::fromUtf8(out), p);
    });
    p.start(command.at(0), command.mid(1));
    run.finished = testsupport::PumpUntil([&] { return p.state() == QProcess::NotRunning; }, 300000) &&
                   p.exitStatus() == QProcess::NormalExit;
    out += p.readAllStandardOutput();
    run.exitCode = p.exitCode();
    run.crashed = p.exitStatus() == QProcess::CrashExit;
    run.out = QString::fromUtf8(out);
    run.err = QString::fromUtf8(p.readAllStandardError());
    return run;
}

} // namespace vk::test
