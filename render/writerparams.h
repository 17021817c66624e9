#pragma once
// The writer parameters document, the file named on T-VideoWrite's command line: where
// the timeline document is, which file to produce (empty for a preview), two scratch
// paths for the writer's own use, the range on the timeline in ms, the compressors and
// the WMV profile file name.
//
// Root <params> with nine elements in a fixed order, each holding its value as text.
// VideoCompressor always carries dwBitRate, KeyFrameRate, Quality and WindowSize "0";
// AudioCompressor carries nSamplesPerSec, wBitsPerSample and nChannels, "48000", "16"
// and "2" when its text is exactly "PCM" or "AAC", otherwise "0". Saved like the
// timeline document: UTF-8, no declaration, no white space between elements.
//
// An MP4 document names "H.264" and "AAC" as its compressors, leaves PrxFileName empty
// and carries four more elements after it: FrameWidth, FrameHeight, FrameRate (as the
// MP4 list writes it: "29.97", "30", "59.94", "60") and VideoQuality. The other
// documents never carry those four.

#include <QString>

namespace vk {

// The picture of an MP4 output.
struct Mp4Params final {
    int width = 0;
    int height = 0;
    QString frameRate; // decimal text with a '.', as written into the document
    int videoQuality = 18;
};

// The document as text.
QString WriterParamsText(const QString& xtlFilePath, const QString& aviFileName, const QString& writeGrfArg,
                         const QString& writeXtlArg, const QString& startPoint, const QString& endPoint,
                         const QString& videoCompressor, const QString& audioCompressor, const QString& prxFileName);

// Writes the document to paramsPath, replacing the file; throws DocumentWriteError
// when it cannot be written.
void WriterParamsWrite(const QString& paramsPath, const QString& xtlFilePath, const QString& aviFileName,
                       const QString& writeGrfArg, const QString& writeXtlArg, const QString& startPoint,
                       const QString& endPoint, const QString& videoCompressor, const QString& audioCompressor,
                       const QString& prxFileName);

// The MP4 document as text, and written to paramsPath like WriterParamsWrite.
QString WriterParamsMp4Text(const QString& xtlFilePath, const QString& aviFileName, const QString& writeGrfArg,
                            const QString& writeXtlArg, const QString& startPoint, const QString& endPoint,
                            const Mp4Params& mp4);
void WriterParamsMp4Write(const QString& paramsPath, const QString& xtlFilePath, const QString& aviFileName,
                          const QString& writeGrfArg, const QString& writeXtlArg, const QString& startPoint,
                          const QString& endPoint, const Mp4Params& mp4);

} // namespace vk
