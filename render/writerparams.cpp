#include "render/writerparams.h"

#include "render/timelinedocument.h"

#include <pugixml.hpp>

namespace vk {

namespace {

pugi::xml_node appendTextElement(pugi::xml_node parent, const char* name, const QString& text)
{
    pugi::xml_node element = parent.append_child(name);
    if (!element)
        throw DocumentWriteError("element");
    // An empty value leaves the element without content: <AviFileName/>.
    if (!text.isEmpty() && !element.text().set(text.toUtf8().constData()))
        throw DocumentWriteError("element text");
    return element;
}

QByteArray paramsBytes(const QString& xtlFilePath, const QString& aviFileName, const QString& writeGrfArg,
                       const QString& writeXtlArg, const QString& startPoint, const QString& endPoint,
                       const QString& videoCompressor, const QString& audioCompressor, const QString& prxFileName,
                       const Mp4Params* mp4 = nullptr)
{
    pugi::xml_document doc;
    if (!doc.load_string("<params/>"))
        throw DocumentWriteError("params root");
    pugi::xml_node root = doc.document_element();
    appendTextElement(root, "XtlFilePath", xtlFilePath);
    appendTextElement(root, "AviFileName", aviFileName);
    appendTextElement(root, "WriteGrfArg", writeGrfArg);
    appendTextElement(root, "WriteXtlArg", writeXtlArg);
    appendTextElement(root, "StartPoint", startPoint);
    appendTextElement(root, "EndPoint", endPoint);

    const QString zero = QStringLiteral("0");
    pugi::xml_node video = appendTextElement(root, "VideoCompressor", videoCompressor);
    SetXmlAttribute(video, "dwBitRate", zero);
    SetXmlAttribute(video, "KeyFrameRate", zero);
    SetXmlAttribute(video, "Quality", zero);
    SetXmlAttribute(video, "WindowSize", zero);

    pugi::xml_node audio = appendTextElement(root, "AudioCompressor", audioCompressor);
    // Both sounds the writer is asked for by name are stereo 48 kHz.
    const bool known = audioCompressor == QStringLiteral("PCM") || audioCompressor == QStringLiteral("AAC");
    SetXmlAttribute(audio, "nSamplesPerSec", known ? QStringLiteral("48000") : zero);
    SetXmlAttribute(audio, "wBitsPerSample", known ? QStringLiteral("16") : zero);
    SetXmlAttribute(audio, "nChannels", known ? QStringLiteral("2") : zero);

    appendTextElement(root, "PrxFileName", prxFileName);
    if (mp4) {
        appendTextElement(root, "FrameWidth", QString::number(mp4->width));
        appendTextElement(root, "FrameHeight", QString::number(mp4->height));
        appendTextElement(root, "FrameRate", mp4->frameRate);
        appendTextElement(root, "VideoQuality", QString::number(mp4->videoQuality));
    }
    return RawXmlBytes(doc);
}

} // namespace

QString WriterParamsText(const QString& xtlFilePath, const QString& aviFileName, const QString& writeGrfArg,
                         const QString& writeXtlArg, const QString& startPoint, const QString& endPoint,
                         const QString& videoCompressor, const QString& audioCompressor, const QString& prxFileName)
{
    return QString::fromUtf8(paramsBytes(xtlFilePath, aviFileName, writeGrfArg, writeXtlArg, startPoint, endPoint,
                                         videoCompressor, audioCompressor, prxFileName));
}

void WriterParamsWrite(const QString& paramsPath, const QString& xtlFilePath, const QString& aviFileName,
                       const QString& writeGrfArg, const QString& writeXtlArg, const QString& startPoint,
                       const QString& endPoint, const QString& videoCompressor, const QString& audioCompressor,
                       const QString& prxFileName)
{
    SaveXmlBytes(paramsPath, paramsBytes(xtlFilePath, aviFileName, writeGrfArg, writeXtlArg, startPoint, endPoint,
                                         videoCompressor, audioCompressor, prxFileName));
}

QString WriterParamsMp4Text(const QString& xtlFilePath, const QString& aviFileName, const QString& writeGrfArg,
                            const QString& writeXtlArg, const QString& startPoint, const QString& endPoint,
                            const Mp4Params& mp4)
{
    return QString::fromUtf8(paramsBytes(xtlFilePath, aviFileName, writeGrfArg, writeXtlArg, startPoint, endPoint,
                                         QStringLiteral("H.264"), QStringLiteral("AAC"), QString(), &mp4));
}

void WriterParamsMp4Write(const QString& paramsPath, const QString& xtlFilePath, const QString& aviFileName,
                          const QString& writeGrfArg, const QString& writeXtlArg, const QString& startPoint,
                          const QString& endPoint, const Mp4Params& mp4)
{
    SaveXmlBytes(paramsPath, paramsBytes(xtlFilePath, aviFileName, writeGrfArg, writeXtlArg, startPoint, endPoint,
                                         QStringLiteral("H.264"), QStringLiteral("AAC"), QString(), &mp4));
}

} // namespace vk
