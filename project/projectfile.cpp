#include "project/projectfile.h"

#include "base/logging.h"
#include "base/numbers.h"
#include "base/version.h"
#include "timeline/editor.h"
#include "timeline/soundtransport.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

#include <pugixml.hpp>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace vk {

namespace {

const char* const kClipsXPath = "/project/videoclips/videoclip";

QString warningText(const QString& path, const QString& what, const QString& reason)
{
    return path + QLatin1Char('\n') + what + QLatin1Char('\n') + reason;
}

// Reads an integer attribute into value; a missing or non-numeric one leaves value as
// it was (the value of the videoclip before).
// Plain decimal integers, the form this program writes, are read directly; anything
// else (blanks, a sign, decimals) goes through the editor's number rules.
bool parseInt(const char* text, int& out)
{
    const char* p = text;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    long long v = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9' && digits <= 10; ++p, ++digits)
        v = v * 10 + (*p - '0');
    if (*p != '\0' || digits == 0 || digits > 10)
        return TryParseInt32(QString::fromUtf8(text), out);
    if (negative)
        v = -v;
    if (v < INT_MIN || v > INT_MAX)
        return false;
    out = int(v);
    return true;
}

void readInt(const pugi::xml_node& node, const char* name, int& value)
{
    const pugi::xml_attribute a = node.attribute(name);
    if (!a)
        return;
    int v = 0;
    if (parseInt(a.value(), v))
        value = v;
}

void readText(const pugi::xml_node& node, const char* name, QString& value)
{
    const pugi::xml_attribute a = node.attribute(name);
    if (a)
        value = QString::fromUtf8(a.value());
}

// Collects the document text in memory, so that the file is written in one piece.
class ByteWriter final : public pugi::xml_writer {
public:
    explicit ByteWriter(QByteArray& out) : m_out(out) {}
    void write(const void* data, size_t size) override
    {
        m_out.append(static_cast<const char*>(data), qsizetype(size));
    }

private:
    QByteArray& m_out;
};

} // namespace

ProjectFile::ProjectFile(Editor& editor, MediaSizeProbe probe) : m_editor(editor), m_probe(std::move(probe)) {}

// ---- media sizes ------------------------------------------------------------------------

void ProjectFile::FillMediaSizes(Editor& editor, const std::vector<int>& rows, const MediaSizeProbe& probe)
{
    RowTable& g = editor.Grid();
    QHash<QString, std::optional<MediaSize>> known;
    for (int row : rows) {
        if (row < 1 || row >= g.Rows())
            continue;
        const QString& file = g.videoFile(row);
        if (file.isEmpty())
            continue;
        auto it = known.constFind(file);
        if (it == known.constEnd()) {
            std::optional<MediaSize> size;
            int w = 0;
            int h = 0;
            if (probe && probe(file, w, h))
                size = MediaSize{w, h};
            it = known.insert(file, size);
        }
        g.setMediaSize(row, *it);
    }
}

// ---- reading ------------------------------------------------------------------------------

bool ProjectFile::ReadDocument(const QString& path, Document& out, QString& reason)
{
    out = Document();
    QFile file(path);
    if (!QFileInfo(path).isFile()) {
        reason = QStringLiteral("ファイルが見つかりません。");
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        reason = file.errorString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        reason = file.errorString();
        return false;
    }
    file.close();

    pugi::xml_document doc;
    const pugi::xml_parse_result parsed =
        doc.load_buffer(bytes.constData(), size_t(bytes.size()), pugi::parse_default, pugi::encoding_auto);
    if (!parsed) {
        reason = QStringLiteral("XML の形式が正しくありません（%1 バイト目）。").arg(qlonglong(parsed.offset));
        return false;
    }
    const pugi::xml_node root = doc.document_element();
    if (!root || std::strcmp(root.name(), "project") != 0) {
        reason = QStringLiteral("プロジェクトファイルではありません。");
        return false;
    }

    const pugi::xml_attribute soundFile = root.child("soundclip").attribute("soundfile");
    if (soundFile)
        out.soundFile = QString::fromUtf8(soundFile.value());

    // The values of one videoclip carry over to the next wherever an attribute is
    // missing or not a number; a clip without video reads nothing past its file name.
    Clip current;
    const pugi::xpath_node_set nodes = doc.select_nodes(kClipsXPath);
    out.clips.reserve(nodes.size());
    for (const pugi::xpath_node& xn : nodes) {
        const pugi::xml_node node = xn.node();
        readInt(node, "soundmsec", current.soundMsec);
        readText(node, "videofile", current.videoFile);
        if (!current.videoFile.isEmpty()) {
            readInt(node, "intervalmsec", current.intervalMsec);
            readInt(node, "beginmsec", current.beginMsec);
            readInt(node, "endmsec", current.endMsec);
            readText(node, "rate", current.rate);
            readText(node, "trans", current.trans);
            readText(node, "transmsec", current.transMsec);
        }
        out.clips.push_back(current);
    }

    const pugi::xml_node grid = root.child("beatgrid");
    if (grid)
        out.beatGrid = BeatGridElement{QByteArray(grid.attribute("soundkey").value()), QByteArray(grid.text().get())};
    return true;
}

