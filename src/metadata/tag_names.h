// Tag names of property items: the known identifiers as the enumeration
// Tags, the value types as TagTypes, and the name of any identifier. One
// table below serves both the enumeration and the names.
#pragma once
#include <cstdint>
#include <span>
#include <string>

namespace orrery::metadata {

// X(identifier, enumerator, name) for every named tag, in identifier order.
// The enumerator is "Tag" + the name but for four tags whose names have
// always differed from their enumerators (27, 255, 282, 512); the names keep
// their historical spellings ("TransferFuncition", "JPEroc").
#define ORRERY_TAG_TABLE(X) \
    X(0, TagGpsVer, "GpsVer") \
    X(1, TagGpsLatitudeRef, "GpsLatitudeRef") \
    X(2, TagGpsLatitude, "GpsLatitude") \
    X(3, TagGpsLongitudeRef, "GpsLongitudeRef") \
    X(4, TagGpsLongitude, "GpsLongitude") \
    X(5, TagGpsAltitudeRef, "GpsAltitudeRef") \
    X(6, TagGpsAltitude, "GpsAltitude") \
    X(7, TagGpsGpsTime, "GpsGpsTime") \
    X(8, TagGpsGpsSatellites, "GpsGpsSatellites") \
    X(9, TagGpsGpsStatus, "GpsGpsStatus") \
    X(10, TagGpsGpsMeasureMode, "GpsGpsMeasureMode") \
    X(11, TagGpsGpsDop, "GpsGpsDop") \
    X(12, TagGpsSpeedRef, "GpsSpeedRef") \
    X(13, TagGpsSpeed, "GpsSpeed") \
    X(14, TagGpsTrackRef, "GpsTrackRef") \
    X(15, TagGpsTrack, "GpsTrack") \
    X(16, TagGpsImgDirRef, "GpsImgDirRef") \
    X(17, TagGpsImgDir, "GpsImgDir") \
    X(18, TagGpsMapDatum, "GpsMapDatum") \
    X(19, TagGpsDestLatRef, "GpsDestLatRef") \
    X(20, TagGpsDestLat, "GpsDestLat") \
    X(21, TagGpsDestLongRef, "GpsDestLongRef") \
    X(22, TagGpsDestLong, "GpsDestLong") \
    X(23, TagGpsDestBearRef, "GpsDestBearRef") \
    X(24, TagGpsDestBear, "GpsDestBear") \
    X(25, TagGpsDestDistRef, "GpsDestDistRef") \
    X(26, TagGpsDestDist, "GpsDestDist") \
    X(27, TagGpsProcessingMethod, "ProcessingMethod") \
    X(28, TagGpsAreaInformation, "GpsAreaInformation") \
    X(29, TagGpsDateStamp, "GpsDateStamp") \
    X(30, TagGpsDifferential, "GpsDifferential") \
    X(225, TagExifAttributeInformation, "ExifAttributeInformation") \
    X(226, TagExifExtendedData, "ExifExtendedData") \
    X(254, TagNewSubfileType, "NewSubfileType") \
    X(255, TagSubfileType, "SubFileType") \
    X(256, TagImageWidth, "ImageWidth") \
    X(257, TagImageHeight, "ImageHeight") \
    X(258, TagBitsPerSample, "BitsPerSample") \
    X(259, TagCompression, "Compression") \
    X(262, TagPhotometricInterp, "PhotometricInterp") \
    X(263, TagThreshHolding, "ThreshHolding") \
    X(264, TagCellWidth, "CellWidth") \
    X(265, TagCellHeight, "CellHeight") \
    X(266, TagFillOrder, "FillOrder") \
    X(269, TagDocumentName, "DocumentName") \
    X(270, TagImageDescription, "ImageDescription") \
    X(271, TagEquipMake, "EquipMake") \
    X(272, TagEquipModel, "EquipModel") \
    X(273, TagStripOffsets, "StripOffsets") \
    X(274, TagOrientation, "Orientation") \
    X(277, TagSamplesPerPixel, "SamplesPerPixel") \
    X(278, TagRowsPerStrip, "RowsPerStrip") \
    X(279, TagStripBytesCount, "StripBytesCount") \
    X(280, TagMinSampleValue, "MinSampleValue") \
    X(281, TagMaxSampleValue, "MaxSampleValue") \
    X(282, tagXResolution, "XResolution") \
    X(283, TagYResolution, "YResolution") \
    X(284, TagPlanarConfig, "PlanarConfig") \
    X(285, TagPageName, "PageName") \
    X(286, TagXPosition, "XPosition") \
    X(287, TagYPosition, "YPosition") \
    X(288, TagFreeOffset, "FreeOffset") \
    X(289, TagFreeByteCounts, "FreeByteCounts") \
    X(290, TagGrayResponseUnit, "GrayResponseUnit") \
    X(291, TagGrayResponseCurve, "GrayResponseCurve") \
    X(292, TagT4Option, "T4Option") \
    X(293, TagT6Option, "T6Option") \
    X(296, TagResolutionUnit, "ResolutionUnit") \
    X(297, TagPageNumber, "PageNumber") \
    X(301, TagTransferFuncition, "TransferFuncition") \
    X(305, TagSoftwareUsed, "SoftwareUsed") \
    X(306, TagDateTime, "DateTime") \
    X(315, TagArtist, "Artist") \
    X(316, TagHostComputer, "HostComputer") \
    X(317, TagPredictor, "Predictor") \
    X(318, TagWhitePoint, "WhitePoint") \
    X(319, TagPrimaryChromaticities, "PrimaryChromaticities") \
    X(320, TagColorMap, "ColorMap") \
    X(321, TagHalftoneHints, "HalftoneHints") \
    X(322, TagTileWidth, "TileWidth") \
    X(323, TagTileLength, "TileLength") \
    X(324, TagTileOffset, "TileOffset") \
    X(325, TagTileByteCounts, "TileByteCounts") \
    X(332, TagInkSet, "InkSet") \
    X(333, TagInkNames, "InkNames") \
    X(334, TagNumberOfInks, "NumberOfInks") \
    X(336, TagDotRange, "DotRange") \
    X(337, TagTargetPrinter, "TargetPrinter") \
    X(338, TagExtraSamples, "ExtraSamples") \
    X(339, TagSampleFormat, "SampleFormat") \
    X(340, TagSMinSampleValue, "SMinSampleValue") \
    X(341, TagSMaxSampleValue, "SMaxSampleValue") \
    X(342, TagTransferRange, "TransferRange") \
    X(512, TagJPEGProc, "JPEroc") \
    X(513, TagJPEGInterFormat, "JPEGInterFormat") \
    X(514, TagJPEGInterLength, "JPEGInterLength") \
    X(515, TagJPEGRestartInterval, "JPEGRestartInterval") \
    X(517, TagJPEGLosslessPredictors, "JPEGLosslessPredictors") \
    X(518, TagJPEGPointTransforms, "JPEGPointTransforms") \
    X(519, TagJPEGQTables, "JPEGQTables") \
    X(520, TagJPEGDCTables, "JPEGDCTables") \
    X(521, TagJPEGACTables, "JPEGACTables") \
    X(529, TagYCbCrCoefficients, "YCbCrCoefficients") \
    X(530, TagYCbCrSubsampling, "YCbCrSubsampling") \
    X(531, TagYCbCrPositioning, "YCbCrPositioning") \
    X(532, TagREFBlackWhite, "REFBlackWhite") \
    X(700, TagXMLPackets, "XMLPackets") \
    X(769, TagGamma, "Gamma") \
    X(770, TagICCProfileDescriptor, "ICCProfileDescriptor") \
    X(771, TagSRGBRenderingIntent, "SRGBRenderingIntent") \
    X(800, TagImageTitle, "ImageTitle") \
    X(20481, TagResolutionXUnit, "ResolutionXUnit") \
    X(20482, TagResolutionYUnit, "ResolutionYUnit") \
    X(20483, TagResolutionXLengthUnit, "ResolutionXLengthUnit") \
    X(20484, TagResolutionYLengthUnit, "ResolutionYLengthUnit") \
    X(20485, TagPrintFlags, "PrintFlags") \
    X(20486, TagPrintFlagsVersion, "PrintFlagsVersion") \
    X(20487, TagPrintFlagsCrop, "PrintFlagsCrop") \
    X(20488, TagPrintFlagsBleedWidth, "PrintFlagsBleedWidth") \
    X(20489, TagPrintFlagsBleedWidthScale, "PrintFlagsBleedWidthScale") \
    X(20490, TagHalftoneLPI, "HalftoneLPI") \
    X(20491, TagHalftoneLPIUnit, "HalftoneLPIUnit") \
    X(20492, TagHalftoneDegree, "HalftoneDegree") \
    X(20493, TagHalftoneShape, "HalftoneShape") \
    X(20494, TagHalftoneMisc, "HalftoneMisc") \
    X(20495, TagHalftoneScreen, "HalftoneScreen") \
    X(20496, TagJPEGQuality, "JPEGQuality") \
    X(20497, TagGridSize, "GridSize") \
    X(20498, TagThumbnailFormat, "ThumbnailFormat") \
    X(20499, TagThumbnailWidth, "ThumbnailWidth") \
    X(20500, TagThumbnailHeight, "ThumbnailHeight") \
    X(20501, TagThumbnailColorDepth, "ThumbnailColorDepth") \
    X(20502, TagThumbnailPlanes, "ThumbnailPlanes") \
    X(20503, TagThumbnailRawBytes, "ThumbnailRawBytes") \
    X(20504, TagThumbnailSize, "ThumbnailSize") \
    X(20505, TagThumbnailCompressedSize, "ThumbnailCompressedSize") \
    X(20506, TagColorTransferFunction, "ColorTransferFunction") \
    X(20507, TagThumbnailData, "ThumbnailData") \
    X(20512, TagThumbnailImageWidth, "ThumbnailImageWidth") \
    X(20513, TagThumbnailImageHeight, "ThumbnailImageHeight") \
    X(20514, TagThumbnailBitsPerSample, "ThumbnailBitsPerSample") \
    X(20515, TagThumbnailCompression, "ThumbnailCompression") \
    X(20516, TagThumbnailPhotometricInterp, "ThumbnailPhotometricInterp") \
    X(20517, TagThumbnailImageDescription, "ThumbnailImageDescription") \
    X(20518, TagThumbnailEquipMake, "ThumbnailEquipMake") \
    X(20519, TagThumbnailEquipModel, "ThumbnailEquipModel") \
    X(20520, TagThumbnailStripOffsets, "ThumbnailStripOffsets") \
    X(20521, TagThumbnailOrientation, "ThumbnailOrientation") \
    X(20522, TagThumbnailSamplesPerPixel, "ThumbnailSamplesPerPixel") \
    X(20523, TagThumbnailRowsPerStrip, "ThumbnailRowsPerStrip") \
    X(20524, TagThumbnailStripBytesCount, "ThumbnailStripBytesCount") \
    X(20525, TagThumbnailResolutionX, "ThumbnailResolutionX") \
    X(20526, TagThumbnailResolutionY, "ThumbnailResolutionY") \
    X(20527, TagThumbnailPlanarConfig, "ThumbnailPlanarConfig") \
    X(20528, TagThumbnailResolutionUnit, "ThumbnailResolutionUnit") \
    X(20529, TagThumbnailTransferFunction, "ThumbnailTransferFunction") \
    X(20530, TagThumbnailSoftwareUsed, "ThumbnailSoftwareUsed") \
    X(20531, TagThumbnailDateTime, "ThumbnailDateTime") \
    X(20532, TagThumbnailArtist, "ThumbnailArtist") \
    X(20533, TagThumbnailWhitePoint, "ThumbnailWhitePoint") \
    X(20534, TagThumbnailPrimaryChromaticities, "ThumbnailPrimaryChromaticities") \
    X(20535, TagThumbnailYCbCrCoefficients, "ThumbnailYCbCrCoefficients") \
    X(20536, TagThumbnailYCbCrSubsampling, "ThumbnailYCbCrSubsampling") \
    X(20537, TagThumbnailYCbCrPositioning, "ThumbnailYCbCrPositioning") \
    X(20538, TagThumbnailRefBlackWhite, "ThumbnailRefBlackWhite") \
    X(20539, TagThumbnailCopyRight, "ThumbnailCopyRight") \
    X(20624, TagLuminanceTable, "LuminanceTable") \
    X(20625, TagChrominanceTable, "ChrominanceTable") \
    X(20736, TagFrameDelay, "FrameDelay") \
    X(20737, TagLoopCount, "LoopCount") \
    X(20752, TagPixelUnit, "PixelUnit") \
    X(20753, TagPixelPerUnitX, "PixelPerUnitX") \
    X(20754, TagPixelPerUnitY, "PixelPerUnitY") \
    X(20755, TagPaletteHistogram, "PaletteHistogram") \
    X(32932, TagWangAnnotations, "WangAnnotations") \
    X(33432, TagCopyright, "Copyright") \
    X(33434, TagExifExposureTime, "ExifExposureTime") \
    X(33437, TagExifFNumber, "ExifFNumber") \
    X(34377, TagPhotoshopSettings, "PhotoshopSettings") \
    X(34665, TagExifIFD, "ExifIFD") \
    X(34675, TagICCProfile, "ICCProfile") \
    X(34850, TagExifExposureProg, "ExifExposureProg") \
    X(34852, TagExifSpectralSense, "ExifSpectralSense") \
    X(34855, TagExifISOSpeed, "ExifISOSpeed") \
    X(34856, TagExifOECF, "ExifOECF") \
    X(34858, TagTimeZoneOffset, "TimeZoneOffset") \
    X(36864, TagExifVer, "ExifVer") \
    X(36867, TagExifDTOrig, "ExifDTOrig") \
    X(36868, TagExifDTDigitized, "ExifDTDigitized") \
    X(37121, TagExifCompConfig, "ExifCompConfig") \
    X(37122, TagExifCompBPP, "ExifCompBPP") \
    X(37377, TagExifShutterSpeed, "ExifShutterSpeed") \
    X(37378, TagExifAperture, "ExifAperture") \
    X(37379, TagExifBrightness, "ExifBrightness") \
    X(37380, TagExifExposureBias, "ExifExposureBias") \
    X(37381, TagExifMaxAperture, "ExifMaxAperture") \
    X(37382, TagExifSubjectDist, "ExifSubjectDist") \
    X(37383, TagExifMeteringMode, "ExifMeteringMode") \
    X(37384, TagExifLightSource, "ExifLightSource") \
    X(37385, TagExifFlash, "ExifFlash") \
    X(37386, TagExifFocalLength, "ExifFocalLength") \
    X(37396, TagSubjectLocation, "SubjectLocation") \
    X(37500, TagExifMakerNote, "ExifMakerNote") \
    X(37510, TagExifUserComment, "ExifUserComment") \
    X(37520, TagExifDTSubsec, "ExifDTSubsec") \
    X(37521, TagExifDTOrigSS, "ExifDTOrigSS") \
    X(37522, TagExifDTDigSS, "ExifDTDigSS") \
    X(40960, TagExifFPXVer, "ExifFPXVer") \
    X(40961, TagExifColorSpace, "ExifColorSpace") \
    X(40962, TagExifPixXDim, "ExifPixXDim") \
    X(40963, TagExifPixYDim, "ExifPixYDim") \
    X(40964, TagExifRelatedWav, "ExifRelatedWav") \
    X(40965, TagExifInterop, "ExifInterop") \
    X(41483, TagExifFlashEnergy, "ExifFlashEnergy") \
    X(41484, TagExifSpatialFR, "ExifSpatialFR") \
    X(41486, TagExifFocalXRes, "ExifFocalXRes") \
    X(41487, TagExifFocalYRes, "ExifFocalYRes") \
    X(41488, TagExifFocalResUnit, "ExifFocalResUnit") \
    X(41492, TagExifSubjectLoc, "ExifSubjectLoc") \
    X(41493, TagExifExposureIndex, "ExifExposureIndex") \
    X(41495, TagExifSensingMethod, "ExifSensingMethod") \
    X(41728, TagExifFileSource, "ExifFileSource") \
    X(41729, TagExifSceneType, "ExifSceneType") \
    X(41730, TagExifCfaPattern, "ExifCfaPattern") \
    X(41985, TagCustomRendered, "CustomRendered") \
    X(41986, TagExposureMode, "ExposureMode") \
    X(41987, TagWhiteBalance, "WhiteBalance") \
    X(41988, TagDigitalZoomRatio, "DigitalZoomRatio") \
    X(41989, TagFocalLengthIn35mmFilm, "FocalLengthIn35mmFilm") \
    X(41990, TagSceneCaptureType, "SceneCaptureType") \
    X(41991, TagGainControl, "GainControl") \
    X(41992, TagContrast, "Contrast") \
    X(41993, TagSaturation, "Saturation") \
    X(41994, TagSharpness, "Sharpness") \
    X(41995, TagDeviceSettingDescription, "DeviceSettingDescription") \
    X(41996, TagSubjectDistanceRange, "SubjectDistanceRange") \
    X(50341, TagPrintIMData, "PrintIMData")

enum Tags : uint32_t {
#define ORRERY_TAG_ENUMERATOR(id, member, name) member = id,
    ORRERY_TAG_TABLE(ORRERY_TAG_ENUMERATOR)
#undef ORRERY_TAG_ENUMERATOR
    // The GPS directory's pointer: an enumerator without a name of its own.
    TagGpsIFD = 34853,
};

enum TagTypes : uint16_t {
    TagTypeByte = 1,
    TagTypeASCII = 2,
    TagTypeShort = 3,
    TagTypeLong = 4,
    TagTypeRational = 5,
    TagTypeUndefined = 7,
    TagTypeSSHORT = 8,
    TagTypeSLONG = 9,
    TagTypeSRational = 10,
};

struct TagNameRow {
    uint32_t id;
    const char* name;
};

// The named tags, in identifier order.
std::span<const TagNameRow> TagNameTable();

// The tag's name from the table; any other identifier is named by its
// upper-case hexadecimal digits without leading zeros (34853 gives "8825").
std::string TagName(uint32_t id);

}  // namespace orrery::metadata
