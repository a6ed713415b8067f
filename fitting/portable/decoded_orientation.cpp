#include "fitting/portable/decoded_orientation.h"

namespace framewise {

namespace {

bool Valid(int orientation) { return orientation >= 1 && orientation <= 8; }

}  // namespace

bool OrientationInsideThePicture(PictureFormat format) {
  return format == PictureFormat::Heif || format == PictureFormat::Avif ||
         format == PictureFormat::JpegXl || format == PictureFormat::JpegXr;
}

int OrientationLeftAfterDecode(const PictureHeader& header, uint32_t frameWidth,
                               uint32_t frameHeight, int reported) {
  const int stored = Valid(header.orientation) ? header.orientation : 1;
  if (!OrientationInsideThePicture(header.format)) return stored;
  // These formats' own transform is the one that counts: with none, an EXIF block a
  // decoder may report from inside the file is not applied.
  if (stored == 1) return 1;
  if (OrientationSwapsAxes(stored) && header.width != header.height) {
    if (frameWidth == header.height && frameHeight == header.width) return 1;
    if (frameWidth == header.width && frameHeight == header.height) return stored;
  }
  return Valid(reported) ? reported : 1;
}

}  // namespace framewise
