// Fit modes and the arithmetic of fitting a picture to the screen: crops, placements,
// preview sizes and the picture's shape against the screen. No Windows header here.
#pragma once

#include <cstdint>

namespace framewise {

// The user's fitting choice; the fitting menu items' command offsets equal these values.
enum FitMode : int {
  FitModeNone = 0,
  FitModeExact = 1,
  FitModeTop = 2,
  FitModeLeft = 3,
  FitModeMiddle = 4,
  FitModeBottom = 5,
  FitModeRight = 6,
  FitModeBestFit = 7,
};

// Stored name of a mode ("Exact" ... "BestFit"); "ERROR" outside 1..7.
const wchar_t* FitModeName(int mode);

// The mode with this stored name, in any letter case; FitModeNone for any other text.
int FitModeFromName(const wchar_t* name);

// The part of the picture a fill-screen fitting keeps.
enum class FillPart : int32_t { Top = 0, Left = 1, Middle = 2, Bottom = 3, Right = 4, Exact = 5 };

// The fill part for fit modes 1..6; false for the others.
bool FillPartForMode(int mode, FillPart* part);

// The picture's proportions against the screen's, one bit each so menu rows can mask them.
enum PictureShape : uint32_t {
  MatchesScreen = 1,
  TallerThanScreen = 2,
  WiderThanScreen = 4,
};

// Screen rectangle in virtual-screen pixels.
struct ScreenRect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// `area` (a work area, in desktop coordinates) as its monitor's own bitmap sees it: with
// the monitor's top-left corner at 0,0.
inline ScreenRect WithinMonitor(const ScreenRect& area, const ScreenRect& monitor) {
  return ScreenRect{area.x - monitor.x, area.y - monitor.y, area.width, area.height};
}

struct RectF {
  float x = 0;
  float y = 0;
  float width = 0;
  float height = 0;
};

// Work width / work height in double precision.
double AspectOf(const ScreenRect& work);

// Shape of a picture of the given aspect (kept in single precision) on a screen of the
// given aspect: within 0.01 matches, otherwise taller when not wider.
PictureShape ClassifyPicture(float pictureAspect, double screenAspect);

// Converts toward zero, saturating where the value does not fit (never undefined).
int32_t TruncateToInt32(double value);

// The largest rectangle of the work area's proportions in a W x H picture, anchored by
// `part`. The wallpaper form extends it over the monitor outside the work area, so it may
// reach past the picture's edges.
struct Crop {
  int32_t x = 0;
  int32_t y = 0;
  int32_t cw = 0;
  int32_t ch = 0;
};
Crop ComputeCropFor(uint32_t pictureWidth, uint32_t pictureHeight, const ScreenRect& monitor,
                    const ScreenRect& work, FillPart part, bool wallpaperForm);

// Where a whole W x H picture lands, as large as fits and centred in the work area.
ScreenRect ComputePlacementFor(uint32_t pictureWidth, uint32_t pictureHeight,
                               const ScreenRect& work);

// Keeps a preview at most six inches wide: width from height and aspect, both scaled
// down together when too wide. All in single precision.
void LimitPreviewSizeFor(float* width, float* height, float dpiX, float aspect);

// The rectangle of a preview into which the picture is drawn: inside a two-pixel border.
RectF PreviewPictureArea(int32_t previewWidth, int32_t previewHeight);

// Where the crop of a W x H picture lands in a previewWidth x previewHeight preview.
RectF PreviewKeptPart(const Crop& crop, uint32_t pictureWidth, uint32_t pictureHeight,
                      int32_t previewWidth, int32_t previewHeight);

// The orange frame drawn around a destination rectangle with a 1.0 pen.
RectF FrameAround(const RectF& kept);

// True when a non-empty crop lies wholly inside a W x H picture, so it can be drawn as is.
bool CropInsidePicture(const Crop& crop, uint32_t pictureWidth, uint32_t pictureHeight);

// Wallpaper form of a crop clipped to the picture: the source rectangle holds only pixels
// of the picture, and the destination shrinks by the same proportion, so what lies
// outside the picture keeps the canvas colour. Returns false when nothing is left.
struct ClippedDraw {
  RectF source;
  RectF destination;
};
bool ClipCropToPicture(const Crop& crop, uint32_t pictureWidth, uint32_t pictureHeight,
                       const ScreenRect& destination, ClippedDraw* out);

}  // namespace framewise
