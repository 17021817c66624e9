#pragma once
// The output commands of the main window: preview, AVI/WAV file, WMV/ASF file and MP4
// file.
//
// VideoFileOutput checks the inputs, chooses the output file and the range, writes the
// timeline document and the writer parameters document into the temporary folder and
// starts T-VideoWrite with the parameters path as its single argument; it does not wait
// for the writer and learns nothing of its outcome (the writer reports it). A render
// that cannot start is said to the user: a document that cannot be written (a full or
// removed temporary folder) with its path and the reason, a row or a speed that cannot
// be read, a dragged range left beyond the last row; documents already written stay.
//
// Files chosen for output are compared with every input by their canonical paths, so
// neither a row's video file nor the sound clip can be chosen as the output under
// another spelling of its path. A writer that cannot be started is reported with its
// path.
//
// The temporary folder is TEMP when that is set; otherwise a private folder of the user
// (mode 0700) under the system's temporary folder, which is refused when it is a
// symbolic link or belongs to someone else. The documents' names are fixed, so two
// editors rendering at once would write over each other's: the first editor to write
// there holds the folder (the lock file "T-KaDro.lock" beside the documents, freed when
// that editor ends and found stale when it died), and any other editor meanwhile writes
// its documents into a folder of its own inside it ("T-KaDro-<process id>"). The output format record and the WMV
// profile name are kept here between outputs; the output's own frame interval is kept
// next to them and never replaces the sound clip's frame interval. An MP4 output takes
// its picture size and frame rate from the MP4 list instead of the AVI list, for the
// timeline document and the parameters document alike; the writer does the rest.

#include "render/outputformats.h"
#include "render/playbackratesource.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QLockFile;

namespace vk {

class Editor;

// The time factor f = 1 / playback rate of the sound (1 when the rate reads 0): from
// `rate` when given, else from the sound clip panel's speed box, else 1.0. Throws
// ConversionError when the rate text is not a number.
double TimeFactor(const PlaybackRateSource* rate, const Editor& editor);

// The message for a dragged range left beyond the last row (the table became shorter
// since), or nullopt when the range lies in the table.
std::optional<QString> DraggedRangeBeyondTable(const Editor& editor);

class OutputDriver final {
public:
    // `rate` gives the sound playback rate text; without one it is the speed box of the
    // sound panel, or "1.0" when there is no sound panel.
    explicit OutputDriver(Editor& editor, const PlaybackRateSource* rate = nullptr);
    // Leaves the temporary folder to the next editor (an own folder goes once empty).
    ~OutputDriver();
    OutputDriver(const OutputDriver&) = delete;
    OutputDriver& operator=(const OutputDriver&) = delete;

    // previewMode: 0 file output, 1 preview of the whole clip, 2 preview of the dragged
    // range. fileType: 0 AVI/WAV, 1 WMV/ASF, 2 MP4 (chooses the save dialog; MP4 also
    // the format and the parameters).
    void VideoFileOutput(int previewMode, int fileType);

    // The four buttons: each empties the output path first. Preview previews the
    // dragged range when "ﾄﾞﾗｯｸﾞ選択範囲に限定" is ticked and gives the focus back to the
    // sound slider.
    void Preview();
    void CreateAvi();
    void CreateWmv();
    void CreateMp4();

    // The timeline and parameters documents written by the last output of this session
    // (empty before the first): the main window deletes them at shutdown.
    QStringList temporaryDocuments() const;

    // The folder T-VideoWrite is started from; the application's folder unless set.
    void setApplicationFolder(const QString& folder) { m_appFolder = folder; }
    QString applicationFolder() const;
    // The program path that is started.
    QString writerProgram() const;

    // The temporary folder: TEMP when set, else the private per-user folder, created
    // when missing. nullopt when the private folder cannot be used safely.
    static std::optional<QString> temporaryFolder();
    // Where this editor writes its documents: the temporary folder while it holds it,
    // else its own folder inside it (see above). nullopt as temporaryFolder.
    std::optional<QString> documentFolder();
    // True when two paths name the same file: canonical paths for existing files,
    // cleaned absolute paths otherwise. Empty paths name no file.
    static bool SameFile(const QString& a, const QString& b);

    const OutputFormat& outputFormat() const { return m_format; }
    const QString& prxFileName() const { return m_prxFile; }
    int outputFrameInterval() const { return m_outputFrameInterval; }

private:
    // The save dialog unless the output path is already set; false to stop.
    bool chooseOutputFile(int fileType);
    // Warns and returns true when the output path names an input file.
    bool refuseInputFile();

    Editor& m_editor;
    const PlaybackRateSource* m_rate;
    QString m_appFolder;
    OutputFormat m_format;
    QString m_prxFile;
    int m_outputFrameInterval = 0;
    QString m_clipsPath;
    QString m_paramsPath;
    QString m_graphPath;
    QString m_xtlPath;
    // The temporary folder this editor holds (with its lock), or its own folder in it.
    QString m_heldBase;
    std::unique_ptr<QLockFile> m_folderLock;
    QString m_ownFolder;
};

} // namespace vk
