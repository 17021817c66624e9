#include "tests/render/render_support.h"

#include <QFile>
#include <QStringList>
#include <pugixml.hpp>

namespace vk::rendertest {

QString ReadText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

QString Golden(const QString& name)
{
    const QString text = ReadText(QStringLiteral(VK_RENDER_DATA "/") + name);
    QString joined;
    for (const QString& line : text.split(QLatin1Char('\n')))
        joined += line.trimmed();
    return joined;
}

namespace {
pugi::xml_node Child(pugi::xml_document& doc, const QString& path, const char* element)
{
    const QByteArray bytes = ReadText(path).toUtf8();
    if (bytes.isEmpty() || !doc.load_buffer(bytes.constData(), size_t(bytes.size())))
        return pugi::xml_node();
    return doc.document_element().child(element);
}
} // namespace

QString ChildText(const QString& path, const char* element)
{
    pugi::xml_document doc;
    const pugi::xml_node node = Child(doc, path, element);
    if (!node)
        return QStringLiteral("<missing>");
    return QString::fromUtf8(node.child_value());
}

QString ChildAttribute(const QString& path, const char* element, const char* attribute)
{
    pugi::xml_document doc;
    const pugi::xml_attribute a = Child(doc, path, element).attribute(attribute);
    if (!a)
        return QStringLiteral("<missing>");
    return QString::fromUtf8(a.value());
}

} // namespace vk::rendertest
