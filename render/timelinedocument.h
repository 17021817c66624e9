#pragma once
// The timeline document: the row table and the sound clip as an XTL timeline
// (timeline / group / track / clip / transition, times in seconds) for T-VideoWrite.
//
// One video group holds the row clips: they go into the current track, and every row
// with an effect opens a new, higher track whose transition blends from the tracks
// below during the first part of its section, while the previous clip runs on under it
// for that long. One audio group cuts the sound clip into one piece per row. Timeline
// times (start, stop) are the section times multiplied by the time factor f (1 over the
// sound playback rate) and rounded to three decimals; media times (mstart, mstop) are
// the plain seconds. The same document serves preview and file output: the range to
// render travels in the writer parameters.
//
// Section starts are the rows' starts in ms, in and out points are on the row's own
// video frames. A row without a field it needs (a start, a registered row's frame
// interval or points) raises ConversionError; a file that cannot be written raises
// DocumentWriteError. Nothing is caught here: the output command decides.

#include "render/outputformats.h"

#include <QString>
#include <pugixml.hpp>
#include <stdexcept>

namespace vk {

class RowTable;

class DocumentWriteError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    // A file that could not be written, and why in the system's words (with the full
    // disk said in the editor's).
    DocumentWriteError(const QString& path, const QString& reason)
        : std::runtime_error("cannot write the document"), m_path(path), m_reason(reason)
    {
    }
    const QString& path() const { return m_path; }
    const QString& reason() const { return m_reason; }

private:
    QString m_path;
    QString m_reason;
};

// What the timeline is built from besides the output format.
struct TimelineInputs final {
    const RowTable& grid; // the row table (data rows 1 .. Rows-1)
    QString soundFile;    // the sound clip field, written as the audio clips' src
    int soundLength = 0;  // sound clip length in ms: the end of the last section
};

// Maps an effect name of column 8 to the CLSID text of its transition; an unknown name
// gives the fade. With video false the audio transition's CLSID is returned.
QString TransitionClsid(bool video, const QString& effectName);

// The document as text: UTF-8 content, no declaration, no white space between elements.
QString TimelineDocumentText(const TimelineInputs& inputs, const OutputFormat& format, int fileType, double f);
// Builds the document and saves it to path, replacing the file. fileType (0 AVI/WAV,
// 1 WMV/ASF, 2 MP4) is accepted for the caller's symmetry and changes nothing.
void TimelineWrite(const TimelineInputs& inputs, const QString& path, const OutputFormat& format, int fileType,
                   double f);

// ---- document helpers shared by the render documents -------------------------------
// Creates an attribute with the given text on an element.
void SetXmlAttribute(pugi::xml_node element, const char* name, const QString& value);
// Serialises a document raw: UTF-8, no declaration, no white space between elements.
QByteArray RawXmlBytes(const pugi::xml_document& doc);
// Writes the bytes to path, replacing the file only once they are all on the disk;
// throws DocumentWriteError with the path and the reason on failure, leaving nothing.
void SaveXmlBytes(const QString& path, const QByteArray& bytes);

} // namespace vk
