#pragma once
// The source files of a render, each opened once before anything else reads it and
// held open until the program ends.
//
// The engine opens a file by its name whenever it needs it: for the probe, for every
// file producer of the timeline, and again later when it has let go of a file it had
// open. Its file producer even opens each file twice in a row and uses the second
// context without looking whether that open worked, so a source deleted between the two
// crashed the program. So the probe and the engine read every source through a name of
// the writer's own: a link in the private folder to the file this object holds open.
// It keeps the source's file name (the engine picks its reader by the extension) and
// stays readable whatever happens to the source's own name; whether the source is still
// there is the render's own check (RenderJob::watchSources), made when it ends.

#include <map>
#include <string>
#include <vector>

namespace vk {

class HeldSources final {
public:
    // Opens each of `sources` and links it under `folder` (created when needed).
    HeldSources(const std::vector<std::string>& sources, const std::string& folder);
    ~HeldSources();
    HeldSources(const HeldSources&) = delete;
    HeldSources& operator=(const HeldSources&) = delete;

    // The name the probe and the engine read `source` by: the link to the open file, or
    // the source's own name when it could not be held (not there, not readable, no
    // private folder), which then fails, or opens, as it would have anyway.
    std::string enginePath(const std::string& source) const;

private:
    std::map<std::string, std::string> m_links; // source -> link to the open file
    std::vector<int> m_files;
};

} // namespace vk
