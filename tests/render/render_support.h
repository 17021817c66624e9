#pragma once
// Helpers of the rendering tests: golden documents and small readers of the written files.

#include <QString>
#include <ostream>

namespace vk::rendertest {

// A golden document from the test data folder, written indented for reading: every
// line is trimmed and the lines are joined, which gives the raw document (the
// documents hold no line breaks of their own).
QString Golden(const QString& name);
// The whole text of a UTF-8 file; empty when it cannot be read.
QString ReadText(const QString& path);
// The text of one child element of the root of a written document; "<missing>" when
// the file or the element is missing.
QString ChildText(const QString& path, const char* element);
// The value of an attribute of that element; "<missing>" when it is missing.
QString ChildAttribute(const QString& path, const char* element, const char* attribute);

} // namespace vk::rendertest

// Readable failure output for texts.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
