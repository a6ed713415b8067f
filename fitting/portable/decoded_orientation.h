// Which turn a decoded picture still needs after the platform's decoder has decoded it, so
// that every rotation is applied exactly once. No Windows header here.
//
// Where a format keeps its orientation decides who applies it:
// - An EXIF tag (JPEG, TIFF, a WebP file's EXIF chunk, a camera RAW's) is metadata beside
//   the pixels: decoders hand over the stored pixels and the viewer turns them.
// - HEIF and AVIF irot/imir, a JPEG XL codestream's orientation and a JPEG XR container's
//   spatial transform are part of the picture's description, which a decoder may carry
//   out itself or leave to its caller (public documentation does not settle which for
//   Windows' codecs; docs/picture-formats.md). The decoded frame tells: a turn of a
//   quarter shows in its size, and a decoder that leaves the transform to its caller
//   reports it in the frame's metadata.
#pragma once

#include <cstdint>

#include "fitting/portable/picture_header.h"

namespace framewise {

// True for the formats whose orientation is part of the picture's description rather than
// an EXIF tag.
bool OrientationInsideThePicture(PictureFormat format);

// The EXIF orientation (1..8) to apply to a frame the decoder gave as frameWidth x
// frameHeight, for a picture whose header reads `header`. `reported` is the orientation the
// decoded frame's metadata states (1..8), 0 when it states none.
// - EXIF formats: the header's orientation.
// - Orientation inside the picture: none when the header has none (an EXIF block inside
//   the file does not count for these formats). When the header's orientation turns by a quarter
//   and the picture is not square, the frame's size decides (turned: 1; as stored: the header's).
//   Otherwise what the frame reports; a frame that reports nothing is taken as turned by its
//   decoder, as these formats' decoders do by default.
int OrientationLeftAfterDecode(const PictureHeader& header, uint32_t frameWidth,
                               uint32_t frameHeight, int reported);

}  // namespace framewise
