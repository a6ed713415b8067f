// The file name extensions of the pictures the product reads: the patterns of the system's
// built-in image decoders (their FilenameExtension lists), each with the format the header
// reader (picture_header.h) knows it by. The package manifest's context-menu entries are
// made from this list; at run time the handlers still match the installed decoders. No
// Windows header here.
#pragma once

#include <cstddef>

#include "fitting/portable/picture_header.h"

namespace framewise {

struct PictureExtension {
  const wchar_t* extension;  // lower case, with the dot: L".jpg"
  PictureFormat format;
};

extern const PictureExtension kPictureExtensions[];
extern const size_t kPictureExtensionCount;

}  // namespace framewise