void ProjectFile::WriteClip(Editor& editor, int row, const Clip& clip)
{
    RowTable& g = editor.Grid();
    g.setVideoFile(row, clip.videoFile);
    g.setFrameInterval(row, clip.intervalMsec);
    // A point the time text cannot hold (a negative or zero interval, a time beyond
    // the editor's range) leaves the row without it: the row then counts as one
    // without a usable span, as a file from an older version with damaged points
    // always has.
    if (!g.setInPoint(row, clip.beginMsec))
        qCWarning(lcEdit) << "project: an in point the time text cannot hold passed over:" << clip.beginMsec;
    if (!g.setOutPoint(row, clip.endMsec))
        qCWarning(lcEdit) << "project: an out point the time text cannot hold passed over:" << clip.endMsec;
    // A rate that is no speed setting reads as none: the load works it out again. A
    // ratio's number is not kept: the table works it out from the span and the section.
    SpeedSetting speed;
    try {
        speed = SpeedSetting::fromText(clip.rate);
    } catch (const ConversionError& e) {
        LogPassedOver(lcEdit, "project: a rate", e);
    }
    g.setSpeed(row, speed);
    g.setEffect(row, clip.trans);
    // A length that is no number reads as none: the row keeps its effect without one.
    std::optional<double> length;
    if (!clip.transMsec.isEmpty()) {
        try {
            length = ParseNumber(clip.transMsec);
            if (!std::isfinite(*length))
                throw ConversionError(ConversionError::Kind::Overflow, "transition length out of range");
        } catch (const ConversionError& e) {
            LogPassedOver(lcEdit, "project: a transition length", e);
        }
    }
    g.setEffectLength(row, length);
}

bool ProjectFile::ProjectLoad(const QString& path)
{
    // Everything is read before the table is touched: a file that cannot be used leaves
    // the table, the sound clip and the project path as they are.
    Document doc;
    QString reason;
    if (!ReadDocument(path, doc, reason)) {
        m_editor.ui().message(warningText(path, QStringLiteral("プロジェクトファイルを開けません。"), reason),
                              UserDialogs::Icon::Warning);
        return false;
    }

    m_editor.sections().SndClear();
    if (doc.soundFile)
        m_editor.setSndFile(*doc.soundFile);
    if (SoundTransport* sound = m_editor.soundPanel())
        sound->SndFileLoad(m_editor.sndFile());

    RowTable& g = m_editor.Grid();
    const int n = int(doc.clips.size());
    g.setRows(n + 1);
    const int interval = m_editor.sndFrameInterval();
    std::vector<int> videoRows;
    for (int i = 0; i < n; ++i) {
        const int row = i + 1;
        const Clip& clip = doc.clips[size_t(i)];
        // Rows left over from before the load start empty.
        g.clearRegistration(row);
        // Shown empty when the time text cannot hold it; the start in ms is what the
        // commands and the output use.
        if (!g.setSectionStart(row, clip.soundMsec, interval))
            qCWarning(lcEdit) << "project: a section start the time text cannot show:" << clip.soundMsec;
        if (clip.videoFile.isEmpty())
            continue;
        WriteClip(m_editor, row, clip);
        videoRows.push_back(row);
    }
    FillMediaSizes(m_editor, videoRows, m_probe);
    if (m_gridHooks.load)
        m_gridHooks.load(doc.beatGrid);

    // The refresh tells the views that the table changed.
    m_editor.RowRefresh(-1);
    m_editor.selection().SelectRow(1);
    return true;
}

