#include "fitting/imaging.h"

namespace framewise {

fw::GpImageOwner LoadPicture(const wchar_t* path) {
  fw::GpImageOwner picture;
  if (gp::GdipLoadImageFromFile(path, picture.put()) != Gdiplus::Ok) picture.reset();
  return picture;
}

bool GetPictureSize(GpImage* picture, UINT* width, UINT* height) {
  return gp::GdipGetImageWidth(picture, width) == Gdiplus::Ok &&
         gp::GdipGetImageHeight(picture, height) == Gdiplus::Ok;
}

}  // namespace framewise
