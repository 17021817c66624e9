#include "project/clipimport.h"

#include "project/projectfile.h"
#include "timeline/editor.h"

#include <vector>

namespace vk {

ClipImport::ClipImport(Editor& editor, MediaSizeProbe probe) : m_editor(editor), m_probe(std::move(probe)) {}

void ClipImport::ImportCommand()
{
    const bool wasModified = m_editor.modified();
    if (!m_editor.askSaveChanges())
        return;
    // A Yes that saved the project ends the command as well.
    if (wasModified && !m_editor.modified())
        return;
    const std::optional<QString> chosen = m_editor.ui().openFileName(ProjectFile::openDialog());
    if (!chosen || chosen->isEmpty())
        return;
    ClipsImport(*chosen);
}

void ClipImport::ClipsImport(const QString& path)
{
    m_editor.history().SaveUndoData();
    const RowTable before = m_editor.Grid();

    ProjectFile::Document doc;
    QString reason;
    std::vector<int> written;
    if (ProjectFile::ReadDocument(path, doc, reason)) {
        const int first = m_editor.dragFirst();
        const int last = m_editor.dragLast();
        const int n = int(doc.clips.size());
        for (int i = 0; i < n; ++i) {
            const int row = first + i;
            if (row > m_editor.lastRow())
                break;
            if (first < last && i > last - first)
                break;
            const ProjectFile::Clip& clip = doc.clips[size_t(i)];
            if (clip.videoFile.isEmpty())
                continue;
            ProjectFile::WriteClip(m_editor, row, clip);
            written.push_back(row);
        }
        ProjectFile::FillMediaSizes(m_editor, written, m_probe);
    }
    // The refresh also tells the views that the table changed.
    m_editor.RowRefresh(-1);
    if (m_editor.Grid() != before)
        m_editor.setModified(true);
}

} // namespace vk