// ---- writing ------------------------------------------------------------------------------

bool ProjectFile::buildCurrentDocument(QByteArray& out, QString& reason) const
{
    return BuildDocument(m_editor, out, reason, m_gridHooks.save ? m_gridHooks.save() : std::nullopt);
}

bool ProjectFile::BuildDocument(const Editor& editor, QByteArray& out, QString& reason,
                                const std::optional<BeatGridElement>& beatGrid)
{
    const RowTable& g = editor.Grid();

    pugi::xml_document doc;
    doc.load_string("<project/>");
    pugi::xml_node root = doc.document_element();
    root.append_attribute("version").set_value(VersionText().toUtf8().constData());
    root.append_child("soundclip").append_attribute("soundfile").set_value(editor.sndFile().toUtf8().constData());
    pugi::xml_node clips = root.append_child("videoclips");

    char number[16];
    auto setInt = [&number](pugi::xml_node& node, const char* name, int value) {
        std::snprintf(number, sizeof number, "%d", value);
        node.append_attribute(name).set_value(number);
    };
    auto setText = [](pugi::xml_node& node, const char* name, const QString& value) {
        node.append_attribute(name).set_value(value.toUtf8().constData());
    };

    for (int r = 1; r < g.Rows(); ++r) {
        int soundMsec = 0;
        int interval = -1;
        int begin = -1;
        int end = -1;
        QString rate;
        try {
            // The start the output cuts at, to the millisecond; the time text beside it is
            // only its display, truncated to the sound's frames.
            soundMsec = g.sectionStart(r);
            interval = g.frameInterval(r).value_or(-1);
            begin = g.inPoint(r).value_or(-1);
            end = g.outPoint(r).value_or(-1);
            rate = g.speedText(r, editor.sndLength());
        } catch (const ConversionError&) {
            reason = QStringLiteral("%1 行目の値が正しくありません。").arg(r);
            return false;
        }
        pugi::xml_node clip = clips.append_child("videoclip");
        setInt(clip, "soundmsec", soundMsec);
        setText(clip, "videofile", g.videoFile(r));
        setInt(clip, "beginmsec", begin);
        setInt(clip, "endmsec", end);
        setInt(clip, "intervalmsec", interval);
        setText(clip, "rate", rate);
        setText(clip, "trans", g.effect(r));
        const std::optional<double> length = g.effectLength(r);
        setText(clip, "transmsec", length ? ShortestDecimal(*length) : QString());
    }

    if (beatGrid && !beatGrid->corrections.isEmpty()) {
        pugi::xml_node grid = root.append_child("beatgrid");
        grid.append_attribute("soundkey").set_value(beatGrid->soundKey.constData());
        grid.text().set(beatGrid->corrections.constData());
    }

    out.clear();
    ByteWriter writer(out);
    doc.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return true;
}

bool ProjectFile::ProjectSave(const QString& path)
{
    UserDialogs& ui = m_editor.ui();
    if (m_editor.sndFile().isEmpty()) {
        ui.message(QStringLiteral("音声ﾌｧｲﾙが指定されていません。"), UserDialogs::Icon::Warning);
        return false;
    }
    if (!ConfirmOverwrite(ui, path))
        return false;

    const QString what = QStringLiteral("プロジェクトを保存できませんでした。");
    QByteArray bytes;
    QString reason;
    if (!buildCurrentDocument(bytes, reason)) {
        ui.message(warningText(path, what, reason), UserDialogs::Icon::Warning);
        return false;
    }

    // The new project goes to a temporary file beside the target and replaces it only
    // once it is complete. Unbuffered, so that a write that fails (a full disk) is seen
    // before the commit: a failure inside the final flush would otherwise go unnoticed
    // and a truncated file would replace the previous project.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || file.write(bytes) != bytes.size() ||
        !file.flush() || !file.commit()) {
        reason = file.errorString();
        file.cancelWriting();
        ui.message(warningText(path, what, reason), UserDialogs::Icon::Warning);
        return false;
    }
    m_editor.history().markSaved();
    m_editor.setModified(false);
    return true;
}

// ---- commands -----------------------------------------------------------------------------

UserDialogs::FileDialog ProjectFile::openDialog()
{
    UserDialogs::FileDialog d;
    d.title = QStringLiteral("プロジェクトを開く");
    d.filter = QStringLiteral("プロジェクトファイル (*.rem)");
    return d;
}

bool ProjectFile::mayReplaceProject()
{
    const bool wasModified = m_editor.modified();
    if (!m_editor.askSaveChanges())
        return false;
    // A Yes that saved the project clears the flag; the command ends there all the same.
    return !(wasModified && !m_editor.modified());
}

bool ProjectFile::readOnly() const
{
    return !m_readOnlyPath.isEmpty() && m_readOnlyPath == m_editor.projectPath();
}

std::optional<ProjectFile::OpenMode> ProjectFile::openModeFor(const QString& path)
{
    if (!m_openElsewhere || !m_openElsewhere(path))
        return OpenMode::Normal;
    const QString text =
        QStringLiteral(
            "このプロジェクトは、ほかの videokadro で開かれていて、保存されていない変更があります。\r\n\r\n") +
        QStringLiteral("プロジェクト: ") + QFileInfo(path).fileName() + QStringLiteral("\r\n") + path +
        QStringLiteral("\r\n\r\n読み取り専用で開くと、上書き保存のときに新しい名前を尋ねます。");
    const int chosen = m_editor.ui().askChoice(
        text, UserDialogs::Icon::Exclamation,
        {QStringLiteral("読み取り専用で開く"), QStringLiteral("そのまま開く"), QStringLiteral("キャンセル")});
    if (chosen == 0)
        return OpenMode::ReadOnly;
    if (chosen == 1)
        return OpenMode::Normal;
    return std::nullopt;
}

void ProjectFile::openProject(const QString& path)
{
    const std::optional<OpenMode> mode = openModeFor(path);
    if (!mode)
        return;
    if (!ProjectLoad(path))
        return;
    m_editor.setProjectPath(path);
    m_readOnlyPath = *mode == OpenMode::ReadOnly ? path : QString();
}

void ProjectFile::ProjectOpenFile(const QString& path)
{
    if (!mayReplaceProject())
        return;
    openProject(path);
}

void ProjectFile::OpenCommand()
{
    QString path;
    QStringList& args = m_editor.args();
    if (args.size() > 1 && !args.at(1).isEmpty()) {
        // A project named on the command line opens once, without question or dialog.
        path = args.at(1);
        args.clear();
    } else {
        if (!mayReplaceProject())
            return;
        const std::optional<QString> chosen = m_editor.ui().openFileName(openDialog());
        if (!chosen)
            return;
        path = *chosen;
    }
    if (path.isEmpty())
        return;
    openProject(path);
}

void ProjectFile::SaveCommand()
{
    if (m_editor.projectPath().isEmpty() || readOnly())
        SaveAsCommand();
    else
        ProjectSave(m_editor.projectPath());
}

bool ProjectFile::SaveAsCommand()
{
    UserDialogs::FileDialog d;
    d.filter = QStringLiteral("*.rem (*.rem)");
    d.defaultSuffix = QStringLiteral("rem");
    d.fileName = m_lastSaveName;
    const std::optional<QString> chosen = m_editor.ui().saveFileName(d);
    if (!chosen || chosen->isEmpty())
        return false;
    m_lastSaveName = *chosen;
    // The project becomes the chosen file only once it has been written there.
    if (!ProjectSave(*chosen))
        return false;
    m_editor.setProjectPath(*chosen);
    // Written where the user chose, even over the file opened read-only: it is theirs now.
    m_readOnlyPath.clear();
    return true;
}

void ConnectProjectCommands(Editor& editor, ProjectFile& project)
{
    editor.setProjectCommands(&project);
}

} // namespace vk
